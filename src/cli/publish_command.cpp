#include <CLI/CLI.hpp>

#include <charconv>
#include <ostream>

#include "cli/commands.hpp"
#include "cli/console_questions.hpp"
#include "cli/console_view.hpp"
#include "common/numeric_text.hpp"
#include "common/tick_state.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/code_signing.hpp"
#include "distribution/distribution_run.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {
namespace {

struct PreparedRun {
  SystemConfig config;
  ConsoleControls controls;
};

// The arguments joined with ";" (as the window joins dropped files), every
// relative entry made absolute against the current folder: the run hands
// the paths to programs started in the tool's own folder (UPX) and names
// files by what follows the last separator.
std::string AbsoluteSelection(FileSystem& files, const std::vector<std::string>& arguments) {
  std::string joined;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i) joined += ';';
    joined += arguments[i];
  }
  std::string selection;
  bool first = true;
  for (const std::string& entry : SplitSelection(joined)) {
    if (!first) selection += ';';
    first = false;
    if (!entry.empty()) selection += files.AbsolutePath(entry);
  }
  return selection;
}

// False after printing why the options cannot be used.
bool Prepare(const RunOptions& options, CliContext& context, PreparedRun& prepared) {
  prepared.config = context.config;
  std::optional<std::string> server = options.server ? options.server : context.serverEnv;
  if (server && !ApplyServerOverride(prepared.config, *server)) {
    context.err << "bad server \"" << *server << "\" (HOST[:FTP-PORT[:HTTP-PORT]])\n";
    return false;
  }
  // Like the window: the stored settings unless an option says otherwise.
  prepared.controls.selection = AbsoluteSelection(context.files, options.selection);
  // Most build machines have no signing share, so signing is asked for.
  prepared.controls.codeSigning = options.sign ? kTicked : kUnticked;
  prepared.controls.upxPath = options.upxPath.value_or(context.settings.GetSetting(
      kAppTitle, "Config", "UpxPath", prepared.config.defaultUpxPath));
  prepared.controls.passive =
      options.passive  ? kTicked
      : options.active ? kUnticked
                       : TickStateFromText(
                             context.settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1"));
  return true;
}

// Build machines have nobody to ask: a failing copy is tried a few times and
// the wait for signed files ends after the given time, both giving up the
// run before anything is uploaded.
class ConsoleWayOut final : public SigningWayOut {
 public:
  ConsoleWayOut(std::ostream& err, TerminalProgress& progress, Sleeper& sleeper,
                long timeoutSeconds)
      : err_(err), progress_(progress), sleeper_(sleeper), timeoutMs_(timeoutSeconds * 1000) {}
  bool RetryCopy(const std::string& from, const std::string& to) override {
    if (++copyRetries_ > kCopyRetries) {
      progress_.Finish();
      err_ << "copying " << from << " to " << to << " keeps failing; giving up\n";
      return false;
    }
    sleeper_.SleepMs(1000);
    return true;
  }
  bool KeepWaiting(long waitedMs) override {
    if (waitedMs < timeoutMs_) return true;
    progress_.Finish();
    err_ << "no signed files after " << timeoutMs_ / 1000
         << " s (--sign-timeout); nothing was uploaded\n";
    return false;
  }
  // The last sleep ends on the deadline, so the last look is made there.
  long NextSleepMs(long waitedMs, long pollMs) override {
    return std::min(pollMs, timeoutMs_ - waitedMs);
  }

 private:
  static constexpr int kCopyRetries = 3;
  std::ostream& err_;
  TerminalProgress& progress_;
  Sleeper& sleeper_;
  long timeoutMs_;
  int copyRetries_ = 0;
};

}  // namespace

// The wait counts milliseconds in a long, which has 32 bits on Windows: a
// little over 24 days.
constexpr long kMaxSignTimeoutSeconds = 2'147'483;

std::optional<long> ParseSignTimeoutSeconds(const std::string& text) {
  long long seconds = -1;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, seconds);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  if (seconds < 0 || seconds > kMaxSignTimeoutSeconds) return std::nullopt;
  return static_cast<long>(seconds);
}

void DefineRunOptions(CLI::App& command, RunOptions& options, bool forPublish) {
  command.add_option("--server", options.server,
                     "the distribution server (overrides PARONE_DEPLOY_SERVER)")
      ->type_name("HOST[:FTP-PORT[:HTTP-PORT]]");
  command.add_option("SELECTION", options.selection, "program files (joined with \";\")")
      ->required();
  command.add_flag("--json", options.json,
                   "one JSON object per file and line on stdout (messages stay on stderr)");
  if (!forPublish) return;
  CLI::Option* yes = command.add_flag("--yes", options.yes,
                                      "upload a build the server already has (answers that question)");
  CLI::Option* no = command.add_flag("--no", options.no, "decline every question");
  CLI::Option* allow = command.add_flag(
      "--allow-no-version", options.allowNoVersion,
      "upload a file whose version cannot be read (the server's recorded build is emptied)");
  CLI::Option* downgrade = command.add_flag(
      "--allow-downgrade", options.allowDowngrade,
      "upload a build older than the server's (answers that question)");
  no->excludes(yes)->excludes(allow)->excludes(downgrade);
  command.add_flag("--no-confirm", options.noConfirm,
                   "do not read the published files back over HTTP");
  command.add_option("--upx", options.upxPath, "the UPX program (default: the stored UpxPath)")
      ->type_name("PATH");
  CLI::Option* passive = command.add_flag("--passive", options.passive, "passive FTP");
  command.add_flag("--active", options.active, "active FTP (default: the stored PassiveMode)")
      ->excludes(passive);
  command.add_flag("--sign", options.sign, "hand the files to the code-signing service first");
  command
      .add_option("--sign-timeout", options.signTimeout,
                  "give up waiting for the signed copies after this many seconds (default 600)")
      ->type_name("SECONDS")
      ->check(CLI::Validator(
          [](std::string& text) {
            return ParseSignTimeoutSeconds(text)
                       ? std::string()
                       : "needs whole seconds from 0 to " + std::to_string(kMaxSignTimeoutSeconds);
          },
          "", "seconds"));
}

