#include <CLI/CLI.hpp>

#include <charconv>
#include <ostream>

#include "cli/commands.hpp"
#include "cli/console_events.hpp"
#include "common/numeric_text.hpp"
#include "common/tick_state.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/distribution_run.hpp"
#include "distribution/ftp_account.hpp"

namespace parone {
namespace {

// The arguments joined with ";" (as the window joins dropped files), every
// relative entry made absolute against the current folder: the run hands
// the paths to programs started in the tool's own folder (UPX) and names
// files by what follows the last separator.
std::vector<std::string> AbsoluteEntries(FileSystem& files,
                                         const std::vector<std::string>& arguments) {
  std::string joined;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i) joined += ';';
    joined += arguments[i];
  }
  std::vector<std::string> entries;
  for (const std::string& entry : SelectedPaths(joined)) entries.push_back(files.AbsolutePath(entry));
  return entries;
}

// The request the options make, or nullopt after printing why they cannot
// be used (exit status 2). Only a publish needs the account.
std::optional<PublishRequest> MakeRequest(const RunOptions& options, CliContext& context,
                                          bool forPublish) {
  std::optional<SystemConfig> config = CommandConfig(options.server, context);
  if (!config) return std::nullopt;
  PublishRequest request;
  request.config = std::move(*config);
  SettingsStore& settings = context.services.settings;
  request.entries = AbsoluteEntries(context.services.files, options.selection);
  // Like the window: the stored settings unless an option says otherwise.
  // Most build machines have no signing share, so signing is asked for.
  request.sign = options.sign;
  request.upxPath = options.upxPath.value_or(
      settings.GetSetting(kAppTitle, "Config", "UpxPath", request.config.defaultUpxPath));
  request.passive = options.passive  ? true
                    : options.active ? false
                                     : IsTicked(TickStateFromText(settings.GetSetting(
                                           kAppTitle, "Config", "PassiveMode", "1")));
  request.confirmOverHttp = !options.noConfirm;
  request.ftpTimeouts = FtpTimeouts{15, context.ftpStallSeconds};
  request.urlTimeouts = context.urlTimeouts;
  // Build machines have nobody to ask: a failing copy is tried a few times
  // and the wait for signed files ends after the given time, both giving up
  // the run before anything is uploaded.
  request.signing.pollMs = context.signingPollMs;
  request.signing.askEveryMs = 0;
  request.signing.timeoutMs = ParseSignTimeoutSeconds(options.signTimeout).value_or(0) * 1000L;
  request.signing.copyRetries = 3;
  auto preset = [&](QuestionKind kind, bool yes, const std::string& reason) {
    request.answers[kind] = PresetAnswer{yes, reason};
  };
  if (options.no) {
    for (QuestionKind kind : {QuestionKind::kSameBuild, QuestionKind::kUnreadableVersion,
                              QuestionKind::kOlderBuild, QuestionKind::kUnknownServer}) {
      preset(kind, false, "--no");
    }
  }
  if (options.yes) preset(QuestionKind::kSameBuild, true, "--yes");
  if (options.allowNoVersion) preset(QuestionKind::kUnreadableVersion, true, "--allow-no-version");
  if (options.allowDowngrade) preset(QuestionKind::kOlderBuild, true, "--allow-downgrade");
  if (options.allowUnknownServer) {
    preset(QuestionKind::kUnknownServer, true, "--allow-unknown-server");
  }
  // An empty selection ends before any connection; it needs no password.
  if (forPublish && !request.entries.empty() &&
      !PrepareAccount(context, request, options.requireTls, options.noTls)) {
    return std::nullopt;
  }
  return request;
}

}  // namespace

std::optional<SystemConfig> CommandConfig(const std::optional<std::string>& server,
                                          CliContext& context) {
  const Environment environment =
      context.environment ? context.environment
                          : Environment([](const char*) { return std::optional<std::string>(); });
  auto loaded = LoadSystemConfig(environment);
  if (!loaded) {
    context.err << loaded.error().message << "\n";
    return std::nullopt;
  }
  if (server && !ApplyServerOverride(*loaded, *server)) {
    context.err << "bad server \"" << *server << "\" (HOST[:FTP-PORT[:HTTP-PORT]])\n";
    return std::nullopt;
  }
  return std::move(*loaded);
}

