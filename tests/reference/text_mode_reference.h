// The line-by-line INF algorithm as the C library runs it: fopen "rt", fgets into 2000 bytes,
// cut at ';', upper-case, three substring searches. On Windows this is the truth the fast
// matcher must agree with (text-mode line ends and Ctrl+Z included). A UTF-16 file is first
// converted whole by the platform and written out, and the C library reads that.
#pragma once

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cleanup/core/inf_text_matcher.h"
#include "reference/inf_reference.h"

namespace korva::testing {

// Reads `file`, opened in text mode, from where it stands to its end; closes it.
inline InfMarks TextModeMarks(FILE* file, const InfSearchTerms& terms) {
  InfMarks marks;
  char line[2000];
  while (std::fgets(line, sizeof(line), file)) ReferenceExaminePiece(line, terms, marks);
  std::fclose(file);
  return marks;
}

inline InfMarks TextModeFileMarks(const std::string& path, const InfSearchTerms& terms) {
  FILE* file = std::fopen(path.c_str(), "rt");
  return file ? TextModeMarks(file, terms) : InfMarks();
}

// The ANSI text of a UTF-16 file in `codePage`: every whole code unit after the byte-order
// mark in one WideCharToMultiByte call, without best fit and with '?' for what has no form
// (UTF-8 takes neither).
inline std::string PlatformAnsiText(const std::string& raw, UINT codePage) {
  int count = static_cast<int>((raw.size() - 2) / 2);
  if (count == 0) return std::string();
  std::wstring units(static_cast<size_t>(count), L'\0');
  std::memcpy(&units[0], raw.data() + 2, units.size() * 2);
  bool utf8 = (codePage == CP_ACP ? GetACP() : codePage) == CP_UTF8;
  DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* questionMark = utf8 ? nullptr : "?";
  int length =
      WideCharToMultiByte(codePage, flags, units.data(), count, nullptr, 0, questionMark, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, units.data(), count, &text[0], length, questionMark,
                      nullptr);
  return text;
}

// The marks of a file as Windows' C library reads it: a file that begins with the UTF-16LE
// byte-order mark is converted whole, written to `scratchPath` and read from there.
inline InfMarks ConvertedFileMarks(const std::string& path, const InfSearchTerms& terms,
                                   UINT codePage, const std::string& scratchPath) {
  FILE* file = std::fopen(path.c_str(), "rt");
  if (!file) return InfMarks();
  bool utf16 = std::fgetc(file) == 0xFF && std::fgetc(file) == 0xFE;
  if (!utf16) {
    std::rewind(file);
    return TextModeMarks(file, terms);
  }
  std::fclose(file);
  std::string raw;
  file = std::fopen(path.c_str(), "rb");
  if (!file) return InfMarks();
  char block[65536];
  for (size_t n; (n = std::fread(block, 1, sizeof(block), file)) > 0;) raw.append(block, n);
  std::fclose(file);
  std::string text = PlatformAnsiText(raw, codePage);
  file = std::fopen(scratchPath.c_str(), "wb");
  if (!file) return InfMarks();
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return TextModeFileMarks(scratchPath, terms);
}

}  // namespace korva::testing
