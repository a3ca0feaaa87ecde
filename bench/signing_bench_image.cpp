// The smallest PE image the build makes, without a C runtime: the signing benchmark pads it with
// bytes at its end to the driver binary sizes it measures (a few KB stand in for 64 KB that way,
// where every program of the build is larger).
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE, DWORD, LPVOID) { return TRUE; }
