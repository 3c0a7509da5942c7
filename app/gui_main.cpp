#include <QApplication>

#include <cstdlib>
#include <string>

#include "main_window/qt/form1.hpp"
#include "platform/code_page.hpp"
#include "platform/qt/qt_settings_store.hpp"
#include "platform/qt_widgets/qt_message_boxes.hpp"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  // The whole argument text, as one selection: the arguments joined with
  // one blank and nothing else changed.
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }

  parone::SystemConfig config = parone::SystemConfig::Defaults();
  if (const char* server = std::getenv("PARONE_DEPLOY_SERVER"); server && *server) {
    parone::ApplyServerOverride(config, server);
  }
  if (const char* signing = std::getenv("PARONE_DEPLOY_SIGNING_DIR"); signing && *signing) {
    parone::ApplySigningDirOverride(config, signing);
  }

  parone::QtMessageBoxes boxes;
  parone::QtSettingsStore settings;
  parone::NativeFileSystem files;
  parone::Cp949CodePage codePage;
  parone::RealProcessFacts facts;
  parone::NativeProcessLauncher launcher;
  parone::RealSleeper sleeper;
  parone::Form1Services services{boxes, settings, files, codePage, facts, launcher, sleeper, config};
  parone::Form1 form(services);
  boxes.setParent(&form);
  form.Load(commandLine);
  if (!commandLine.empty() && !form.isVisible()) return 0;  // closed after sending
  form.show();
  return app.exec();
}
