// Starting another program for this one: the hand-over of a 32-bit program to its 64-bit build
// and the console companions both start their program this way, and only this way.
#pragma once

#include <windows.h>

#include <string>

#include "common/unique_resource.h"

namespace korva {

// A program started for this one, tied to it: it is in a job object that ends it when the job's
// last handle closes, which this process's end does too (a deployment tool that stops this
// process on a time-out stops the work with it). What it starts in turn is not in the job.
struct TiedChild {
  UniqueHandle job;  // not valid where the platform gave no job: the child runs untied
  UniqueHandle process;
};

// Starts `program` with `commandLine` as TiedChild says; false with the platform's code in
// `error` when it could not be started.
bool StartTiedChild(const std::string& program, std::string commandLine, STARTUPINFOA& startup,
                    bool inheritHandles, TiedChild& child, DWORD& error);

// A start-up record with no more in it than this: the child's window is shown as this
// program's would have been.
STARTUPINFOA StartupShownAsThisProgram();

// Waits for the child's end and reads its exit status into `status`. A wait that failed would
// read the status of a running program (259) as its end: the child is stopped with
// `stoppedStatus` then, and false comes back with the wait's code in `error`. A status that
// can't be read is not success: the platform's code stands in for it.
bool AwaitTiedChild(const TiedChild& child, DWORD stoppedStatus, DWORD& status, DWORD& error);

}  // namespace korva
