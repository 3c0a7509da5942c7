// Win32 implementation of the interface defined in main_window/form1_controls.hpp.
#include "main_window/win32/form1.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <vector>

#include "common/tick_state.hpp"
#include "main_window/win32/password_dialog.hpp"

namespace parone {
namespace {

using C = Form1Control;
using win32::Narrow;
using win32::Wide;

constexpr wchar_t kClassName[] = L"ParoneDeployForm1";
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int kFirstControlId = 100;
// Posted by the run's thread: the run has something for the window.
constexpr UINT kRunWakeMessage = WM_APP + 1;
constexpr UINT_PTR kSelectionSubclass = 1;
// The buffer for the chosen file's name, in characters: the dialog's one
// numeric setting besides its texts.
constexpr DWORD kFileNameChars = 10240;

enum class Kind { Label, EditableCombo, SortedList, Button, CheckBox, Edit, Progress };

Kind KindOf(Form1Control control) {
  switch (control) {
    case C::Label1:
    case C::lblVer:
    case C::Label2:
    case C::lblWaiting:
      return Kind::Label;
    case C::cmbLocalFullPath:
      return Kind::EditableCombo;
    case C::cmbLocalFileOnly:
      return Kind::SortedList;
    case C::cmdFindFile:
    case C::cmdDistribute:
    case C::cmdClose:
      return Kind::Button;
    case C::chkSuccUnload:
    case C::ChkPassive:
    case C::chkCodeSigning:
      return Kind::CheckBox;
    case C::Text1:
      return Kind::Edit;
    case C::ProgressBar1:
      return Kind::Progress;
  }
  return Kind::Label;
}

// The dialog keyboard handling presses IDOK for Enter and IDCANCEL for Esc.
int ControlId(Form1Control control) {
  switch (control) {
    case C::cmdDistribute:
      return IDOK;
    case C::cmdClose:
      return IDCANCEL;
    default:
      return kFirstControlId + static_cast<int>(control);
  }
}

std::optional<Form1Control> ControlOfId(int id) {
  if (id == IDOK) return C::cmdDistribute;
  if (id == IDCANCEL) return C::cmdClose;
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(kForm1Layout.size())) return std::nullopt;
  return static_cast<Form1Control>(index);
}

// Functions of newer Windows versions (10 and later), looked up at run time
// so that the program still starts on older ones.
template <typename Function>
Function User32Function(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(user32, name)));
}

// A device context of a window (the screen for null), released with it.
class WindowDc {
 public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~WindowDc() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

UINT ScreenDpi() {
  const WindowDc screen(nullptr);
  const int dpi = screen.get() ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT DpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow && hwnd ? getDpiForWindow(hwnd) : 0;
  return dpi ? dpi : ScreenDpi();
}

// The system's font for dialogs and message boxes (Segoe UI, or Malgun
// Gothic on a Korean system, at 9 points) at `dpi`.
LOGFONTW MessageFontAt(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  static const auto forDpi = User32Function<ForDpiFn>("SystemParametersInfoForDpi");
  if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return metrics.lfMessageFont;
  }
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    // Given at the system's DPI.
    metrics.lfMessageFont.lfHeight =
        ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(ScreenDpi()));
    return metrics.lfMessageFont;
  }
  LOGFONTW fallback{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof fallback, &fallback);
  return fallback;
}

RECT WorkAreaOf(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor && ::GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT work{0, 0, 1024, 768};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

std::wstring WindowText(HWND hwnd) {
  if (!hwnd) return {};
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  const int n = ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

struct DropFinisher {
  void operator()(HDROP drop) const { ::DragFinish(drop); }
};

// The dropped list's paths in its order.
std::vector<std::string> DroppedPaths(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(static_cast<std::size_t>(::DragQueryFileW(drop, i, nullptr, 0)) + 1, L'\0');
    const UINT n = ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
    path.resize(n);
    paths.push_back(Narrow(path));
  }
  return paths;
}

}  // namespace