bool PrepareAccount(CliContext& context, PublishRequest& request, bool requireTls, bool noTls) {
  const Environment environment =
      context.environment ? context.environment
                          : Environment([](const char*) { return std::optional<std::string>(); });
  auto tls = ReadFtpTls(context.services.settings, environment, request.config);
  if (!tls) {
    context.err << tls.error().message << "\n";
    return false;
  }
  request.ftpTls = *tls;
  if (requireTls) request.ftpTls.mode = FtpTlsMode::kRequire;
  if (noTls) request.ftpTls.mode = FtpTlsMode::kOff;

  FoundPassword found =
      FindFtpPassword(request.config, environment, context.credentials, context.services.files);
  const std::string account = request.config.ftpUser + "@" + request.config.ftpHost;
  if (!found.storeRefusal.empty()) {
    context.err << "the password store cannot be used: " << found.storeRefusal
                << "\nnothing was sent\n";
    return false;
  }
  if (!found.found() && context.stdinIsTerminal && context.readUnechoed) {
    context.err << "FTP password for " << account << " (not shown): " << std::flush;
    if (auto typed = context.readUnechoed(); typed && !typed->empty()) {
      found.source = PasswordSource::kEntered;
      found.password = std::move(*typed);
    }
  }
  if (!found.found()) {
    context.err << "no FTP password for " << account << ": set " << kPasswordVariable
                << ", keep one with \"parone-deploy-cli login\", or give the host an entry in "
                   "a netrc file; nothing was sent\n";
    return false;
  }
  UsePassword(request, found);
  return true;
}

const char* FlagAnswering(QuestionKind kind) {
  switch (kind) {
    case QuestionKind::kSameBuild:
      return "--yes";
    case QuestionKind::kUnreadableVersion:
      return "--allow-no-version";
    case QuestionKind::kOlderBuild:
      return "--allow-downgrade";
    case QuestionKind::kUnknownServer:
      return "--allow-unknown-server";
    case QuestionKind::kRollback:
      return "--yes";  // of the rollback command
    case QuestionKind::kRetryCopy:
    case QuestionKind::kKeepWaiting:
      break;
  }
  return "";
}

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
  CLI::Option* unknown = command.add_flag(
      "--allow-unknown-server", options.allowUnknownServer,
      "upload although the server's build cannot be read (answers that question; --yes does not)");
  no->excludes(yes)->excludes(allow)->excludes(downgrade)->excludes(unknown);
  command.add_flag("--no-confirm", options.noConfirm,
                   "do not read the published files back over HTTP");
  command.add_option("--upx", options.upxPath, "the UPX program (default: the stored UpxPath)")
      ->type_name("PATH");
  CLI::Option* passive = command.add_flag("--passive", options.passive, "passive FTP");
  command.add_flag("--active", options.active, "active FTP (default: the stored PassiveMode)")
      ->excludes(passive);
  CLI::Option* requireTls = command.add_flag(
      "--require-tls", options.requireTls,
      "FTP over TLS or not at all: a server without TLS is refused before the login");
  command.add_flag("--no-tls", options.noTls, "plain FTP, as the old tool spoke")->excludes(requireTls);
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
  const std::optional<PublishRequest> request = MakeRequest(options, context, true);
  if (!request) return kExitUsage;
  ConsoleEvents events(context.err, context.in, context.stdinIsTerminal && !options.no,
                       context.stderrIsTerminal);
  PublishJournal journal(context.services.files, context.services.facts);
  DistributionRun distribution(context.services, events, &journal);
  const RunOutcome outcome = distribution.Run(*request);
  events.progress().Finish();
  if (options.json) {
    for (const FileReport& report : outcome.reports) {
      context.out << ReportLine(report, context.services.files) << "\n";
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
  const std::optional<PublishRequest> request = MakeRequest(options, context, false);
  if (!request) return kExitUsage;
  if (request->entries.empty()) {
    context.err << "no file in the selection\n";
    return kExitUsage;
  }
  ConsoleEvents events(context.err, context.in, false, false);
  const RunContext run{*request, context.services, events};
  bool wouldAsk = false;
  bool unknown = false;
  for (const std::string& entry : request->entries) {
    FileReport report{entry, LookUpServerVersion(run, entry), std::nullopt, PublishResult::kChecked};
    const ServerVersion& v = *report.check;
    wouldAsk = wouldAsk || v.Comparison() != BuildComparison::kNew;
    unknown = unknown || v.record.kind == RecordKind::kUnknown;
    if (v.record.kind == RecordKind::kUnknown) report.error = v.record.reason;
    if (options.json) {
      context.out << ReportLine(report, context.services.files) << "\n";
      continue;
    }
    const std::string serverBuild = v.record.kind == RecordKind::kBuild     ? BuildValueText(v.server)
                                    : v.record.kind == RecordKind::kNoRecord ? "none"
                                                                              : "unknown";
    context.out << entry << ": local build \"" << v.localBuild << "\", server build " << serverBuild
                << " (";
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
      case BuildComparison::kUnknown:
        context.out << "the server's build cannot be read";
        break;
    }
    // A build of 0 that no lastver file gave says why.
    const std::string note = v.AnswerNote();
    context.out << (note.empty() ? "" : "; " + note) << ")\n";
  }
  // Not knowing outweighs knowing there is a question to ask: a build
  // script gating on check must not read a dead web side as a pass.
  if (unknown) return kExitUnknownServer;
  return wouldAsk ? kExitDeclined : kExitOk;
}

}  // namespace parone
