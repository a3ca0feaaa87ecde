// A GUID from its text, through the platform's parser: the one way both programs, the demo
// program and the test bed read a class GUID.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

// CLSIDFromString on the ANSI text; true only for S_OK (`guid` is then set). The platform also
// takes other forms than the braced one: a caller that wants only that checks the form first.
bool ParseGuidText(const std::string& text, GUID& guid);

// The kit's device set-up class (kKitClassGuidText) as a GUID.
GUID KitClassGuid();

}  // namespace korva
