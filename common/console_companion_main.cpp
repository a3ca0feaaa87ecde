// KORVAcw.com and KORVAwiz.com: the console companions of the two programs, one source built
// once for each; the build's header names the companion and its program.
#include "common/console_companion.h"
#include "companion_identity.h"

int main() { return korva::RunConsoleCompanion(KORVA_COMPANION_NAME, KORVA_COMPANION_PROGRAM); }