Form1::Form1(Form1Services services) {
  logic_ = std::make_unique<Form1Logic>(*this, std::move(services));
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!::GetClassInfoExW(instance, kClassName, &existing)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Form1::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kClassName;
    // Room for the dialog manager's data: DefDlgProcW gives the window the
    // keyboard interface and the default button handling of a dialog.
    wc.cbWndExtra = DLGWINDOWEXTRA;
    ::RegisterClassExW(&wc);
  }
  // Created on the primary screen, then sized at that screen's DPI (or as
  // large as its work area takes) and centred on it.
  ::CreateWindowExW(0, kClassName, Wide(kForm1Caption).c_str(), kFormStyle, 0, 0, 100, 100, nullptr,
                    nullptr, instance, this);
  if (!hwnd_) return;
  wakeTarget_ = hwnd_;
  const RECT work = WorkAreaOf(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY));
  UseDpi(DpiOf(hwnd_), work);
  CreateControls();
  LayOut();
  const SIZE size = WindowSizeForClient();
  PlaceIn(work, {work.left + (work.right - work.left - size.cx) / 2,
                 work.top + (work.bottom - work.top - size.cy) / 2});
}

void Form1::TaskbarReleaser::operator()(ITaskbarList3* taskbar) const { taskbar->Release(); }

Form1::~Form1() {
  // The run's thread wakes this window and its events reach the controls:
  // both end before the window does.
  logic_->EndRun();
  if (hwnd_) {
    destroying_ = true;
    ::DestroyWindow(hwnd_);
  }
}

void Form1::Load(const std::string& commandLine) {
  CallLogic([&] { logic_->Load(commandLine); });
}

int Form1::RunMessageLoop() {
  MSG msg{};
  int status;
  while ((status = ::GetMessageW(&msg, nullptr, 0, 0)) > 0) {
    if (!IsFormMessage(msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return status == 0 ? static_cast<int>(msg.wParam) : 1;
}

bool Form1::IsFormMessage(MSG& msg) { return hwnd_ && ::IsDialogMessageW(hwnd_, &msg); }

void Form1::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  // Created in focus order: the dialog manager's Tab follows the order of
  // the child windows.
  for (const ControlLayout& l : LayoutInFocusOrder()) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    const wchar_t* windowClass = WC_STATICW;
    switch (KindOf(l.id)) {
      case Kind::Label:
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        if (l.id == C::lblWaiting) style &= ~WS_VISIBLE;
        break;
      case Kind::EditableCombo:
        windowClass = WC_COMBOBOXW;
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        break;
      case Kind::SortedList:
        windowClass = WC_COMBOBOXW;
        style |= CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
        break;
      case Kind::Button:
        windowClass = WC_BUTTONW;
        style |= (l.id == C::cmdDistribute ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        break;
      case Kind::CheckBox:
        windowClass = WC_BUTTONW;
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case Kind::Edit:
        windowClass = WC_EDITW;
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Progress:
        windowClass = PROGRESS_CLASSW;
        break;
    }
    const HWND control = ::CreateWindowExW(
        exStyle, windowClass, Wide(l.caption).c_str(), style, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(l.id))), instance, nullptr);
    controls_[Index(l.id)] = control;
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (KindOf(l.id) == Kind::CheckBox) ::SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
  }
  ::SendMessageW(Handle(C::ProgressBar1), PBM_SETRANGE32, 0, 100);
  ::SendMessageW(Handle(C::ProgressBar1), PBM_SETPOS, 0, 0);
  // The dialog manager moves the default look to a focused button and back
  // to this one afterwards.
  ::SendMessageW(hwnd_, DM_SETDEFID, IDOK, 0);

  const HWND selection = Handle(C::cmbLocalFullPath);
  ::SetWindowSubclass(selection, &Form1::SelectionProc, kSelectionSubclass,
                      reinterpret_cast<DWORD_PTR>(this));
  // Only the selection takes files: elsewhere the pointer shows no-drop,
  // and so it does for anything that is no file list.
  ::DragAcceptFiles(selection, TRUE);
}

