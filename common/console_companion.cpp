#include "common/console_companion.h"

#include "common/core/kit_refusals.h"
#include "common/program_path.h"
#include "common/ansi_text.h"
#include "common/core/console_companion.h"
#include "common/core/wow64_hand_over.h"
#include "common/last_error.h"
#include "common/tied_child.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

bool IsUsable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

// How long the companion waits for the program's end before it looks at the pipe again.
constexpr DWORD kPollMs = 20;

// Moves what the pipe holds now to `output`; false when the pipe is closed (every writer gone).
bool PassOnWhatArrived(HANDLE pipe, CompanionOutput& output) {
  char buffer[4096];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    DWORD read = 0;
    if (!ReadFile(pipe, buffer, available < sizeof(buffer) ? available : sizeof(buffer), &read,
                  nullptr)) {
      return false;
    }
    output.Write(buffer, read);
  }
}

}  // namespace

CompanionOutput::CompanionOutput(HANDLE handle) : handle_(handle) {
  DWORD mode = 0;
  console_ = IsUsable(handle) && GetConsoleMode(handle, &mode);
  broken_ = !IsUsable(handle);
}

void CompanionOutput::Write(const char* bytes, size_t size) {
  if (broken_) return;
  if (!console_) {
    while (size > 0) {
      DWORD written = 0;
      if (!WriteFile(handle_, bytes, static_cast<DWORD>(size), &written, nullptr) || written == 0) {
        broken_ = true;
        return;
      }
      bytes += written;
      size -= written;
    }
    return;
  }
  held_.append(bytes, size);
  size_t whole = WholeCharactersLength(held_, IsAnsiLeadByte);
  WriteConsoleText(held_.substr(0, whole));
  held_.erase(0, whole);
}

void CompanionOutput::Finish() {
  if (held_.empty()) return;
  std::string rest;
  rest.swap(held_);
  WriteConsoleText(rest);
}

void CompanionOutput::WriteConsoleText(const std::string& text) {
  if (text.empty() || broken_) return;
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  const wchar_t* at = wide.data();
  DWORD left = static_cast<DWORD>(wide.size());
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(handle_, at, left, &written, nullptr) || written == 0) {
      broken_ = true;
      return;
    }
    at += written;
    left -= written;
  }
}

int RunConsoleCompanion(const std::string& companionName, const std::string& programName) {
  CompanionOutput errors(GetStdHandle(STD_ERROR_HANDLE));
  auto fail = [&](const std::string& path, DWORD error, bool waitFailed) {
    std::string line = CompanionFailureLine(companionName, path, error, waitFailed);
    errors.Write(line.data(), line.size());
    return kExitCompanionNoProgram;
  };

  // A path the ANSI calls can only give as a look-alike would start the program of another
  // folder, or find none.
  ProgramPath own = ReadProgramPath();
  if (!own.exact) {
    std::string line = CompanionPathNotAnsiLine(companionName, own.Folder());
    errors.Write(line.data(), line.size());
    return kExitProgramPathNotAnsi;
  }
  // By its full path in the companion's folder, never by a name searched for.
  std::string program = CompanionProgramPath(own.ansi, programName, IsAnsiLeadByte);
  DWORD attributes = GetFileAttributesA(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return fail(program, 0, false);
  }

  // One pipe for both standard output and standard error, so that their lines keep their
  // order; only its writing end is inherited.
  SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
    return fail(program, LastErrorOfFailure(), false);
  }
  UniqueHandle pipe(readEnd);
  UniqueHandle programEnd(writeEnd);
  SetHandleInformation(pipe.Get(), HANDLE_FLAG_INHERIT, 0);
  // The program reads the companion's standard input, where there is one.
  UniqueHandle input;
  HANDLE ownInput = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE inputCopy = nullptr;
  if (IsUsable(ownInput) && DuplicateHandle(GetCurrentProcess(), ownInput, GetCurrentProcess(),
                                            &inputCopy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    input.Reset(inputCopy);
  }

  STARTUPINFOA startup = StartupShownAsThisProgram();
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = programEnd.Get();
  startup.hStdError = programEnd.Get();
  std::string commandLine = HandOverCommandLine(program, CommandLineArguments(GetCommandLineA()));
  // Ctrl+C or a closed console ends the companion, and with it the job: the program ends too.
  TiedChild child;
  DWORD error = 0;
  if (!StartTiedChild(program, commandLine, startup, true, child, error)) {
    return fail(program, error, false);
  }
  programEnd.Reset();
  input.Reset();

  // Until the program ends: what arrives goes on at once. A process that the program started in
  // turn may hold the pipe open after its end; the companion does not wait for that one.
  CompanionOutput output(GetStdHandle(STD_OUTPUT_HANDLE));
  bool pipeOpen = true;
  for (;;) {
    if (pipeOpen) pipeOpen = PassOnWhatArrived(pipe.Get(), output);
    DWORD waited = WaitForSingleObject(child.process.Get(), pipeOpen ? kPollMs : INFINITE);
    if (waited == WAIT_TIMEOUT) continue;
    if (waited == WAIT_OBJECT_0 && pipeOpen) PassOnWhatArrived(pipe.Get(), output);
    break;
  }
  output.Finish();
  DWORD status = 0;
  if (!AwaitTiedChild(child, kExitCompanionNoProgram, status, error)) {
    return fail(program, error, true);
  }
  return static_cast<int>(status);
}

}  // namespace korva
