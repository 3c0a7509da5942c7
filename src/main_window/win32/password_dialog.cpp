// Win32 implementation of the dialog declared in main_window/win32/password_dialog.hpp.
#include "main_window/win32/password_dialog.hpp"

#include <commctrl.h>

#include <vector>

#include "main_window/combo_sizing.hpp"
#include "main_window/password_dialog.hpp"

namespace parone {
namespace {

using D = PasswordDialogControl;
using win32::Wide;

constexpr int kFirstControlId = 100;

int ControlId(D control) {
  switch (control) {
    case D::cmdOk:
      return IDOK;
    case D::cmdCancel:
      return IDCANCEL;
    default:
      return kFirstControlId + static_cast<int>(control);
  }
}

// A dialog with no controls of its own: they are made from the table when
// it starts, in pixels rather than dialog units.
struct alignas(DWORD) EmptyTemplate {
  DLGTEMPLATE header;
  WORD menu = 0;
  WORD windowClass = 0;
  WORD title = 0;
};

struct DialogState {
  HFONT font;
  double twipsPerPixel;
  std::wstring prompt;
  std::optional<EnteredPassword> answer;
};

HWND Item(HWND dialog, D control) { return ::GetDlgItem(dialog, ControlId(control)); }

void CreateItems(HWND dialog, const DialogState& state) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // In the table's order, which is the focus order the dialog manager's Tab
  // follows.
  for (const PasswordDialogItem& item : kPasswordDialogLayout) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    const wchar_t* windowClass = WC_BUTTONW;
    std::wstring caption = Wide(item.caption);
    switch (item.id) {
      case D::lblPrompt:
        windowClass = WC_STATICW;
        style |= SS_LEFT | SS_NOPREFIX;
        caption = state.prompt;
        break;
      case D::txtPassword:
        windowClass = WC_EDITW;
        style |= ES_PASSWORD | ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case D::chkSave:
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case D::cmdOk:
        style |= BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED;
        break;
      case D::cmdCancel:
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
    }
    const double tpp = state.twipsPerPixel;
    const HWND control = ::CreateWindowExW(
        exStyle, windowClass, caption.c_str(), style, TwipsToPixels(item.left, tpp),
        TwipsToPixels(item.top, tpp), TwipsToPixels(item.width, tpp), TwipsToPixels(item.height, tpp),
        dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(item.id))), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
  }
}

// Sized for the table's client area and centred over the owner.
void Place(HWND dialog, const DialogState& state) {
  RECT r{0, 0, TwipsToPixels(kPasswordDialogWidthTwips, state.twipsPerPixel),
         TwipsToPixels(kPasswordDialogHeightTwips, state.twipsPerPixel)};
  ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  RECT around{};
  const HWND owner = ::GetWindow(dialog, GW_OWNER);
  if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &around)) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    around = monitor.rcWork;
  }
  ::SetWindowPos(dialog, nullptr, around.left + (around.right - around.left - width) / 2,
                 around.top + (around.bottom - around.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The field's text, wiped from the control and from the buffer it passed
// through.
std::string TakePassword(HWND field) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(::GetWindowTextLengthW(field)) + 1, L'\0');
  const int n = ::GetWindowTextW(field, buffer.data(), static_cast<int>(buffer.size()));
  std::string password = win32::Narrow(std::wstring_view(buffer.data(), n > 0 ? n : 0));
  ::SecureZeroMemory(buffer.data(), buffer.size() * sizeof(wchar_t));
  ::SetWindowTextW(field, L"");
  return password;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      state = reinterpret_cast<DialogState*>(lParam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      ::SetWindowTextW(dialog, Wide(kPasswordDialogCaption).c_str());
      ::SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(state->font), FALSE);
      CreateItems(dialog, *state);
      Place(dialog, *state);
      ::SetFocus(Item(dialog, D::txtPassword));
      return FALSE;  // the focus is set
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == ControlId(D::txtPassword) && HIWORD(wParam) == EN_CHANGE) {
        ::EnableWindow(Item(dialog, D::cmdOk),
                       ::GetWindowTextLengthW(Item(dialog, D::txtPassword)) > 0);
        return TRUE;
      }
      if (id == IDOK) {
        // Enter reaches here also while OK is disabled.
        if (!::IsWindowEnabled(Item(dialog, D::cmdOk))) return TRUE;
        const bool keep = ::SendMessageW(Item(dialog, D::chkSave), BM_GETCHECK, 0, 0) == BST_CHECKED;
        state->answer = EnteredPassword{TakePassword(Item(dialog, D::txtPassword)), keep};
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (id == IDCANCEL) {
        TakePassword(Item(dialog, D::txtPassword));
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

std::optional<EnteredPassword> AskPasswordModal(HWND owner, HFONT font, double twipsPerPixel,
                                                const std::string& prompt) {
  EmptyTemplate dialogTemplate{};
  dialogTemplate.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  DialogState state{font, twipsPerPixel, Wide(prompt), std::nullopt};
  const INT_PTR result =
      ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), &dialogTemplate.header, owner,
                                &DialogProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK || !state.answer || state.answer->password.empty()) return std::nullopt;
  return std::move(state.answer);
}

}  // namespace parone
