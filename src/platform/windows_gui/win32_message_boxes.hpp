#pragma once
// Modal message boxes with MessageBoxW. The style numbers the tool uses are
// the platform's own flags (0 MB_OK, 48 MB_OK | MB_ICONEXCLAMATION, 292
// MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), passed through as they are,
// and the answer is the platform's button number (IDOK 1, IDYES 6, IDNO 7).
//
// Show blocks in the box's own message loop, which keeps dispatching the
// owner's messages (it repaints; its input is disabled while the box is up).
// Call from the GUI thread only. A box whose owner is gone shows without an
// owner; a box the system cannot show answers with its default button.

#include "platform/message_box.hpp"
#include "platform/windows/win32.hpp"

namespace parone {

class Win32MessageBoxes final : public MessageBoxes {
 public:
  explicit Win32MessageBoxes(HWND owner = nullptr) : owner_(owner) {}
  void setOwner(HWND owner) { owner_ = owner; }
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override;

 private:
  HWND owner_;
};

}  // namespace parone
