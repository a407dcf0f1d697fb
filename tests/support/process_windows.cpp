// Programs started by tests on Windows. A program and everything it starts
// in turn run in one job object, so that one call ends them all.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "platform/windows_text.h"
#include "tests/support/process.h"

namespace korva {
namespace {

// The command line that hands the C runtime each argument whole.
std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line = L"\"" + Wide(argv[0]) + L"\"";
  for (size_t a = 1; a < argv.size(); ++a) {
    std::wstring arg = Wide(argv[a]);
    line += L" \"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L"\"";
  }
  return line;
}

// A file handle that a child can write to.
HANDLE OpenOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts `argv` with its output going to `out` and `err`, in `folder`, in
// the job `job` when it is given. False when it cannot start.
bool Start(const std::vector<std::string>& argv, const std::string& folder, const std::string& out,
           const std::string& err, HANDLE job, PROCESS_INFORMATION* process) {
  HANDLE outFile = OpenOutput(out);
  HANDLE errFile = err == out ? outFile : OpenOutput(err);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outFile;
  startup.hStdError = errFile;
  std::wstring line = CommandLine(argv);
  std::wstring where = Wide(folder);
  // Suspended until it is in the job, so that nothing it starts escapes.
  bool started = CreateProcessW(Wide(argv[0]).c_str(), &line[0], nullptr, nullptr, TRUE,
                                CREATE_SUSPENDED, nullptr, folder.empty() ? nullptr : where.c_str(),
                                &startup, process) != 0;
  if (started) {
    if (job != nullptr) AssignProcessToJobObject(job, process->hProcess);
    ResumeThread(process->hThread);
    CloseHandle(process->hThread);
  }
  if (outFile != INVALID_HANDLE_VALUE) CloseHandle(outFile);
  if (errFile != outFile && errFile != INVALID_HANDLE_VALUE) CloseHandle(errFile);
  return started;
}

int ExitStatus(HANDLE process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return -1;
  // An exception or a kill ends a program abnormally, as a signal does.
  if ((code & 0xFF000000u) == 0xC0000000u) return -1;
  return static_cast<int>(code);
}

}  // namespace

int RunCaptured(const std::vector<std::string>& argv, const std::string& folder,
                const std::string& out, const std::string& err) {
  PROCESS_INFORMATION process = {};
  if (!Start(argv, folder, out, err, nullptr, &process)) return -1;
  WaitForSingleObject(process.hProcess, INFINITE);
  int status = ExitStatus(process.hProcess);
  CloseHandle(process.hProcess);
  return status;
}

struct ChildProcess::Handle {
  HANDLE job = nullptr;
  HANDLE process = nullptr;
  bool ended = false;
  int status = -1;
};

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& output)
    : handle_(new Handle) {
  handle_->job = CreateJobObjectW(nullptr, nullptr);
  PROCESS_INFORMATION process = {};
  if (handle_->job != nullptr && Start(argv, "", output, output, handle_->job, &process)) {
    handle_->process = process.hProcess;
  }
}

ChildProcess::~ChildProcess() {
  if (handle_->process != nullptr && !handle_->ended) KillAll();
  if (handle_->process != nullptr) CloseHandle(handle_->process);
  if (handle_->job != nullptr) CloseHandle(handle_->job);
  delete handle_;
}

bool ChildProcess::started() const { return handle_->process != nullptr; }

bool ChildProcess::Running() {
  if (handle_->ended || handle_->process == nullptr) return false;
  if (WaitForSingleObject(handle_->process, 0) == WAIT_OBJECT_0) {
    handle_->ended = true;
    handle_->status = ExitStatus(handle_->process);
    return false;
  }
  return true;
}

void ChildProcess::KillAll() {
  if (handle_->process == nullptr) return;
  // The job's processes, the program and every tool it was running, end at
  // once; the job then has no process left.
  TerminateJobObject(handle_->job, 0xC000013AU);
  Wait();
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
  for (int i = 0; i < 2000; ++i) {
    if (!QueryInformationJobObject(handle_->job, JobObjectBasicAccountingInformation, &info,
                                   sizeof info, nullptr) ||
        info.ActiveProcesses == 0) {
      break;
    }
    Sleep(1);
  }
}

int ChildProcess::Wait() {
  if (!handle_->ended && handle_->process != nullptr) {
    WaitForSingleObject(handle_->process, INFINITE);
    handle_->ended = true;
    handle_->status = ExitStatus(handle_->process);
  }
  return handle_->status;
}

}  // namespace korva
