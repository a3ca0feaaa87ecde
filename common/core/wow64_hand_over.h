// What a 32-bit program on 64-bit Windows needs to hand its run over to the 64-bit build:
// where that build sits in the kit, the command line to start it with, and the message when it
// can't be found or started. Platform-free.
//
// A 32-bit process on 64-bit Windows can neither install nor remove devices (the platform
// refuses with ERROR_IN_WOW64), so both programs leave that work to their 64-bit build.
#pragma once

#include <string>

#include "common/core/text.h"

namespace korva {

// The kit's folder of the 64-bit build, below the folder of the 32-bit programs; each build
// folder is a whole kit folder of its own (programs, template, driver binaries, demo program).
constexpr char k64BitBuildFolder[] = "x64";

// The exit status of a 32-bit program on 64-bit Windows whose 64-bit build could not be found
// or started; the same in both programs. Nothing was removed or installed.
constexpr int kExitNo64BitBuild = 5;

// The 64-bit build of the program at `modulePath`: the file of the same name in the folder
// k64BitBuildFolder beside it ("C:\Kit\KORVAcw.exe" gives "C:\Kit\x64\KORVAcw.exe"). "/" and
// "\" both separate folders; a trail byte that looks like a backslash does not.
std::string Path64BitBuild(const std::string& modulePath,
                           const LeadBytePredicate& isLeadByte = nullptr);

// The argument part of a process's whole command line: what follows the program's name and
// the blanks after it, unchanged. The name ends at the first blank or control character
// outside double quotes, as the C runtime finds it for WinMain, so the program started with
// HandOverCommandLine reads the arguments this one read. (The runtime also takes a byte above
// 127 for a blank there, which cuts short an unquoted path with an accented letter in it;
// here such a byte belongs to the name.)
std::string CommandLineArguments(const std::string& commandLine);

// The command line that starts `programPath` with `arguments`: the path in double quotes, then
// the arguments as they are.
std::string HandOverCommandLine(const std::string& programPath, const std::string& arguments);

// The box of a 32-bit program on 64-bit Windows whose 64-bit build was not found at `path`
// (`error` 0) or could not be started there (`error` the platform's code), or whose end could
// not be awaited (`waitFailed`, with the wait's code; the build was stopped). `programTitle` is
// the program's full name, `work` what only the 64-bit build can do there.
std::string No64BitBuildMessage(const std::string& programTitle, const std::string& work,
                                const std::string& path, unsigned long error,
                                bool waitFailed = false);

}  // namespace korva
