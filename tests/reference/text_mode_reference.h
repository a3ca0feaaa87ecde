// The line-by-line INF algorithm as the C library runs it: fopen "rt", fgets into 2000 bytes,
// cut at ';', upper-case, three substring searches. On Windows this is the truth the fast
// matcher must agree with (text-mode line ends and Ctrl+Z included).
#pragma once

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "cleanup/core/inf_text_matcher.h"
#include "reference/inf_reference.h"

namespace korva::testing {

inline InfMarks TextModeFileMarks(const std::string& path, const InfSearchTerms& terms) {
  InfMarks marks;
  FILE* file = std::fopen(path.c_str(), "rt");
  if (!file) return marks;
  char line[2000];
  while (std::fgets(line, sizeof(line), file)) ReferenceExaminePiece(line, terms, marks);
  std::fclose(file);
  return marks;
}

}  // namespace korva::testing