int RunPublishCommand(const RunOptions& options, CliContext& context) {
  PreparedRun prepared;
  if (!Prepare(options, context, prepared)) return kExitUsage;
  ConsoleView view(prepared.controls, context.err, context.stderrIsTerminal);
  // Questions outside the run's own (none today) are asked at a terminal or
  // declined, as the run's are without a flag.
  ConsoleMessageBoxes boxes(
      context.err, context.in,
      context.stdinIsTerminal && !options.no ? QuestionPolicy::kAskTerminal
                                             : QuestionPolicy::kAnswerNo,
      &view.progress());
  ConsoleAnswers answers;
  answers.declineAll = options.no;
  if (options.yes) answers.allowed.insert(RunQuestion::kSameBuild);
  if (options.allowNoVersion) answers.allowed.insert(RunQuestion::kUnreadableVersion);
  if (options.allowDowngrade) answers.allowed.insert(RunQuestion::kOlderBuild);
  answers.askTerminal = context.stdinIsTerminal;
  ConsoleQuestions questions(boxes, answers);
  DistributionContext run{view,           boxes,          context.files,    context.settings,
                          context.codePage, context.facts, context.launcher, prepared.config,
                          FtpTimeouts{15, context.ftpStallSeconds}, context.urlTimeouts,
                          !options.noConfirm};
  WorkflowSteps steps(run, questions);
  RealSleeper realSleeper;
  Sleeper& sleeper = context.sleeper ? *context.sleeper : static_cast<Sleeper&>(realSleeper);
  ConsoleWayOut wayOut(context.err, view.progress(), sleeper,
                       ParseSignTimeoutSeconds(options.signTimeout).value_or(0));
  DropFolderSigning signing(run, sleeper, wayOut, context.signingPollMs);
  PublishJournal journal(context.files, context.facts);
  DistributionRun distribution(view, boxes, steps, &signing, &journal);
  const RunOutcome outcome = distribution.Run();
  view.progress().Finish();
  if (options.json) {
    for (const FileReport& report : outcome.reports) {
      context.out << ReportLine(report, context.files) << "\n";
    }
    context.out << std::flush;
  }
  switch (outcome.status) {
    case RunStatus::kDeclined:
      return kExitDeclined;
    case RunStatus::kCompleted:
      // A failure outweighs a publish the web does not show yet.
      if (!outcome.AllPublished()) return kExitFailed;
      return outcome.AnyUnconfirmed() ? kExitNotConfirmed : kExitOk;
    default:
      return kExitFailed;
  }
}

int RunCheckCommand(const RunOptions& options, CliContext& context) {
  PreparedRun prepared;
  if (!Prepare(options, context, prepared)) return kExitUsage;
  ConsoleView view(prepared.controls, context.err, false);
  ConsoleMessageBoxes boxes(context.err, context.in, QuestionPolicy::kAnswerNo);
  DistributionContext run{view,           boxes,          context.files,    context.settings,
                          context.codePage, context.facts, context.launcher, prepared.config,
                          FtpTimeouts{}, context.urlTimeouts};
  const std::vector<std::string> entries = SelectedPaths(prepared.controls.selection);
  if (entries.empty()) {
    context.err << "no file in the selection\n";
    return kExitUsage;
  }
  bool wouldAsk = false;
  for (const std::string& entry : entries) {
    FileReport report{entry, LookUpServerVersion(run, entry), std::nullopt, PublishResult::kChecked};
    const ServerVersion& v = *report.check;
    wouldAsk = wouldAsk || v.Comparison() != BuildComparison::kNew;
    if (options.json) {
      context.out << ReportLine(report, context.files) << "\n";
      continue;
    }
    context.out << entry << ": local build \"" << v.localBuild << "\", server build "
                << BuildValueText(v.server) << " (";
    switch (v.Comparison()) {
      case BuildComparison::kNew:
        context.out << "new";
        break;
      case BuildComparison::kSame:
        context.out << "already on the server";
        break;
      case BuildComparison::kOlder:
        context.out << "older than the server's";
        break;
      case BuildComparison::kUnreadable:
        context.out << "the version cannot be read";
        break;
    }
    // A build of 0 that no lastver file gave says why.
    const std::string note = v.AnswerNote();
    context.out << (note.empty() ? "" : "; " + note) << ")\n";
  }
  return wouldAsk ? kExitDeclined : kExitOk;
}

}  // namespace parone
