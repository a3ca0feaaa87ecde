// The tokens of the programs' command lines. Platform-free.
#pragma once

#include <string>
#include <vector>

namespace korva {

// The white-space separated tokens of a command line; quotes are ordinary characters, with one
// exception: the value of -log (any letter case), so that a log path may hold blanks
// (C:\Program Data\..., a user's profile). When the token after -log begins with a double
// quote, it runs to the next double quote, and the quotes are not part of it; without a
// closing quote it stays the word it is, quote and all, which no log path can be.
std::vector<std::string> CommandLineTokens(const std::string& commandLine);

}  // namespace korva
