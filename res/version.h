// The versions of the KORVA set-up tools and the kit's demo program. Each program's numbers stand
// here once; the texts of its version record, its About box and its manifest are made from them
// (the manifests by the build, which reads this file).
#pragma once

#define KORVACW_VERSION_MAJOR 1
#define KORVACW_VERSION_MINOR 0

#define KORVAWIZ_VERSION_MAJOR 2
#define KORVAWIZ_VERSION_MINOR 20

#define KORVAAPP_VERSION_MAJOR 1
#define KORVAAPP_VERSION_MINOR 0

#define KORVA_COPYRIGHT_TEXT "Copyright (C) 2026 KORVA"

#define KORVA_TEXT_OF_(x) #x
#define KORVA_TEXT_OF(x) KORVA_TEXT_OF_(x)
// The four numbers of a version record, and the texts "major.minor" and "major.minor.0.0".
#define KORVA_VERSION_NUMBERS_OF(major, minor) major, minor, 0, 0
#define KORVA_SHORT_VERSION_TEXT_OF(major, minor) KORVA_TEXT_OF(major) "." KORVA_TEXT_OF(minor)
#define KORVA_FULL_VERSION_TEXT_OF(major, minor) KORVA_SHORT_VERSION_TEXT_OF(major, minor) ".0.0"

// KORVAcw: "1.0.0.0" in its version record, "1.0" in its About box.
#define KORVACW_VERSION_NUMBERS \
  KORVA_VERSION_NUMBERS_OF(KORVACW_VERSION_MAJOR, KORVACW_VERSION_MINOR)
#define KORVACW_VERSION_TEXT \
  KORVA_FULL_VERSION_TEXT_OF(KORVACW_VERSION_MAJOR, KORVACW_VERSION_MINOR)
#define KORVACW_SHORT_VERSION_TEXT \
  KORVA_SHORT_VERSION_TEXT_OF(KORVACW_VERSION_MAJOR, KORVACW_VERSION_MINOR)

// KORVAwiz: "2.20" in its version record and its About box.
#define KORVAWIZ_VERSION_NUMBERS \
  KORVA_VERSION_NUMBERS_OF(KORVAWIZ_VERSION_MAJOR, KORVAWIZ_VERSION_MINOR)
#define KORVAWIZ_VERSION_TEXT \
  KORVA_SHORT_VERSION_TEXT_OF(KORVAWIZ_VERSION_MAJOR, KORVAWIZ_VERSION_MINOR)

// korvaapp: "1.0.0.0" in its version record.
#define KORVAAPP_VERSION_NUMBERS \
  KORVA_VERSION_NUMBERS_OF(KORVAAPP_VERSION_MAJOR, KORVAAPP_VERSION_MINOR)
#define KORVAAPP_VERSION_TEXT \
  KORVA_FULL_VERSION_TEXT_OF(KORVAAPP_VERSION_MAJOR, KORVAAPP_VERSION_MINOR)
