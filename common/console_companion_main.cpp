// KORVAcw.com and KORVAwiz.com: the console companions of the two programs, one source built
// once for each; the build's header names the companion and its program.
#include "common/console_companion.h"
#include "common/system_library.h"
#include "companion_identity.h"

int main() {
  // First of all: no library from the companion's folder (or the current one) from now on.
  korva::RestrictLibrarySearchToSystemFolder();
  return korva::RunConsoleCompanion(KORVA_COMPANION_NAME, KORVA_COMPANION_PROGRAM);
}