void Form1::UseDpi(UINT dpi, const RECT& work) {
  dpi_ = dpi;
  // What the frame adds to the client area at this DPI.
  RECT frame{0, 0, 0, 0};
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi)) {
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  twipsPerPixel_ = LayoutTwipsPerPixel(TwipsPerPixel(dpi), work.right - work.left,
                                       work.bottom - work.top, frame.right - frame.left,
                                       frame.bottom - frame.top);
  // The font goes with the layout's scale, or the captions would not fit
  // the controls of a window made smaller to fit the screen.
  const UINT layoutDpi = static_cast<UINT>(std::lround(1440.0 / twipsPerPixel_));
  LOGFONTW logFont = MessageFontAt(std::min(dpi, layoutDpi));
  UniqueFont previous = std::move(font_);
  font_.reset(::CreateFontIndirectW(&logFont));
  for (HWND control : controls_) {
    if (control) ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  }
  const WindowDc screen(nullptr);
  TEXTMETRICW metrics{};
  if (screen.get()) {
    const HGDIOBJ old = ::SelectObject(screen.get(), font_.get());
    ::GetTextMetricsW(screen.get(), &metrics);
    ::SelectObject(screen.get(), old);
  }
  lineHeight_ = metrics.tmHeight;
}

void Form1::LayOut() {
  for (const ControlLayout& l : kForm1Layout) {
    PixelRect r = PixelsOf(l, twipsPerPixel_);
    // The table's label heights fit the old system font; a line of today's
    // UI font is taller, and a label cut off at the bottom would lose the
    // lower half of its letters.
    if (KindOf(l.id) == Kind::Label) r.height = std::max(r.height, lineHeight_);
    ::MoveWindow(Handle(l.id), r.left, r.top, r.width, r.height, FALSE);
  }
  for (const ControlLayout& l : kForm1Layout) {
    if (KindOf(l.id) == Kind::Label) FitLabel(l.id);
  }
}

SIZE Form1::WindowSizeForClient() const {
  RECT r{0, 0, TwipsToPixels(kForm1WidthTwips, twipsPerPixel_),
         TwipsToPixels(kForm1HeightTwips, twipsPerPixel_)};
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = User32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
  if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, dpi_)) {
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  }
  return {r.right - r.left, r.bottom - r.top};
}

