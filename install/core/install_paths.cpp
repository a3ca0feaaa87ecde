#include "install/core/install_paths.h"

namespace korva {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Start offsets of the characters of `text`, a double-byte character counting as one.
template <typename Visit>
void ForEachCharacter(const std::string& text, const LeadBytePredicate& isLeadByte, Visit visit) {
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    if (isLeadByte && isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      length = 2;
    }
    visit(i, length);
    i += length;
  }
}

}  // namespace

InstallPaths DeriveInstallPaths(const std::string& modulePath,
                                const LeadBytePredicate& isLeadByte) {
  // Drive and folder of the path: everything up to and including its last separator (the
  // drive alone when there is none after it).
  size_t driveLength = modulePath.size() >= 2 && modulePath[1] == ':' ? 2 : 0;
  size_t folderEnd = driveLength;
  std::string folder;
  ForEachCharacter(modulePath, isLeadByte, [&](size_t at, size_t length) {
    if (at < driveLength) return;
    if (length == 1 && IsSeparator(modulePath[at])) folderEnd = at + 1;
  });
  folder = modulePath.substr(0, folderEnd);

  std::string programFolder;
  bool endsWithBackslash = false;
  ForEachCharacter(folder, isLeadByte, [&](size_t at, size_t length) {
    if (length == 1 && IsSeparator(folder[at])) {
      programFolder += '\\';
      endsWithBackslash = true;
    } else {
      programFolder.append(folder, at, length);
      endsWithBackslash = false;
    }
  });
  if (endsWithBackslash) programFolder.pop_back();

  InstallPaths paths;
  paths.programFolder = programFolder;
  paths.installFolder = programFolder + "\\install";
  paths.templatePath = programFolder + "\\" + kTemplateFile;
  paths.infPath = paths.installFolder + "\\korvawiz.inf";
  paths.catalogPath = paths.installFolder + "\\korvawiz.cat";
  paths.certificatePath = paths.installFolder + "\\korvawiz.cer";

  size_t lastBackslash = std::string::npos;
  ForEachCharacter(programFolder, isLeadByte, [&](size_t at, size_t length) {
    if (length == 1 && programFolder[at] == '\\') lastBackslash = at;
  });
  std::string parent = programFolder;
  if (lastBackslash != std::string::npos && lastBackslash > 0) parent.resize(lastBackslash);
  paths.alternateFolder = parent + "\\korva";
  return paths;
}

}  // namespace korva
