#include <algorithm>
#include <charconv>
#include <ostream>

#include "cli/cli.hpp"
#include "cli/console_view.hpp"
#include "common/numeric_text.hpp"
#include "common/tick_state.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/code_signing.hpp"
#include "distribution/distribution_run.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {
namespace {

constexpr const char* kPublishUsage =
    "usage: parone-deploy-cli publish [--yes|--no] [--upx PATH] [--passive|--active]\n"
    "                                 [--sign [--sign-timeout SECONDS]]\n"
    "                                 [--server HOST[:FTP-PORT[:HTTP-PORT]]] SELECTION...\n"
    "       parone-deploy-cli check [--server HOST[:FTP-PORT[:HTTP-PORT]]] SELECTION...\n";

struct RunOptions {
  std::optional<std::string> server;
  std::optional<int> passive;
  std::optional<std::string> upxPath;
  std::optional<QuestionPolicy> answer;
  bool sign = false;
  long signTimeoutSeconds = 600;
  std::string selection;  // the arguments joined with ";"
};

// The wait counts milliseconds in a long, which has 32 bits on Windows: a
// little over 24 days.
constexpr long kMaxSignTimeoutSeconds = 2'147'483;

// The value of --sign-timeout: whole seconds from 0 to the limit above;
// nullopt for anything else (signs, fractions, blanks, too many digits).
std::optional<long> SignTimeoutSeconds(std::string_view text) {
  long long seconds = -1;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, seconds);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  if (seconds < 0 || seconds > kMaxSignTimeoutSeconds) return std::nullopt;
  return static_cast<long>(seconds);
}

// Parses the options the run and the check share; false after printing a
// usage error.
bool ParseRunOptions(const std::vector<std::string>& args, bool forPublish, RunOptions& options,
                     std::ostream& err) {
  std::vector<std::string> entries;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    auto value = [&](const char* what) -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        err << arg << " needs " << what << "\n";
        return std::nullopt;
      }
      return args[++i];
    };
    if (!isOption) {
      entries.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--server") {
      options.server = value("HOST[:FTP-PORT[:HTTP-PORT]]");
      if (!options.server) return false;
    } else if (forPublish && arg == "--passive") {
      options.passive = kTicked;
    } else if (forPublish && arg == "--active") {
      options.passive = kUnticked;
    } else if (forPublish && arg == "--yes") {
      options.answer = QuestionPolicy::kAnswerYes;
    } else if (forPublish && arg == "--no") {
      options.answer = QuestionPolicy::kAnswerNo;
    } else if (forPublish && arg == "--sign") {
      options.sign = true;
    } else if (forPublish && arg == "--sign-timeout") {
      const auto text = value("SECONDS");
      if (!text) return false;
      const std::optional<long> seconds = SignTimeoutSeconds(*text);
      if (!seconds) {
        err << "--sign-timeout needs whole seconds from 0 to " << kMaxSignTimeoutSeconds << "\n";
        return false;
      }
      options.signTimeoutSeconds = *seconds;
    } else if (forPublish && arg == "--upx") {
      options.upxPath = value("PATH");
      if (!options.upxPath) return false;
    } else {
      err << "unknown option " << arg << "\n" << kPublishUsage;
      return false;
    }
  }
  if (entries.empty()) {
    err << kPublishUsage;
    return false;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i) options.selection += ';';
    options.selection += entries[i];
  }
  return true;
}

struct PreparedRun {
  SystemConfig config;
  ConsoleControls controls;
};

bool Prepare(const RunOptions& options, CliContext& context, PreparedRun& prepared) {
  prepared.config = context.config;
  std::optional<std::string> server = options.server ? options.server : context.serverEnv;
  if (server && !ApplyServerOverride(prepared.config, *server)) {
    context.err << "bad server \"" << *server << "\" (HOST[:FTP-PORT[:HTTP-PORT]])\n";
    return false;
  }
  // Like the window: the stored settings unless an option says otherwise.
  prepared.controls.selection = options.selection;
  // Most build machines have no signing share, so signing is asked for.
  prepared.controls.codeSigning = options.sign ? kTicked : kUnticked;
  prepared.controls.upxPath = options.upxPath.value_or(context.settings.GetSetting(
      kAppTitle, "Config", "UpxPath", prepared.config.defaultUpxPath));
  prepared.controls.passive = options.passive.value_or(
      TickStateFromText(context.settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));
  return true;
}

