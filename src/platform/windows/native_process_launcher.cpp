// Windows implementation of the ProcessLauncher interface defined in platform/process_launcher.hpp.
#include "platform/windows/win32.hpp"

#include <objbase.h>
#include <shellapi.h>

#include "platform/process_launcher.hpp"

namespace parone {
namespace {

// The shell may hand an "open" to a shell extension, which wants COM on the
// calling thread; undone on the way out only when this call did it.
class ComForThisCall {
 public:
  ComForThisCall()
      : initialised_(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComForThisCall() {
    if (initialised_) ::CoUninitialize();
  }
  ComForThisCall(const ComForThisCall&) = delete;
  ComForThisCall& operator=(const ComForThisCall&) = delete;

 private:
  bool initialised_;
};

// A job that ends every process in it when its last handle closes, so that
// nothing a run started outlives the run, whatever way Run is left (and
// whatever way this process ends). None when the system will not make one.
win32::UniqueHandle NewKillOnCloseJob() {
  win32::UniqueHandle job(::CreateJobObjectW(nullptr, nullptr));
  if (!job) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
    job.reset();
  }
  return job;
}

// Ends every process in the job and waits (a bounded while) until the
// system has taken them all down: TerminateJobObject only starts that, and
// a child still ending could hold the file the packer was working on.
void EndJob(HANDLE job) {
  ::TerminateJobObject(job, 1);
  for (int polls = 0; polls < 500; ++polls) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                     sizeof accounting, nullptr) ||
        accounting.ActiveProcesses == 0) {
      return;
    }
    ::Sleep(10);
  }
}

// Waits for the program's end, at most `timeoutMs` (0: no limit); with a
// stop signal in slices of a tenth of a second, so that a stop ends the
// wait at once. WAIT_TIMEOUT when the limit passed or a stop was requested.
DWORD WaitForProgram(HANDLE process, long timeoutMs, const StopSignal* stop) {
  if (!stop) return ::WaitForSingleObject(process, timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : INFINITE);
  constexpr DWORD kSliceMs = 100;
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    const DWORD waited = ::WaitForSingleObject(process, kSliceMs);
    if (waited != WAIT_TIMEOUT || stop->requested()) return waited;
    if (timeoutMs > 0 && ::GetTickCount64() >= deadline) return WAIT_TIMEOUT;
  }
}

}  // namespace

LaunchResult NativeProcessLauncher::Run(const LaunchRequest& request) {
  LaunchResult result;
  const ComForThisCall com;
  const std::wstring program = win32::Wide(request.program);
  const std::wstring parameters = win32::Wide(request.parameters);
  const std::wstring folder = win32::Wide(request.workingFolder);
  // The shell may start a program in a folder that does not exist (in the
  // current one instead); the packer must run where it was told or not at all.
  if (!folder.empty()) {
    const DWORD attributes = ::GetFileAttributesW(win32::LongPath(request.workingFolder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      result.error = win32::ErrorText(ERROR_DIRECTORY) + ": " + request.workingFolder;
      return result;
    }
  }

  // Made before the start, so that once the program runs only the
  // assignment stands between it and the job.
  const win32::UniqueHandle job = NewKillOnCloseJob();

  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The process handle comes back for the wait. The caller reports a failed
  // start in its own message, so the shell shows no dialog of its own (which
  // would also block a command line that nobody watches). A console program
  // shares ours, as the interface promises (a window without a console still
  // gets a new one from the system): a console of its own would open a
  // window per run, and its host outlives the program for a moment, holding
  // the working folder.
  info.fMask =
      SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | SEE_MASK_NO_CONSOLE;
  info.hwnd = reinterpret_cast<HWND>(request.ownerWindow);
  info.lpVerb = L"open";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = static_cast<int>(request.show);  // SW_HIDE 0, SW_SHOW 5, SW_SHOWMINNOACTIVE 7
  if (!::ShellExecuteExW(&info)) {
    result.error = win32::ErrorText(::GetLastError());
    return result;
  }
  result.started = true;
  const win32::UniqueHandle process(info.hProcess);
  if (!process) return result;  // served without a new process: nothing to wait for

  // The shell has no way to start the program suspended, so it is already
  // running when its handle comes back: a child it starts before this
  // assignment is outside the job and survives a time-out. The packer starts
  // none; the window is a few system calls wide. Starting it ourselves,
  // suspended, would lose the shell's "open" that the packer path is given
  // to. Where the job cannot be had (none made, or a system that refuses to
  // nest this job in one the tool already runs in), a time-out ends the
  // program alone, as before there were jobs.
  const bool inJob = job && ::AssignProcessToJobObject(job.get(), process.get());

  const DWORD waited = WaitForProgram(process.get(), request.timeoutMs, request.stop);
  if (waited == WAIT_TIMEOUT) {
    if (inJob) {
      EndJob(job.get());
    } else {
      ::TerminateProcess(process.get(), 1);
    }
    ::WaitForSingleObject(process.get(), INFINITE);
    (StopRequested(request.stop) ? result.stopped : result.timedOut) = true;
    return result;
  }
  if (waited != WAIT_OBJECT_0) {
    result.error = win32::ErrorText(::GetLastError());
    return result;
  }
  DWORD exitCode = 0;
  if (::GetExitCodeProcess(process.get(), &exitCode)) result.exitCode = static_cast<int>(exitCode);
  return result;
}

}  // namespace parone
