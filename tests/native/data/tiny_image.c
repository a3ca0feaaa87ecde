/* A small DLL: a real PE image for the catalog tests, built by the native test build. */
__declspec(dllexport) int KorvaTinyImageValue(int x) { return x * 3 + 1; }
