#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/commands.hpp"
#include "cli/console_events.hpp"
#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/tick_state.hpp"
#include "distribution/check_server_version.hpp"
#include "distribution/error_json.hpp"
#include "distribution/rollback.hpp"

namespace parone {
namespace {

using Json = nlohmann::ordered_json;

// --to's value: whole decimal digits, as the history folder names builds.
std::optional<double> ParseBuild(const std::string& text) {
  if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  double build = 0;
  for (char c : text) build = build * 10 + (c - '0');
  return build;
}

Json ListingJson(const HistoryListing& l) {
  Json live;
  live["build"] = l.live.kind == RecordKind::kBuild ? BuildJson(l.live.build) : Json(nullptr);
  live["size"] = l.liveSize ? Json(*l.liveSize) : Json(nullptr);
  live["path"] = l.livePath;
  Json kept = Json::array();
  for (const KeptBuild& k : l.kept) {
    Json entry;
    entry["build"] = BuildJson(k.build);
    entry["size"] = k.size;
    entry["path"] = k.path;
    kept.push_back(std::move(entry));
  }
  Json out;
  out["file"] = l.fileName;
  out["live"] = std::move(live);
  out["kept"] = std::move(kept);
  return out;
}

void PrintListing(std::ostream& out, const HistoryListing& l) {
  out << "live: ";
  switch (l.live.kind) {
    case RecordKind::kBuild:
      out << "build " << BuildValueText(l.live.build);
      break;
    case RecordKind::kNoRecord:
      out << "no lastver file";
      break;
    case RecordKind::kUnknown:
      out << "build unknown (" << l.live.ReasonText() << ")";
      break;
  }
  out << ", " << (l.liveSize ? std::to_string(*l.liveSize) + " bytes" : std::string("no file")) << " ("
      << l.livePath << ")\n";
  if (l.kept.empty()) out << "kept: none (" << l.historyFolder << ")\n";
  for (const KeptBuild& k : l.kept) {
    out << "kept: build " << BuildValueText(k.build) << ", " << k.size << " bytes (" << k.path << ")\n";
  }
}

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

void DefineRollbackOptions(CLI::App& command, RollbackOptions& options) {
  command.add_option("NAME", options.name, "the published file name (a path gives its file name)")
      ->required();
  CLI::Option* to =
      command
          .add_option("--to", options.to,
                      "the kept build to make live (default: the highest kept build below the live one)")
          ->type_name("BUILD")
          ->check(CLI::Validator(
              [](std::string& text) { return ParseBuild(text) ? std::string() : "needs a build number"; },
              "", "build"));
  CLI::Option* yes = command.add_flag("--yes", options.yes, "make it live without asking");
  command.add_flag("--list", options.list, "only list what is live and what is kept")
      ->excludes(to)
      ->excludes(yes);
  command.add_flag("--json", options.json, "one JSON object on stdout (messages stay on stderr)");
  command.add_option("--server", options.server,
                     "the distribution server (overrides PARONE_DEPLOY_SERVER)")
      ->type_name("HOST[:FTP-PORT[:HTTP-PORT]]");
}

int RunRollbackCommand(const RollbackOptions& options, CliContext& context) {
  std::optional<SystemConfig> config = CommandConfig(options.server, context);
  if (!config) return kExitUsage;
  PublishRequest request;
  request.config = std::move(*config);
  // Like publish: the stored Passive Mode, the command line's time-outs.
  request.passive = IsTicked(TickStateFromText(
      context.services.settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));
  request.ftpTimeouts = FtpTimeouts{15, context.ftpStallSeconds};
  request.urlTimeouts = context.urlTimeouts;
  if (options.yes) request.answers[QuestionKind::kRollback] = PresetAnswer{true, "--yes"};
  // Listing logs in as much as the rollback does.
  if (!PrepareAccount(context, request, false, false)) return kExitUsage;
  ConsoleEvents events(context.err, context.in, context.stdinIsTerminal, context.stderrIsTerminal);
  const RunContext run{request, context.services, events};
  const std::string name = FileNameOf(options.name);

  if (options.list) {
    const auto listing = ListKeptBuilds(run, name);
    if (!listing) events.Show(ListingFailureMessage(listing.error(), name));
    if (options.json) {
      Json out = listing ? ListingJson(*listing) : Json{{"file", name}, {"live", nullptr}, {"kept", Json::array()}};
      out["error"] = listing ? Json(nullptr) : ErrorJson(listing.error());
      context.out << Dump(out) << "\n" << std::flush;
    } else if (listing) {
      PrintListing(context.out, *listing);
    }
    return listing ? kExitOk : kExitFailed;
  }

  PublishJournal journal(context.services.files, context.services.facts);
  const RollbackReport report =
      RunRollback(run, name, options.to ? ParseBuild(*options.to) : std::nullopt, &journal);
  if (options.json) {
    Json out = report.listing ? ListingJson(*report.listing)
                              : Json{{"file", name}, {"live", nullptr}, {"kept", Json::array()}};
    const bool fromKnown = report.listing && report.listing->live.kind == RecordKind::kBuild;
    out["from"] = fromKnown ? BuildJson(report.listing->live.build) : Json(nullptr);
    out["to"] = report.target ? BuildJson(report.target->build) : Json(nullptr);
    out["result"] = RollbackResultName(report.result);
    out["confirmed"] = report.web ? Json(report.web->Confirmed()) : Json(nullptr);
    // As in the journal: the hashes of a pair that went live.
    const bool live = report.result == RollbackResult::kRolledBack ||
                      report.result == RollbackResult::kNotConfirmed;
    out["sha256"] = live && !report.sha256.empty() ? Json(report.sha256) : Json(nullptr);
    out["replaced_sha256"] =
        live && !report.replacedSha256.empty() ? Json(report.replacedSha256) : Json(nullptr);
    out["seconds"] = report.seconds;
    out["error"] = ErrorJson(report.error);
    context.out << Dump(out) << "\n" << std::flush;
  }
  switch (report.result) {
    case RollbackResult::kRolledBack:
      return kExitOk;
    case RollbackResult::kNotConfirmed:
      return kExitNotConfirmed;
    case RollbackResult::kDeclined:
      return kExitDeclined;
    case RollbackResult::kFailed:
    case RollbackResult::kRaced:
      break;
  }
  return kExitFailed;
}

}  // namespace parone
