#include <QApplication>

#include <cstdlib>
#include <memory>
#include <string>

#include "main_window/qt/form1.hpp"
#include "platform/code_page.hpp"
#include "platform/credential_store.hpp"
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

  parone::QtMessageBoxes boxes;
  const parone::Environment environment = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
  };
  const std::optional<parone::SystemConfig> config = parone::LoadWindowConfig(environment, boxes);
  if (!config) return 2;

  parone::QtSettingsStore settings;
  parone::NativeFileSystem files;
  parone::Cp949CodePage codePage;
  parone::RealProcessFacts facts;
  parone::NativeProcessLauncher launcher;
  parone::RealSleeper sleeper;
  const std::unique_ptr<parone::CredentialStore> credentials =
      parone::MakeNativeCredentialStore(facts);
  parone::Form1Services services{
      boxes, {files, settings, codePage, facts, launcher, sleeper}, *config};
  services.credentials = credentials.get();
  services.environment = environment;
  parone::Form1 form(services);
  boxes.setParent(&form);
  form.Load(commandLine);  // a command line starts a run, which goes on in the event loop
  form.show();
  return app.exec();
}
