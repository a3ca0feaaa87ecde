// The start of a 32-bit program on 64-bit Windows: it runs its 64-bit build instead.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/kit_refusals.h"
#include "common/tied_child.h"

namespace korva {

struct Wow64HandOver {
  enum Outcome {
    kNotNeeded,   // a 64-bit program, or 32-bit Windows: the program does its own run
    kHandedOver,  // the 64-bit build ran; `exitStatus` is its status
    kFailed,      // the 64-bit build was not found (`error` 0), could not be started, or its
                  // end could not be awaited (`waitFailed`; it was stopped then)
    kNotTrusted,  // users who are not administrators can change the 64-bit build or its
                  // folder (`problem`): it was not started
  };
  Outcome outcome = kNotNeeded;
  DWORD exitStatus = 0;
  std::string path;  // the 64-bit build looked for
  DWORD error = 0;
  bool waitFailed = false;
  KitTrustProblem problem;
};

// True for a 32-bit process on 64-bit Windows. The platform's question is looked up at run
// time, since the oldest systems lack it (and are not 64-bit).
bool Is32BitProcessOn64BitWindows();

// When this is a 32-bit process on 64-bit Windows, starts the 64-bit build of the program
// (Path64BitBuild of its own file) with this process's arguments, waits for it to end and
// returns its exit status. Only a file that is a 64-bit program is started, so the run can
// never come back to a 32-bit one: a copy of the 32-bit build in its place counts as missing.
// It runs as administrator: a build that others than administrators can change is not started.
// The program's path must have an exact ANSI form (the programs refuse to run otherwise).
Wow64HandOver HandOverTo64BitBuild();

}  // namespace korva