// Build machines have nobody to ask: a failing copy is tried a few times and
// the wait for signed files ends after the given time, both giving up the
// run before anything is uploaded.
class ConsoleWayOut final : public SigningWayOut {
 public:
  ConsoleWayOut(std::ostream& err, Sleeper& sleeper, long timeoutSeconds)
      : err_(err), sleeper_(sleeper), timeoutMs_(timeoutSeconds * 1000) {}
  bool RetryCopy(const std::string& from, const std::string& to) override {
    if (++copyRetries_ > kCopyRetries) {
      err_ << "copying " << from << " to " << to << " keeps failing; giving up\n";
      return false;
    }
    sleeper_.SleepMs(1000);
    return true;
  }
  bool KeepWaiting(long waitedMs) override {
    if (waitedMs < timeoutMs_) return true;
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
  Sleeper& sleeper_;
  long timeoutMs_;
  int copyRetries_ = 0;
};

}  // namespace

int RunPublishCommand(const std::vector<std::string>& args, CliContext& context) {
  RunOptions options;
  PreparedRun prepared;
  if (!ParseRunOptions(args, true, options, context.err) || !Prepare(options, context, prepared)) {
    return kExitUsage;
  }
  // Without --yes/--no a terminal is asked; otherwise the question's default
  // button, No, answers.
  const QuestionPolicy policy = options.answer.value_or(
      context.stdinIsTerminal ? QuestionPolicy::kAskTerminal : QuestionPolicy::kAnswerNo);
  ConsoleMessageBoxes boxes(context.err, context.in, policy);
  ConsoleView view(prepared.controls, context.err, context.stderrIsTerminal);
  DistributionContext run{view,           boxes,          context.files,    context.settings,
                          context.codePage, context.facts, context.launcher, prepared.config,
                          FtpTimeouts{15, context.ftpStallSeconds}, context.urlTimeouts};
  WorkflowSteps steps(run);
  RealSleeper realSleeper;
  Sleeper& sleeper = context.sleeper ? *context.sleeper : static_cast<Sleeper&>(realSleeper);
  ConsoleWayOut wayOut(context.err, sleeper, options.signTimeoutSeconds);
  DropFolderSigning signing(run, sleeper, wayOut, context.signingPollMs);
  DistributionRun distribution(view, boxes, steps, &signing);
  const RunOutcome outcome = distribution.Run();
  view.progress().Finish();
  switch (outcome.status) {
    case RunStatus::kDeclined:
      return kExitDeclined;
    case RunStatus::kCompleted:
      return outcome.AllPublished() ? kExitOk : kExitFailed;
    default:
      return kExitFailed;
  }
}

int RunCheckCommand(const std::vector<std::string>& args, CliContext& context) {
  RunOptions options;
  PreparedRun prepared;
  if (!ParseRunOptions(args, false, options, context.err) || !Prepare(options, context, prepared)) {
    return kExitUsage;
  }
  ConsoleMessageBoxes boxes(context.err, context.in, QuestionPolicy::kAnswerNo);
  ConsoleView view(prepared.controls, context.err, false);
  DistributionContext run{view,           boxes,          context.files,    context.settings,
                          context.codePage, context.facts, context.launcher, prepared.config,
                          FtpTimeouts{}, context.urlTimeouts};
  int status = kExitOk;
  for (const std::string& entry : SplitSelection(options.selection)) {
    const ServerVersion v = LookUpServerVersion(run, entry);
    context.out << entry << ": local build \"" << v.localBuild << "\", server build "
                << v.server << (v.Same() ? " (already on the server)" : " (new)") << "\n";
    if (v.Same()) status = kExitDeclined;
  }
  return status;
}

}  // namespace parone
