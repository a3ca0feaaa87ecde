// The programs' own result codes. They lie in the range the platform leaves to applications
// (bit 29 set), so that none of them reads as a platform code: a hardware ID that can't be
// read with ERROR_FILE_NOT_FOUND (2) is never taken for "the INF file could not be created".
// Platform-free.
#pragma once

namespace korva {

constexpr int kOwnCodeBit = 0x20000000;

// An own code: the number it shows and the group of codes it belongs to, so that two groups
// that show the same numbers stay apart.
enum class OwnCodeGroup { kDeviceProperty = 1, kInfGeneration = 2, kKit = 3 };

constexpr int OwnCode(OwnCodeGroup group, int number) {
  return kOwnCodeBit | static_cast<int>(group) << 16 | number;
}

// The number a box or a page shows for a code: an own code as its number (as the programs
// have always shown them: "error 1" for a template that can't be opened); any other code as
// it is.
constexpr int ShownCode(int code) {
  return code > 0 && (code & kOwnCodeBit) != 0 && (code & 0x40000000) == 0 ? code & 0xFFFF : code;
}

}  // namespace korva