void Form1::FitLabel(Form1Control label) {
  const HWND h = Handle(label);
  if (!h) return;
  const std::wstring text = WindowText(h);
  RECT needed{0, 0, 0, 0};
  {
    const WindowDc dc(h);
    const HGDIOBJ old = ::SelectObject(dc.get(), font_.get());
    ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc.get(), old);
  }
  // A caption longer than the design width (a version text in lblVer)
  // shows whole, up to the window's edge.
  const PixelRect design = PixelsOf(LayoutOf(label), twipsPerPixel_);
  const int room = TwipsToPixels(kForm1WidthTwips, twipsPerPixel_) - design.left;
  // The static control draws a glyph or two of pixels wider than
  // DrawText measures (its last letter lost its right edge): a little room.
  const int measured = static_cast<int>(needed.right) + lineHeight_ / 4;
  const int width = std::min(std::max(design.width, measured), room);
  RECT now{};
  ::GetWindowRect(h, &now);
  if (now.right - now.left != width) {
    ::SetWindowPos(h, nullptr, 0, 0, width, now.bottom - now.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Form1::PlaceIn(const RECT& work, POINT topLeft) {
  const SIZE size = WindowSizeForClient();
  // Inside the work area as far as the window's size allows; its top left
  // corner (the title bar) stays on the screen whatever the size.
  const LONG left = std::max(work.left, std::min(topLeft.x, work.right - size.cx));
  const LONG top = std::max(work.top, std::min(topLeft.y, work.bottom - size.cy));
  ::SetWindowPos(hwnd_, nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

template <typename Call>
void Form1::CallLogic(Call&& call) {
  struct Depth {
    Form1& form;
    explicit Depth(Form1& f) : form(f) { ++form.handling_; }
    ~Depth() {
      if (--form.handling_ == 0 && form.closing_) form.DestroyNow();
    }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;
  } depth(*this);
  call();
}

void Form1::DestroyNow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Form1*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefDlgProcW(hwnd, message, wParam, lParam);
  return self->OnMessage(message, wParam, lParam);
}

LRESULT Form1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND hwnd = hwnd_;
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == Handle(C::lblWaiting)) {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        // The colour value is the platform's 0x00BBGGRR form already.
        ::SetTextColor(dc, static_cast<COLORREF>(kLblWaitingColour));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_CLOSE:
      // The title bar's close box and Alt+F4 unload the window as cmdClose does.
      CallLogic([&] { logic_->cmdClose_Click(); });
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kRunWakeMessage:
      CallLogic([&] { logic_->DeliverRunEvents(); });
      return 0;
    case WM_DESTROY:
      // Closing the one window ends the program; a window that merely goes
      // with its owner object does not.
      if (!destroying_) ::PostQuitMessage(0);
      break;
    case WM_NCDESTROY: {
      wakeTarget_ = nullptr;
      const LRESULT result = ::DefDlgProcW(hwnd, message, wParam, lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      controls_.fill(nullptr);
      return result;
    }
    default:
      break;
  }
  return ::DefDlgProcW(hwnd, message, wParam, lParam);
}

void Form1::OnCommand(int id, int code) {
  const std::optional<Form1Control> control = ControlOfId(id);
  if (!control) return;
  switch (*control) {
    case C::cmdDistribute:
      if (code == BN_CLICKED) CallLogic([&] { logic_->cmdDistribute_Click(); });
      break;
    case C::cmdClose:
      if (code == BN_CLICKED) CallLogic([&] { logic_->cmdClose_Click(); });
      break;
    case C::cmdFindFile:
      if (code == BN_CLICKED) CallLogic([&] { logic_->cmdFindFile_Click(); });
      break;
    case C::ChkPassive:
      if (code == BN_CLICKED) {
        // A click never leaves the box greyed, whatever the store held.
        const HWND box = Handle(C::ChkPassive);
        if ((::GetWindowLongPtrW(box, GWL_STYLE) & BS_TYPEMASK) == BS_AUTO3STATE) {
          ::SendMessageW(box, BM_SETSTYLE, BS_AUTOCHECKBOX, TRUE);
        }
        CallLogic([&] { logic_->ChkPassive_Click(); });
      }
      break;
    case C::Text1:
      if (code == EN_CHANGE) CallLogic([&] { logic_->Text1_Change(); });
      break;
    case C::cmbLocalFullPath:
      // Typing, or an item of its list chosen; the logic's own changes send
      // neither.
      if (code == CBN_EDITCHANGE || code == CBN_SELCHANGE) {
        CallLogic([&] { logic_->cmbLocalFullPath_Change(); });
      }
      break;
    case C::cmbLocalFileOnly:
      // A choice by mouse or by arrow key; SELENDOK also comes when the
      // user picks the item that was already chosen.
      if (code == CBN_SELCHANGE || code == CBN_SELENDOK) {
        const int index =
            static_cast<int>(::SendMessageW(Handle(C::cmbLocalFileOnly), CB_GETCURSEL, 0, 0));
        if (index >= 0) CallLogic([&] { logic_->cmbLocalFileOnly_Click(index); });
      }
      break;
    default:
      break;
  }
}

LRESULT CALLBACK Form1::SelectionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self) {
  if (message == WM_DROPFILES) {
    reinterpret_cast<Form1*>(self)->OnDropFiles(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, &Form1::SelectionProc, id);
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

void Form1::OnDropFiles(HDROP drop) {
  const std::unique_ptr<HDROP__, DropFinisher> owner(drop);
  const std::vector<std::string> paths = DroppedPaths(drop);
  CallLogic([&] { logic_->cmbLocalFullPath_DropFiles(paths); });
}

void Form1::OnDpiChanged(UINT dpi, const RECT& suggested) {
  const RECT work = WorkAreaOf(::MonitorFromRect(&suggested, MONITOR_DEFAULTTONEAREST));
  UseDpi(dpi, work);
  LayOut();
  PlaceIn(work, {suggested.left, suggested.top});
  logic_->SizeDropDowns();
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

std::string Form1::Caption() { return Narrow(WindowText(hwnd_)); }

void Form1::SetCaption(const std::string& caption) {
  if (hwnd_) ::SetWindowTextW(hwnd_, Wide(caption).c_str());
}

std::string Form1::Text(Form1Control control) { return Narrow(WindowText(Handle(control))); }

void Form1::SetText(Form1Control control, const std::string& text) {
  const HWND h = Handle(control);
  if (!h) return;
  const std::wstring wide = Wide(text);
  if (KindOf(control) == Kind::SortedList) {
    // A list without a text field shows the item of that text, or none.
    const LRESULT index =
        ::SendMessageW(h, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wide.c_str()));
    ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  } else {
    // Text1 sends EN_CHANGE for this, as for typing.
    ::SetWindowTextW(h, wide.c_str());
  }
  if (KindOf(control) == Kind::Label) FitLabel(control);
}

void Form1::ClearList(Form1Control combo) {
  const HWND h = Handle(combo);
  ::SendMessageW(h, CB_RESETCONTENT, 0, 0);
  if (KindOf(combo) == Kind::EditableCombo) ::SetWindowTextW(h, L"");
}

int Form1::AddItem(Form1Control combo, const std::string& text, int itemData) {
  const HWND h = Handle(combo);
  // A CBS_SORT list puts the item at its sorted place and says where.
  const LRESULT index = ::SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  if (index < 0) return -1;
  ::SendMessageW(h, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(itemData));
  return static_cast<int>(index);
}

int Form1::ItemData(Form1Control combo, int index) {
  const HWND h = Handle(combo);
  const LRESULT count = ::SendMessageW(h, CB_GETCOUNT, 0, 0);
  if (index < 0 || index >= count) return -1;
  return static_cast<int>(::SendMessageW(h, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void Form1::SelectItem(Form1Control combo, int index) {
  ::SendMessageW(Handle(combo), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Form1::Tick(Form1Control checkBox) {
  switch (::SendMessageW(Handle(checkBox), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return kTicked;
    case BST_INDETERMINATE:
      return kGreyed;
    default:
      return kUnticked;
  }
}

void Form1::SetTick(Form1Control checkBox, int tick) {
  const HWND h = Handle(checkBox);
  if (!h) return;
  // Only a three-state box keeps the greyed state.
  const bool threeState = (::GetWindowLongPtrW(h, GWL_STYLE) & BS_TYPEMASK) == BS_AUTO3STATE;
  if (threeState != (tick == kGreyed)) {
    ::SendMessageW(h, BM_SETSTYLE, tick == kGreyed ? BS_AUTO3STATE : BS_AUTOCHECKBOX, TRUE);
  }
  const WPARAM state = tick == kTicked ? BST_CHECKED : tick == kGreyed ? BST_INDETERMINATE : BST_UNCHECKED;
  ::SendMessageW(h, BM_SETCHECK, state, 0);
}

void Form1::SetVisible(Form1Control control, bool visible) {
  ::ShowWindow(Handle(control), visible ? SW_SHOWNA : SW_HIDE);
}

void Form1::SetEnabled(Form1Control control, bool enabled) {
  const HWND h = Handle(control);
  if (!h) return;
  // A disabled window keeps the focus it had and takes no keys, so Esc
  // would no longer reach the dialog manager: the focus moves to the
  // selection first (the next control would be 닫기, which Enter presses).
  if (!enabled && ::GetFocus() == h) {
    ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Handle(C::cmbLocalFullPath)), TRUE);
  }
  ::EnableWindow(h, enabled ? TRUE : FALSE);
}

void Form1::FocusOn(Form1Control control) {
  if (!hwnd_) return;
  if (!::IsWindowVisible(hwnd_)) {
    // Focus goes to a window that is shown; ShowForm gives it.
    pendingFocus_ = control;
    return;
  }
  // Through the dialog manager, so the default button follows the focus.
  ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Handle(control)), TRUE);
}

void Form1::SetProgressMax(int max) {
  const HWND bar = Handle(C::ProgressBar1);
  progressMax_ = std::max(max, 0);
  progressFill_ = -1;
  ::SendMessageW(bar, PBM_SETRANGE32, 0, progressMax_);
  if (bar) ::RedrawWindow(bar, nullptr, nullptr, RDW_UPDATENOW);
}

void Form1::SetProgressValue(int value) {
  const HWND bar = Handle(C::ProgressBar1);
  if (!bar) return;
  const int position = std::clamp(value, 0, progressMax_);
  RECT client{};
  ::GetClientRect(bar, &client);
  const int fill = progressMax_ > 0 ? ::MulDiv(position, client.right, progressMax_) : 0;
  if (fill == progressFill_) {
    // A step that does not show waits for the next one that does.
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    return;
  }
  progressFill_ = fill;
  // A themed bar glides up to a higher position on a timer, always behind
  // the transfer, and could still be short of full when "배포완료" comes; a
  // lower position it shows at once. So it goes one step past and back.
  if (position < progressMax_) {
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
  } else {
    ::SendMessageW(bar, PBM_SETRANGE32, 0, progressMax_ + 1);
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(progressMax_ + 1), 0);
  }
  ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  if (position == progressMax_) ::SendMessageW(bar, PBM_SETRANGE32, 0, progressMax_);
  ::RedrawWindow(bar, nullptr, nullptr, RDW_UPDATENOW);
}

ITaskbarList3* Form1::Taskbar() {
  if (!taskbar_ && !taskbarTried_) {
    taskbarTried_ = true;
    // Without COM on this thread, or a shell without a taskbar, there is
    // none, and the progress shows in the window alone.
    ITaskbarList3* taskbar = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar)))) {
      taskbar_.reset(taskbar);
      if (FAILED(taskbar_->HrInit())) taskbar_.reset();
    }
  }
  return taskbar_.get();
}

