// The generated package, checked with the platform's own INF parser before anything is
// installed from it: a package that names a file it does not hold makes the platform's file
// copy ask for that file, a prompt that an unattended run (and Wine's set-up services, which
// do not honour the quiet mode there) would wait on for ever.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

struct PackageCheckFailure {
  DWORD code = 0;      // the platform's code: the parser's, ERROR_FILE_NOT_FOUND for a missing
                       // file, ERROR_NO_COMPAT_DRIVERS for no line for the hardware ID
  std::string reason;  // one sentence, for the box and the log
};

// Whether `infPath` can be installed for `hardwareId` from `installFolder`: the platform's
// parser reads it, the models section that applies on this system (the one of the
// [Manufacturer] line's decorations for this architecture, else the plain one) has a line for
// the hardware ID, and every file named by the CopyFiles of that line's install section and by
// [SourceDisksFiles] is a file in the install folder.
bool CheckPackage(const std::string& infPath, const std::string& hardwareId,
                  const std::string& installFolder, PackageCheckFailure& failure);

}  // namespace korva
