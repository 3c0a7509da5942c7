#include <ostream>

#include "cli/cli.hpp"
#include "cli/console_view.hpp"
#include "common/numeric_text.hpp"
#include "common/tick_state.hpp"
#include "distribution/proc_upload.hpp"
#include "platform/console/console_message_boxes.hpp"

namespace parone {
namespace {

constexpr const char* kPublishUsage =
    "usage: parone-deploy-cli publish [--server HOST[:FTP-PORT[:HTTP-PORT]]] "
    "[--passive|--active] FILE\n";

}  // namespace

int RunPublishCommand(const std::vector<std::string>& args, CliContext& context) {
  std::optional<std::string> server = context.serverEnv;
  std::optional<int> passive;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--server") {
      if (i + 1 >= args.size()) {
        context.err << "publish: --server needs HOST[:FTP-PORT[:HTTP-PORT]]\n" << kPublishUsage;
        return kExitUsage;
      }
      server = args[++i];
    } else if (arg == "--passive") {
      passive = kTicked;
    } else if (arg == "--active") {
      passive = kUnticked;
    } else if (arg.size() > 1 && arg[0] == '-') {
      context.err << "publish: unknown option " << arg << "\n" << kPublishUsage;
      return kExitUsage;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() != 1) {
    context.err << kPublishUsage;
    return kExitUsage;
  }
  SystemConfig config = context.config;
  if (server && !ApplyServerOverride(config, *server)) {
    context.err << "publish: bad server \"" << *server << "\" (HOST[:FTP-PORT[:HTTP-PORT]])\n";
    return kExitUsage;
  }

  // Like the window: the stored settings unless an option says otherwise.
  const std::string upxPath =
      context.settings.GetSetting(kAppTitle, "Config", "UpxPath", config.defaultUpxPath);
  const int passiveTick = passive.value_or(
      TickStateFromText(context.settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));

  ConsoleMessageBoxes boxes(context.err, context.in, QuestionPolicy::kAnswerNo);
  ConsoleView view(upxPath, passiveTick, context.err, context.stderrIsTerminal);
  DistributionContext run{view,           boxes,         context.files,
                          context.settings, context.codePage, context.facts,
                          config,         FtpTimeouts{15, context.ftpStallSeconds}};
  const UploadOutcome outcome = ProcUpload(run, paths.front());
  view.progress().Finish();
  return outcome.published ? kExitOk : kExitFailed;
}

}  // namespace parone
