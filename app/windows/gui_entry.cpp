// The window's entry point on Windows: the common controls, COM for the file
// dialog and the shell, the arguments as one selection, settings in the
// registry where the old tool keeps them, and the message loop.
#include "platform/windows/win32.hpp"

#include <commctrl.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "main_window/win32/form1.hpp"
#include "platform/code_page.hpp"
#include "platform/credential_store.hpp"
#include "platform/windows/registry_settings_store.hpp"
#include "platform/windows_gui/win32_message_boxes.hpp"
#include "windows/process_text.hpp"

namespace {

// The whole argument text as one selection: the arguments joined with one
// blank, so that a path with blanks that Explorer passes in quotes arrives
// whole.
std::string CommandLineText() {
  std::string text;
  for (const std::string& argument : parone::Arguments()) {
    if (!text.empty()) text += ' ';
    text += argument;
  }
  return text;
}

class ComApartment {
 public:
  ComApartment()
      : initialised_(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComApartment() {
    if (initialised_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  // The file dialog, the shell's extensions and the taskbar button want a
  // single-threaded apartment.
  const ComApartment com;

  parone::Win32MessageBoxes boxes;
  const std::optional<parone::SystemConfig> config =
      parone::LoadWindowConfig(parone::EnvironmentVariable, boxes);
  if (!config) return 2;

  parone::RegistrySettingsStore settings;
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
  services.environment = parone::EnvironmentVariable;
  parone::Form1 form(services);
  if (!form.hwnd()) return 1;
  boxes.setOwner(form.hwnd());
  form.Load(CommandLineText());
  // Shown already by a command-line start, and gone if that closed it.
  if (form.hwnd() && !form.IsFormVisible()) form.ShowForm();
  return form.RunMessageLoop();
}
