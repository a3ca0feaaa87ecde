// The command-line option finder of the Cleanup Wizard. Platform-free.
#pragma once

#include <string>
#include <vector>

namespace korva {

// Looks for `option` as a whole token of `commandLine` (CommandLineTokens: white space
// separates, quotes are ordinary characters but around the value of -log). When found and
// `value` is given, the next token (if any) becomes the value; `value` is emptied first in any
// case. A token used as a value may still match as an option in another search.
bool FindCommandLineOption(const std::string& commandLine, const std::string& option,
                           std::string* value, bool ignoreCase);

// Whether every token of `commandLine` is one of `options` or the token right after one of
// `valueOptions`, compared as FindCommandLineOption compares them with ignoreCase set.
bool EveryTokenIsKnown(const std::string& commandLine, const std::vector<std::string>& options,
                       const std::vector<std::string>& valueOptions);

}  // namespace korva
