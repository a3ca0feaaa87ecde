// The line-by-line INF algorithm as the C library runs it: fopen "rt", fgets into 2000 bytes,
// cut at ';', upper-case, three substring searches. On Windows this is the truth the fast
// matcher must agree with (text-mode line ends and Ctrl+Z included).
#pragma once

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cleanup/engine/inf_text_matcher.h"

namespace korva::testing {

inline InfMarks TextModeFileMarks(const std::string& path, const InfSearchTerms& terms) {
  InfMarks marks;
  FILE* file = std::fopen(path.c_str(), "rt");
  if (!file) return marks;
  char line[2000];
  while (std::fgets(line, sizeof(line), file)) {
    if (char* semicolon = std::strchr(line, ';')) *semicolon = '\0';
    for (char* p = line; *p; ++p)
      *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (!marks.classFound && std::strstr(line, "CLASSGUID") &&
        std::strstr(line, terms.classGuidText.c_str())) {
      marks.classFound = true;
    }
    if (!marks.identFound && std::strstr(line, terms.identValueName.c_str()) &&
        std::strstr(line, terms.deviceIdentString.c_str())) {
      marks.identFound = true;
    }
    if (!marks.usbFound && std::strstr(line, "USB\\")) marks.usbFound = true;
  }
  std::fclose(file);
  return marks;
}

}  // namespace korva::testing
