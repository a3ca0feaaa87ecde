// What the resource suites of both programs expect of a built program, as tables: dialog
// templates with their controls, icons, the version record and the manifest, each compared with
// what the file holds.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "support/dialog_template.h"

namespace korva::testing {

constexpr int kNoId = -1;

// A built program opened as data, with its path for the failure messages.
class BuiltProgram {
 public:
  explicit BuiltProgram(std::string path) : path_(std::move(path)), resources_(path_) {}
  const std::string& Path() const { return path_; }
  const ResourceModule& Resources() const { return resources_; }

 private:
  std::string path_;
  ResourceModule resources_;
};

// What makes a control the kind the tables name: its class, its type within the class
// (the style bits under `typeMask`), style bits it must have and bits it must not have.
struct Kind {
  const char* className;
  DWORD typeMask;
  DWORD type;
  DWORD required;
  DWORD forbidden;
  DWORD exRequired;
};

// The kinds both programs use.
inline constexpr Kind kDefaultButton = {"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, WS_TABSTOP, 0, 0};
inline constexpr Kind kButton = {"Button", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0, 0};
inline constexpr Kind kIcon = {"Static", SS_TYPEMASK, SS_ICON, 0, 0, 0};
inline constexpr Kind kEtchedLine = {"Static", SS_TYPEMASK, SS_ETCHEDHORZ, 0, 0, 0};

struct ControlRow {
  int id;
  const Kind* kind;
  const char* text;
  short x, y, cx, cy;
};

struct Box {
  short x, y, cx, cy;
};

// Every template of both programs has the font "MS Sans Serif", 8 points; the row does not
// repeat it.
struct DialogRow {
  int id;
  DWORD required;
  DWORD forbidden;
  DWORD exRequired;
  const char* caption;
  Box box;
  std::vector<ControlRow> controls;
};

// Style words in hexadecimal, so that a failure names the bits.
std::string Bits(DWORD value);
void ExpectStyle(DWORD actual, DWORD required, DWORD forbidden, const char* what);

void ExpectControl(const DialogTemplate::Control& actual, const ControlRow& row);
// The template, and its controls in the row's order, which is the tab order.
void ExpectDialog(const BuiltProgram& program, const DialogRow& row);

// The integer ids of the program's resources of one type, in ascending order; a resource
// with a name instead of an id counts as kNoId.
std::vector<int> ResourceIds(const BuiltProgram& program, LPCSTR type);

// The icon holds a 16 x 16 and a 32 x 32 image of 32 bits, and the platform loads both sizes.
void ExpectIcon(const BuiltProgram& program, int id);

struct FileVersion {
  WORD major, minor, build, revision;
};

// The version record: file and product version, Windows NT application, U.S. English in
// Unicode, and the given values of the string block.
void ExpectVersionRecord(const BuiltProgram& program, FileVersion version,
                         const std::vector<std::pair<std::string, std::string>>& values);

// The manifest the loader applies: administrator rights, common controls 6, DPI aware.
void ExpectManifest(const BuiltProgram& program);

}  // namespace korva::testing
