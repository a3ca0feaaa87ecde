// A stand-in for the system's newdev.dll, planted beside a test program to check that the
// installation never loads it from there. Its driver update fails with a code of its own.
#include <windows.h>

extern "C" __declspec(dllexport) BOOL WINAPI
    UpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR, LPCSTR, DWORD, PBOOL) {
  SetLastError(0x4B0D);
  return FALSE;
}
