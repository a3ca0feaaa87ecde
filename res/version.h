// Version of the KORVA set-up tools, shown by both programs' version records.
#pragma once
#define KORVA_VERSION_NUMBERS 1, 0, 0, 0
#define KORVA_VERSION_TEXT "1.0.0.0"