void Form1::SetTaskbarProgress(TaskbarProgress state, int value, int max) {
  ITaskbarList3* taskbar = hwnd_ ? Taskbar() : nullptr;
  if (!taskbar) return;
  if (state == TaskbarProgress::kNone) {
    taskbar->SetProgressState(hwnd_, TBPF_NOPROGRESS);
    return;
  }
  taskbar->SetProgressState(hwnd_, state == TaskbarProgress::kError ? TBPF_ERROR : TBPF_NORMAL);
  taskbar->SetProgressValue(hwnd_, static_cast<ULONGLONG>(std::max(value, 0)),
                            static_cast<ULONGLONG>(std::max(max, 1)));
}

PixelRect Form1::Bounds(Form1Control control) {
  RECT r{};
  const HWND h = Handle(control);
  if (!h || !::GetWindowRect(h, &r)) return {};
  ::MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Form1::ApplyComboSize(Form1Control combo, const ComboPixels& p) {
  const HWND h = Handle(combo);
  // The height of a drop-down combo box's window is its height with the
  // list dropped down.
  ::MoveWindow(h, p.left, p.top, p.width, p.droppedHeight, TRUE);
  ::SendMessageW(h, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(p.droppedWidth), 0);
}

void Form1::ShowForm() {
  if (!hwnd_) return;
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  if (pendingFocus_) {
    ::SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Handle(*pendingFocus_)), TRUE);
    pendingFocus_.reset();
  }
  ::UpdateWindow(hwnd_);
}

