// The platform version test of both wizards' start-up.
#pragma once

namespace korva {

// True on the NT family of Windows from major version 5 on (Windows 2000 and later), where the
// welcome pages add their note on administrator rights; false when the platform can't be asked.
bool IsNt5OrLater();

}  // namespace korva
