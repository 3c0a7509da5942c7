#pragma once
// The password dialog of main_window/password_dialog.hpp on Win32: a
// modal dialog made from an in-memory template, its controls at the
// places of the table in the owner's font and at its DPI. Enter is OK
// (disabled while the field is empty), Esc is Cancel.

#include <optional>
#include <string>

#include "main_window/form1_controls.hpp"
#include "platform/windows/win32.hpp"

namespace parone {

// Shows the dialog over `owner` and runs its message loop until it is
// answered: the password and the "저장" tick, nullopt when cancelled or
// closed. The typed text is wiped from the control and the buffers used.
std::optional<EnteredPassword> AskPasswordModal(HWND owner, HFONT font, double twipsPerPixel,
                                                const std::string& prompt);

}  // namespace parone
