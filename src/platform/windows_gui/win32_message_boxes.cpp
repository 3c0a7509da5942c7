// Win32 implementation of the MessageBoxes interface defined in platform/message_box.hpp.
#include "platform/windows_gui/win32_message_boxes.hpp"

namespace parone {

static_assert(kStyleOkOnly == MB_OK);
static_assert(kStyleWarning == (MB_OK | MB_ICONEXCLAMATION));
static_assert(kStyleQuestionYesNo == (MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
static_assert(kAnswerOk == IDOK && kAnswerYes == IDYES && kAnswerNo == IDNO);

namespace {

// The button a box of `style` has focused when it opens.
int DefaultAnswer(int style) {
  const UINT buttons = static_cast<UINT>(style) & MB_TYPEMASK;
  const bool second = (static_cast<UINT>(style) & MB_DEFMASK) == MB_DEFBUTTON2;
  switch (buttons) {
    case MB_YESNO:
      return second ? IDNO : IDYES;
    case MB_YESNOCANCEL:
      return second ? IDNO : IDYES;
    case MB_OKCANCEL:
      return second ? IDCANCEL : IDOK;
    default:
      return IDOK;
  }
}

}  // namespace

int Win32MessageBoxes::Show(std::string_view text, int style, std::string_view caption) {
  // The window may have been closed while a run still reports.
  HWND owner = owner_ && ::IsWindow(owner_) ? owner_ : nullptr;
  const int answer = ::MessageBoxW(owner, win32::Wide(text).c_str(), win32::Wide(caption).c_str(),
                                   static_cast<UINT>(style));
  return answer != 0 ? answer : DefaultAnswer(style);
}

}  // namespace parone