void Form1::CloseForm() {
  if (!hwnd_) return;
  closing_ = true;
  ::ShowWindow(hwnd_, SW_HIDE);
  if (handling_ == 0) DestroyNow();
}

bool Form1::IsFormVisible() { return hwnd_ && !closing_ && ::IsWindowVisible(hwnd_); }

std::optional<std::string> Form1::OpenFileDialog(const OpenFileRequest& request) {
  std::wstring file = Wide(request.initialFileName);
  file.resize(kFileNameChars, L'\0');
  file.back() = L'\0';
  const std::wstring title = Wide(request.title);
  const std::wstring folder = Wide(request.initialFolder);
  // One filter: its name and its pattern, each ended by a NUL, and a NUL
  // that ends the list.
  std::wstring filter = Wide(request.filterName);
  filter += L'\0';
  filter += Wide(request.filterPattern);
  filter += L'\0';

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kFileNameChars;
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title.c_str();
  // One existing file; the current folder of the process stays where it
  // was, whatever folder the user browsed to.
  dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                 OFN_NOCHANGEDIR | OFN_ENABLESIZING;
  const BOOL chosen = ::GetOpenFileNameW(&dialog);
  if (!chosen && ::CommDlgExtendedError() == 0) return std::nullopt;  // cancelled or closed
  // Failed to show: whatever name the dialog holds, as chosen.
  file.resize(std::wcslen(file.c_str()));
  return Narrow(file);
}

std::optional<EnteredPassword> Form1::AskPassword(const std::string& prompt) {
  return AskPasswordModal(hwnd_, font_.get(), twipsPerPixel_, prompt);
}

void Form1::WakeForRun() {
  // PostMessageW may be called from any thread; a window gone meanwhile
  // simply gets nothing.
  if (const HWND target = wakeTarget_.load()) ::PostMessageW(target, kRunWakeMessage, 0, 0);
}

void Form1::ProcessPendingMessages() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // For the loop that ends the program, not for this one.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsFormMessage(msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

}  // namespace parone
