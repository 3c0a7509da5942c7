#include "distribution/upx_step.hpp"

#include "common/command_line.hpp"
#include "distribution/failure_messages.hpp"
#include "fileutil/program_file.hpp"
#include "fileutil/shell_and_wait.hpp"

namespace parone {
namespace {

std::string DurationText(long ms) {
  if (ms % 60000 == 0) return std::to_string(ms / 60000) + "분";
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + "초";
  return std::to_string(ms) + " ms";
}

ProgramFileFacts Inspect(const RunContext& c, const std::string& path) {
  ProgramFileFacts facts = InspectProgramFile(c.services.files, path);
  for (const Error& e : facts.scanErrors) c.Show(ErrorReportMessage(e, kFileVerClosing));
  return facts;
}

// Empty when the run went well, else what went wrong, for the user.
std::string RunFailure(const RunContext& c, const LaunchResult& run, const std::string& path,
                       const ProgramFileFacts& before) {
  if (!run.started) return "시작하지 못했습니다 (" + run.error + ")";
  if (run.stopped) return "배포를 중지해 끝냈습니다";
  if (run.timedOut) {
    return DurationText(c.request.config.upxTimeoutMs) + " 안에 끝나지 않아 중단했습니다";
  }
  if (run.exitCode != 0) return "종료 코드 " + std::to_string(run.exitCode);
  // An exit code of 0 is the packer's claim; the file is what counts.
  const ProgramFileFacts after = Inspect(c, path);
  if (before.readable && !after.readable) return "종료 코드 0, 그러나 파일이 없어졌습니다";
  if (before.isPe() && !after.isPe()) {
    return "종료 코드 0, 그러나 남은 파일이 프로그램 파일(PE)이 아닙니다";
  }
  if (after.fileVersion != before.fileVersion) {
    return "종료 코드 0, 그러나 파일 버전이 바뀌었습니다 (" +
           FileVersionForDisplay(before.fileVersion) + " -> " +
           FileVersionForDisplay(after.fileVersion) + ")";
  }
  return {};
}

}  // namespace

Status RunUpxStep(const RunContext& c, const std::string& path) {
  FileSystem& files = c.services.files;
  const std::string& upx = c.request.upxPath;
  if (!files.FileExists(upx)) return {};

  auto report = [&](const std::string& run, const std::string& outcome, const std::string& tail,
                    long code) {
    c.Show("UPX 실패: 이 파일은 배포하지 않습니다.\r\n\r\n프로그램: " + upx + "\r\n실행: " + run +
               "\r\n결과: " + outcome + "\r\n파일: " + path + tail,
           kStyleWarning);
    return Error{Stage::kPacker, code == 0 ? CodeKind::kNone : CodeKind::kOs, code, outcome, path};
  };

  // The packer rewrites the file in place; one that fails half way must not
  // cost the developer the build, so the file waits beside itself meanwhile.
  const std::string kept = path + kBeforeUpxSuffix;
  if (!files.CopyFileReplacing(path, kept)) {
    files.DeleteFile(kept);
    return report("(실행하지 않음)", "실행 전에 파일을 " + kept + " 에 보관하지 못했습니다", "", 0);
  }
  const ProgramFileFacts before = Inspect(c, path);

  // The path is quoted: unquoted, a path with a blank reaches the packer as
  // two arguments and the step silently does nothing.
  const std::string quoted = QuoteWindowsArgument(path);
  std::string failedRun;
  std::string failure;
  long exitCode = 0;
  for (const std::string& parameters : {quoted, " -d " + quoted}) {
    const LaunchResult run =
        ShellAndWait(c.services.launcher, upx, c.request.ownerWindow, parameters,
                     c.services.facts.OwnFolder(), kFalse16, kFalse16, c.request.config.upxTimeoutMs,
                     c.request.stop);
    if (!run.started) {
      c.Show("프로그램을 실행할 수 없습니다: " + upx + "\r\n" + run.error, kStyleWarning);
    }
    failure = RunFailure(c, run, path, before);
    if (!failure.empty()) {
      failedRun = upx + " " + parameters;
      exitCode = run.started && !run.timedOut ? run.exitCode : 0;
      break;
    }
  }
  c.events.Pulse();

  if (failure.empty()) {
    files.DeleteFile(kept);
    return {};
  }
  if (files.RenameReplacing(kept, path)) {
    return report(failedRun, failure, "\r\n\r\n파일은 UPX 실행 전으로 되돌렸습니다.", exitCode);
  }
  return report(failedRun, failure, "\r\n\r\nUPX 실행 전의 파일은 " + kept + " 에 남아 있습니다.",
                exitCode);
}

}  // namespace parone
