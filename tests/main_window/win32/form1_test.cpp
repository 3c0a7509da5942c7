// What the Win32 window adds to the shared window logic, on real windows
// under a display: its controls and their kinds, places and focus order,
// the dialog keys, typing and clicking into the registry, dropped file
// lists, the combo lists, the file dialog, a window that stays alive while
// its run works, stopping and closing, and a layout that fits a small
// screen at a large scale.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/windows/win32.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"
#include "fake_program.hpp"
#include "local_server.hpp"
#include "main_window/password_dialog.hpp"
#include "main_window/win32/form1.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "platform/windows/registry_settings_store.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using C = Form1Control;
using testing::LocalServer;
using Strings = std::vector<std::string>;

class NoSleep final : public Sleeper {
 public:
  void SleepMs(long) override {}
};

// Recorded boxes that let a test look at the window when one comes up.
class ObservedBoxes final : public MessageBoxes {
 public:
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override {
    if (onShow) onShow();
    return recorded.Show(text, style, caption);
  }
  RecordingMessageBoxes recorded;
  std::function<void()> onShow;
};

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  return name;
}

LONG_PTR StyleOf(HWND hwnd) { return ::GetWindowLongPtrW(hwnd, GWL_STYLE); }

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file list as the shell hands it over with WM_DROPFILES: a DROPFILES
// header and the wide paths, each ended by a NUL, the list by another. The
// window that receives it frees it (DragFinish).
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
  std::size_t chars = 1;
  for (const std::wstring& p : paths) chars += p.size() + 1;
  const HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(DROPFILES));
  for (const std::wstring& p : paths) {
    std::copy(p.begin(), p.end(), text);
    text += p.size() + 1;
  }
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

// Keeps the positions a progress bar showed each time it painted.
class PaintedPositions {
 public:
  explicit PaintedPositions(HWND bar) : bar_(bar) {
    ::SetWindowSubclass(bar_, &PaintedPositions::Proc, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  ~PaintedPositions() {
    if (::IsWindow(bar_)) ::RemoveWindowSubclass(bar_, &PaintedPositions::Proc, 1);
  }
  PaintedPositions(const PaintedPositions&) = delete;
  PaintedPositions& operator=(const PaintedPositions&) = delete;
  std::vector<int> positions;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR self) {
    if (message == WM_PAINT) {
      reinterpret_cast<PaintedPositions*>(self)->positions.push_back(
          static_cast<int>(::SendMessageW(hwnd, PBM_GETPOS, 0, 0)));
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, &PaintedPositions::Proc, id);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }
  HWND bar_;
};

// Works a modal dialog of this thread from a thread timer, which the
// dialog's own message loop runs: `act` is given the dialog once it is up.
class DialogDriver {
 public:
  DialogDriver(std::wstring title, std::function<void(HWND)> act)
      : title_(std::move(title)), act_(std::move(act)) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 50, &DialogDriver::OnTimer);
  }
  ~DialogDriver() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  bool acted() const { return acted_; }

 private:
  static BOOL CALLBACK Find(HWND hwnd, LPARAM self) {
    auto* driver = reinterpret_cast<DialogDriver*>(self);
    wchar_t title[256] = {};
    ::GetWindowTextW(hwnd, title, 256);
    if (::IsWindowVisible(hwnd) && driver->title_ == title) {
      driver->acted_ = true;
      driver->act_(hwnd);
      return FALSE;
    }
    return TRUE;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ && !current_->acted_) {
      ::EnumThreadWindows(::GetCurrentThreadId(), &DialogDriver::Find,
                          reinterpret_cast<LPARAM>(current_));
    }
  }
  static inline DialogDriver* current_ = nullptr;
  std::wstring title_;
  std::function<void(HWND)> act_;
  UINT_PTR timer_ = 0;
  bool acted_ = false;
};

class Form1Win32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_win32_form");
    fs::create_directories(root_ / "tool" / "temp");
    facts = FixedProcessFacts(testing::Utf8Of(root_ / "tool"));
    config = SystemConfig::Defaults();
    config.ftpHost = "127.0.0.1";
    config.ftpPassword = testing::kDemoPassword;
    config.ftpPort = testing::UnusedPort();
    config.httpPort = testing::UnusedPort();
  }
  void TearDown() override {
    form.reset();
    // Whatever the window left in the queue (a WM_QUIT after closing).
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    testing::RemoveTestDir(root_);
  }
  Form1& Make(SettingsStore& store) {
    Form1Services services{boxes, {files, store, cp949, facts, launcher, sleeper}, config};
    services.ftpTimeouts = {5, 10};
    services.urlTimeouts = {1, 2};
    services.signing.pollMs = 50;
    form = std::make_unique<Form1>(services);
    return *form;
  }
  Form1& Make() { return Make(settings); }
  HWND H(Form1Control control) { return form->Handle(control); }
  std::string Selection() { return form->Text(C::cmbLocalFullPath); }
  // Delivers a key press to `target` as the message loop would: through
  // the dialog keyboard handling first.
  void PressKey(HWND target, WPARAM key) {
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    form->ProcessPendingMessages();
  }
  static bool QuitPosted() {
    MSG msg;
    return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  }
  // Runs the message loop as the program would until `done` (at most
  // `limit`); false when it never came.
  template <typename Done>
  bool PumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      form->ProcessPendingMessages();
    }
    return true;
  }
  bool WaitForRun() {
    return PumpUntil([&] { return !form->logic().running(); });
  }

  fs::path root_;
  ObservedBoxes boxes;
  MemorySettingsStore settings;
  NativeFileSystem files;
  Cp949CodePage cp949;
  FixedProcessFacts facts{""};
  NativeProcessLauncher launcher;
  NoSleep sleeper;
  SystemConfig config;
  std::unique_ptr<Form1> form;
};

TEST_F(Form1Win32Test, TheWindowShowsEveryControlOfTheTableWithItsKindCaptionAndPlace) {
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(f.Caption(), "파로네 자동배포2(ftp) Ver.1.1.33");
  ASSERT_EQ(f.twipsPerPixel(), 15);  // the display runs at 96 DPI
  // Labels are at least a line of the font high, a combo box is as high as
  // its font makes its text field; everything else has the table's size.
  enum Height { kTable, kAtLeastTable, kFont };
  struct Kind {
    Form1Control control;
    const wchar_t* windowClass;
    Height height;
  };
  const Kind kinds[] = {
      {C::Label1, WC_STATICW, kAtLeastTable},
      {C::cmbLocalFullPath, WC_COMBOBOXW, kFont},
      {C::cmbLocalFileOnly, WC_COMBOBOXW, kFont},
      {C::cmdFindFile, WC_BUTTONW, kTable},
      {C::ProgressBar1, PROGRESS_CLASSW, kTable},
      {C::chkSuccUnload, WC_BUTTONW, kTable},
      {C::cmdDistribute, WC_BUTTONW, kTable},
      {C::cmdClose, WC_BUTTONW, kTable},
      {C::lblVer, WC_STATICW, kAtLeastTable},
      {C::Label2, WC_STATICW, kAtLeastTable},
      {C::Text1, WC_EDITW, kTable},
      {C::ChkPassive, WC_BUTTONW, kTable},
      {C::chkCodeSigning, WC_BUTTONW, kTable},
      {C::lblWaiting, WC_STATICW, kAtLeastTable},
  };
  for (const Kind& kind : kinds) {
    const ControlLayout& l = LayoutOf(kind.control);
    const HWND h = H(kind.control);
    ASSERT_NE(h, nullptr) << l.name;
    EXPECT_EQ(_wcsicmp(ClassOf(h).c_str(), kind.windowClass), 0) << l.name;
    EXPECT_EQ(f.Text(kind.control), l.caption) << l.name;
    const PixelRect at = f.Bounds(kind.control);
    EXPECT_EQ(at.left, l.left / 15) << l.name;
    EXPECT_EQ(at.top, l.top / 15) << l.name;
    EXPECT_EQ(at.width, l.width / 15) << l.name;
    if (kind.height == kTable) {
      EXPECT_EQ(at.height, l.height / 15) << l.name;
    } else if (kind.height == kAtLeastTable) {
      EXPECT_GE(at.height, l.height / 15) << l.name;
    }
  }
  EXPECT_EQ(StyleOf(H(C::cmbLocalFullPath)) & 3, CBS_DROPDOWN);
  EXPECT_EQ(StyleOf(H(C::cmbLocalFileOnly)) & 3, CBS_DROPDOWNLIST);
  EXPECT_TRUE(StyleOf(H(C::cmbLocalFileOnly)) & CBS_SORT);
  EXPECT_EQ(StyleOf(H(C::cmdDistribute)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(::GetDlgCtrlID(H(C::cmdDistribute)), IDOK);
  EXPECT_EQ(::GetDlgCtrlID(H(C::cmdClose)), IDCANCEL);
  for (const C box : {C::chkSuccUnload, C::ChkPassive, C::chkCodeSigning}) {
    EXPECT_EQ(StyleOf(H(box)) & BS_TYPEMASK, BS_AUTOCHECKBOX) << NameOf(box);
    EXPECT_EQ(::SendMessageW(H(box), BM_GETCHECK, 0, 0), BST_CHECKED) << NameOf(box);
  }
  PBRANGE range{};
  ::SendMessageW(H(C::ProgressBar1), PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(::SendMessageW(H(C::ProgressBar1), PBM_GETPOS, 0, 0), 0);
  // lblWaiting is drawn blue (the window answers for its colours).
  const HDC dc = ::CreateCompatibleDC(nullptr);
  ::SendMessageW(f.hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(H(C::lblWaiting)));
  EXPECT_EQ(::GetTextColor(dc), RGB(0, 0, 255));
  ::DeleteDC(dc);

  // A fixed frame with a minimise button and no maximise button, the client
  // area 13140 by 2055 twips, centred on the screen.
  const LONG_PTR style = StyleOf(f.hwnd());
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  RECT client{};
  ::GetClientRect(f.hwnd(), &client);
  EXPECT_EQ(client.right, 876);
  EXPECT_EQ(client.bottom, 137);
  RECT window{};
  ::GetWindowRect(f.hwnd(), &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(f.hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
  EXPECT_NEAR(window.left + window.right, monitor.rcWork.left + monitor.rcWork.right, 1);
  EXPECT_NEAR(window.top + window.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);
  EXPECT_TRUE(settings.writes().empty());

  f.ShowForm();
  EXPECT_TRUE(::IsWindowVisible(f.hwnd()));
  EXPECT_FALSE(::IsWindowVisible(H(C::lblWaiting)));
  // Focus on the selection, and Tab from there in the table's order.
  std::vector<std::string> order;
  HWND at = ::GetFocus();
  for (int i = 0; i < 9; ++i) {
    HWND control = ::IsChild(H(C::cmbLocalFullPath), at) ? H(C::cmbLocalFullPath) : at;
    for (const ControlLayout& l : kForm1Layout) {
      if (H(l.id) == control) order.emplace_back(l.name);
    }
    PressKey(at, VK_TAB);
    at = ::GetFocus();
  }
  EXPECT_EQ(order, (Strings{"cmbLocalFullPath", "cmdDistribute", "cmdClose", "cmdFindFile", "Text1",
                            "chkSuccUnload", "ChkPassive", "cmbLocalFileOnly", "chkCodeSigning"}));
  EXPECT_EQ(H(C::cmbLocalFullPath), ::IsChild(H(C::cmbLocalFullPath), at) ? H(C::cmbLocalFullPath) : at);
}

TEST_F(Form1Win32Test, EnterPressesDistributeAndEscClosesTheWindowAndEndsTheLoop) {
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  // Enter in the selection's text field: a run over the empty selection.
  const HWND field = ::GetWindow(H(C::cmbLocalFullPath), GW_CHILD);
  PressKey(field, VK_RETURN);
  ASSERT_TRUE(WaitForRun());
  ASSERT_EQ(boxes.recorded.shown().size(), 1u);
  EXPECT_EQ(boxes.recorded.shown()[0].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(f.lastRun().status, RunStatus::kEmptySelection);
  EXPECT_FALSE(QuitPosted());

  PressKey(field, VK_ESCAPE);
  EXPECT_EQ(f.hwnd(), nullptr);
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(boxes.recorded.shown().size(), 1u);
}

TEST_F(Form1Win32Test, TypingIntoText1AndClickingChkPassiveWriteTheRegistryAtEveryChange) {
  const std::string root = "Software\\parone-tests\\form1-" + std::to_string(::GetCurrentProcessId());
  RegistrySettingsStore registry(root);
  const std::wstring section = win32::Wide(root + "\\파로네_배포\\Config");
  auto stored = [&](const wchar_t* name) -> std::string {
    wchar_t value[256] = {};
    DWORD size = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, section.c_str(), name, RRF_RT_REG_SZ, nullptr, value,
                       &size) != ERROR_SUCCESS) {
      return "(missing)";
    }
    return win32::Narrow(value);
  };
  Form1& f = Make(registry);
  f.Load("");
  EXPECT_EQ(stored(L"UpxPath"), "(missing)");  // the load writes nothing back
  f.ShowForm();
  f.FocusOn(C::Text1);  // all of its text selected, as Tab leaves it
  std::string typed;
  for (const char c : std::string("C:\\u.exe")) {
    ::SendMessageW(H(C::Text1), WM_CHAR, static_cast<WPARAM>(c), 1);
    typed += c;
    ASSERT_EQ(stored(L"UpxPath"), typed);  // at every keystroke
  }
  ::SendMessageW(H(C::ChkPassive), BM_CLICK, 0, 0);
  EXPECT_EQ(stored(L"PassiveMode"), "0");
  ::SendMessageW(H(C::ChkPassive), BM_CLICK, 0, 0);
  EXPECT_EQ(stored(L"PassiveMode"), "1");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(root).c_str());
}

TEST_F(Form1Win32Test, AGreyedPassiveModeFromTheStoreShowsGreyedAndAClickLeavesIt) {
  settings.Set(kAppTitle, "Config", "PassiveMode", "2");
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(::SendMessageW(H(C::ChkPassive), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  f.ShowForm();
  ::SendMessageW(H(C::ChkPassive), BM_CLICK, 0, 0);
  ::SendMessageW(H(C::ChkPassive), BM_CLICK, 0, 0);
  // Two clicks later it is a plain box again, never greyed by a click.
  EXPECT_NE(::SendMessageW(H(C::ChkPassive), BM_GETCHECK, 0, 0), BST_INDETERMINATE);
  EXPECT_EQ(StyleOf(H(C::ChkPassive)) & BS_TYPEMASK, BS_AUTOCHECKBOX);
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"),
            std::to_string(f.Tick(C::ChkPassive)));
}

TEST_F(Form1Win32Test, ThreeDroppedFilesBecomeOneJoinedSelectionAndOneRecentEntry) {
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  const HWND combo = H(C::cmbLocalFullPath);
  // Only the selection takes files.
  EXPECT_TRUE(::GetWindowLongPtrW(combo, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_FALSE(::GetWindowLongPtrW(f.hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

  ::SendMessageW(combo, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({L"C:\\p\\one.exe"})), 0);
  EXPECT_EQ(Selection(), "C:\\p\\one.exe");
  EXPECT_TRUE(settings.writes().empty());  // one file: recorded when published

  ::SendMessageW(combo, WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop({L"C:\\p\\a.exe", L"C:\\p\\b.exe", L"C:\\빌드\\c.exe"})),
                 0);
  EXPECT_EQ(Selection(), "C:\\p\\a.exe;C:\\p\\b.exe;C:\\빌드\\c.exe");
  EXPECT_EQ(ReadRecentFiles(settings), Strings{"C:\\p\\a.exe;C:\\p\\b.exe;C:\\빌드\\c.exe"});
}

TEST_F(Form1Win32Test, RecentFilesFillBothListsAndArrowingThroughTheNamesSelectsTheirPaths) {
  settings.Set(kAppTitle, "RecentFiles", "1", "C:\\b\\y.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "C:\\a\\Z.exe");
  settings.Set(kAppTitle, "RecentFiles", "3", "C:\\c\\a.exe");
  Form1& f = Make();
  f.Load("");
  auto items = [&](Form1Control combo) {
    Strings out;
    const int count = static_cast<int>(::SendMessageW(H(combo), CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[256] = {};
      ::SendMessageW(H(combo), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      out.push_back(win32::Narrow(text));
    }
    return out;
  };
  EXPECT_EQ(items(C::cmbLocalFullPath), (Strings{"C:\\b\\y.exe", "C:\\a\\Z.exe", "C:\\c\\a.exe"}));
  EXPECT_EQ(items(C::cmbLocalFileOnly), (Strings{"a.exe", "y.exe", "Z.exe"}));
  EXPECT_EQ(Selection(), "C:\\b\\y.exe");
  EXPECT_EQ(::SendMessageW(H(C::cmbLocalFileOnly), CB_GETCURSEL, 0, 0), CB_ERR);  // no name chosen yet
  f.ShowForm();
  f.FocusOn(C::cmbLocalFileOnly);
  PressKey(H(C::cmbLocalFileOnly), VK_DOWN);
  EXPECT_EQ(Selection(), "C:\\c\\a.exe");
  PressKey(H(C::cmbLocalFileOnly), VK_DOWN);
  EXPECT_EQ(Selection(), "C:\\b\\y.exe");
  PressKey(H(C::cmbLocalFileOnly), VK_DOWN);
  EXPECT_EQ(Selection(), "C:\\a\\Z.exe");
}

// The heights a window was asked to take, in order (a combo box asked for
// more keeps only its text field's height and gives the rest to its list).
class AskedHeights {
 public:
  explicit AskedHeights(HWND hwnd) : hwnd_(hwnd) {
    ::SetWindowSubclass(hwnd_, &AskedHeights::Proc, 2, reinterpret_cast<DWORD_PTR>(this));
  }
  ~AskedHeights() {
    if (::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, &AskedHeights::Proc, 2);
  }
  AskedHeights(const AskedHeights&) = delete;
  AskedHeights& operator=(const AskedHeights&) = delete;
  std::vector<int> heights;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR self) {
    if (message == WM_WINDOWPOSCHANGING) {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!(pos->flags & SWP_NOSIZE)) reinterpret_cast<AskedHeights*>(self)->heights.push_back(pos->cy);
    }
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(hwnd, &AskedHeights::Proc, id);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
  }
  HWND hwnd_;
};

TEST_F(Form1Win32Test, TheComboListsDropToTheirSizedHeightAndWidth) {
  Form1& f = Make();
  struct Row {
    Form1Control combo;
    int left;
    int droppedWidth;
  };
  const Row rows[] = {
      {C::cmbLocalFullPath, 75, 542},  // 1125 twips, 8130 wide
      {C::cmbLocalFileOnly, 620, 154},  // 9300 twips, 2310 wide
  };
  AskedHeights full(H(C::cmbLocalFullPath));
  AskedHeights names(H(C::cmbLocalFileOnly));
  f.Load("");
  for (const Row& row : rows) {
    const HWND combo = H(row.combo);
    EXPECT_EQ(::SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), row.droppedWidth) << NameOf(row.combo);
    EXPECT_EQ(f.Bounds(row.combo).left, row.left) << NameOf(row.combo);
    EXPECT_EQ(f.Bounds(row.combo).top, 18) << NameOf(row.combo);
  }
  // 5000 twips with the list dropped down, the box included.
  EXPECT_THAT(full.heights, ::testing::Contains(333));
  EXPECT_THAT(names.heights, ::testing::Contains(333));
}

TEST_F(Form1Win32Test, AMoveToAScreenOfAnotherDensityLaysTheWindowOutAgainAtIt) {
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  AskedHeights full(H(C::cmbLocalFullPath));
  const HFONT before = reinterpret_cast<HFONT>(::SendMessageW(H(C::Label1), WM_GETFONT, 0, 0));
  LOGFONTW at96{};
  ::GetObjectW(before, sizeof at96, &at96);
  // What Windows sends when the window is dragged onto a screen at 120 DPI.
  RECT suggested{10, 20, 1200, 300};
  ::SendMessageW(f.hwnd(), WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));

  // 1095 pixels wide at 120 DPI (12 twips a pixel) would not fit this
  // 1024-pixel screen: 13 twips a pixel is the largest scale that does.
  EXPECT_EQ(f.twipsPerPixel(), 13);
  EXPECT_EQ(f.Bounds(C::cmdDistribute).left, 799);  // 10395 twips
  EXPECT_EQ(f.Bounds(C::cmdDistribute).width, 91);  // 1185 twips
  EXPECT_EQ(f.Bounds(C::cmbLocalFullPath).left, 86);
  EXPECT_EQ(::SendMessageW(H(C::cmbLocalFullPath), CB_GETDROPPEDWIDTH, 0, 0), 625);
  EXPECT_THAT(full.heights, ::testing::Contains(384));
  // Where the system suggested, moved as far as needed to lie inside the
  // work area. (The window's own size follows the frame the system draws
  // at the new density, which a message alone does not change: only a real
  // second screen shows it.)
  RECT window{};
  ::GetWindowRect(f.hwnd(), &window);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(window.top, 20);
  EXPECT_LE(window.left, 10);
  EXPECT_LE(window.right, work.right);
  EXPECT_GE(window.left, work.left);
  // The font grows with the scale.
  LOGFONTW after{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(H(C::Label1), WM_GETFONT, 0, 0)), sizeof after,
               &after);
  EXPECT_GT(std::abs(after.lfHeight), std::abs(at96.lfHeight));
}

TEST_F(Form1Win32Test, TheFileDialogOpensInTheLastFolderAndGivesTheChosenFile) {
  fs::create_directories(root_ / "out");
  const std::string chosen = testing::Utf8Of(root_ / "out" / "App.exe");
  std::ofstream(root_ / "out" / "App.exe") << "MZ";
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  auto folderOf = [](HWND dialog) {
    wchar_t folder[MAX_PATH] = {};
    ::SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    return win32::Narrow(folder);
  };
  std::string firstFolder;
  std::wstring filter;
  {
    const DialogDriver driver(L"배포 파일 선택", [&](HWND dialog) {
      firstFolder = folderOf(dialog);
      wchar_t type[128] = {};
      ::GetDlgItemTextW(dialog, cmb1, type, 128);
      filter = type;
      ::SetDlgItemTextW(dialog, cmb13, win32::Wide(chosen).c_str());
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    ::SendMessageW(H(C::cmdFindFile), BM_CLICK, 0, 0);
    ASSERT_TRUE(driver.acted());
  }
  // The program's own folder at first.
  EXPECT_TRUE(fs::equivalent(fs::path(win32::Wide(firstFolder)), root_ / "tool")) << firstFolder;
  EXPECT_NE(filter.find(L"모든파일"), std::wstring::npos);
  EXPECT_TRUE(fs::equivalent(fs::path(win32::Wide(Selection())), fs::path(win32::Wide(chosen))))
      << Selection();

  // The next one opens where the chosen file lies; cancelling it changes
  // nothing.
  std::string secondFolder;
  {
    const DialogDriver driver(L"배포 파일 선택", [&](HWND dialog) {
      secondFolder = folderOf(dialog);
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    ::SendMessageW(H(C::cmdFindFile), BM_CLICK, 0, 0);
    ASSERT_TRUE(driver.acted());
  }
  EXPECT_TRUE(fs::equivalent(fs::path(win32::Wide(secondFolder)), root_ / "out")) << secondFolder;
  EXPECT_TRUE(fs::equivalent(fs::path(win32::Wide(Selection())), fs::path(win32::Wide(chosen))));
}

TEST_F(Form1Win32Test, ACommandLineStartSignsAndPublishesPaintingTheBarAndClosesTheWindow) {
  LocalServer server;
  fs::create_directories(root_ / "drop" / "unsigned");
  fs::create_directories(root_ / "drop" / "signed");
  testing::SigningService signing(testing::Utf8Of(root_ / "drop"));
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  ApplySigningDirOverride(config, testing::Utf8Of(root_ / "drop"));
  const fs::path program = root_ / "Tool.Setup.exe";
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  Form1& f = Make();
  PaintedPositions painted(H(C::ProgressBar1));
  f.Load(testing::Utf8Of(program));
  EXPECT_TRUE(f.logic().running());  // the load returned with the run going
  ASSERT_TRUE(WaitForRun());

  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_TRUE(boxes.recorded.shown().empty());  // no "배포완료": closed after sending
  EXPECT_EQ(f.hwnd(), nullptr);
  EXPECT_TRUE(QuitPosted());
  // The signed copy went out, and its lastver file after it.
  EXPECT_TRUE(testing::SignatureVerifies(testing::Utf8Of(program), signing.certificate()));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"), Bytes(program));
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  EXPECT_EQ(ReadRecentFiles(settings), Strings{testing::Utf8Of(program)});
  // The bar was painted full before the window closed.
  EXPECT_THAT(painted.positions, ::testing::Contains(kBarSteps));
}

TEST_F(Form1Win32Test, DuringARunDistributeIsDisabledAndClosingAsksWhetherToStop) {
  LocalServer server;
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const fs::path program = root_ / "Tool.Setup.exe";
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  // A packer that takes its time: the run waits for it.
  const std::string packer = testing::InstallFakeProgram(root_, "upx", {"any sleep 1000"});
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  f.SetText(C::cmbLocalFullPath, testing::Utf8Of(program));
  f.SetText(C::Text1, packer);
  f.SetTick(C::chkCodeSigning, kUnticked);
  f.SetTick(C::chkSuccUnload, kUnticked);
  ::SendMessageW(H(C::cmdDistribute), BM_CLICK, 0, 0);  // which gives it the focus
  EXPECT_TRUE(f.logic().running());
  EXPECT_FALSE(::IsWindowEnabled(H(C::cmdDistribute)));
  // The focus went to the selection, where Enter starts nothing now.
  const HWND field = ::GetWindow(H(C::cmbLocalFullPath), GW_CHILD);
  EXPECT_EQ(::GetFocus(), field);
  PressKey(field, VK_RETURN);

  // The close box while the packer works: the question, No, and the run
  // goes on to its end.
  ::PostMessageW(f.hwnd(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !boxes.recorded.shown().empty(); }));
  EXPECT_EQ(boxes.recorded.shown()[0].text, kStopQuestion);
  EXPECT_EQ(boxes.recorded.shown()[0].style, kStyleQuestionYesNo);
  EXPECT_TRUE(f.logic().running());
  ASSERT_TRUE(WaitForRun());
  EXPECT_TRUE(f.lastRun().AllPublished());
  ASSERT_EQ(boxes.recorded.shown().size(), 2u);
  EXPECT_EQ(boxes.recorded.shown()[1].text, "배포완료");
  EXPECT_TRUE(::IsWindowEnabled(H(C::cmdDistribute)));
  EXPECT_NE(f.hwnd(), nullptr);

  // Esc during the next run, Yes: the window goes at once, the packer is
  // ended and the file put back as it was.
  const long packerMs = 20000;
  testing::ControlFakeProgram(root_, {"any sleep " + std::to_string(packerMs)});
  const std::string before = Bytes(program);
  server.PutUploaded("Tool.Setup_lastver.txt", "32\r\n");
  ::SendMessageW(H(C::cmdDistribute), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return fs::exists(program.string() + ".before-upx"); }));
  boxes.recorded.AnswerNextQuestion(kAnswerYes);
  const auto stopped = std::chrono::steady_clock::now();
  PressKey(::GetWindow(H(C::cmbLocalFullPath), GW_CHILD), VK_ESCAPE);
  EXPECT_EQ(f.hwnd(), nullptr);
  EXPECT_TRUE(QuitPosted());
  f.logic().EndRun();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
  EXPECT_LT(seconds, packerMs / 1000.0 / 4);  // the packer's time was not waited out
  EXPECT_EQ(Bytes(program), before);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "32\r\n");
  EXPECT_EQ(boxes.recorded.shown().size(), 3u);  // nothing after the question
}

TEST_F(Form1Win32Test, TheWindowAnswersWhileTheServerDoesNotAnswer) {
  // The lastver read gets no answer until its time-out, long enough that a
  // loaded machine's slowness cannot be mistaken for it.
  constexpr long kStall = 40;
  LocalServer server({"--lastver-fault", "stall"});
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const fs::path program = root_ / "Tool.Setup.exe";
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  Form1Services services{boxes, {files, settings, cp949, facts, launcher, sleeper}, config};
  services.urlTimeouts = {5, kStall};
  form = std::make_unique<Form1>(services);
  Form1& f = *form;
  f.Load("");
  f.ShowForm();
  f.SetText(C::cmbLocalFullPath, testing::Utf8Of(program));
  f.SetTick(C::chkCodeSigning, kUnticked);
  ::SendMessageW(H(C::cmdDistribute), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return server.CommandLogText().find("HTTP GET") != std::string::npos; }));

  // A message from another thread, as the system's check for a hung window
  // sends one, is answered while the run waits.
  const HWND window = f.hwnd();
  double answeredIn = -1;
  std::thread asker([&] {
    const auto sent = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kStall * 1000 / 2, &result)) {
      answeredIn = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    }
  });
  ASSERT_TRUE(PumpUntil([&] { return answeredIn >= 0; }, std::chrono::seconds(kStall / 2 + 2)));
  asker.join();
  EXPECT_LT(answeredIn, kStall / 10.0) << "answered after " << answeredIn << " s";
  EXPECT_TRUE(f.logic().running());  // during the wait, not after it
  // Esc asks at once; Yes ends the wait without its time-out.
  boxes.recorded.AnswerNextQuestion(kAnswerYes);
  PressKey(::GetWindow(H(C::cmbLocalFullPath), GW_CHILD), VK_ESCAPE);
  ASSERT_EQ(boxes.recorded.shown().size(), 1u);
  EXPECT_EQ(boxes.recorded.shown()[0].text, kStopQuestion);
  EXPECT_EQ(f.hwnd(), nullptr);
  EXPECT_TRUE(QuitPosted());
}

TEST_F(Form1Win32Test, TypingIntoTheSelectionClearsTheVersionShown) {
  settings.Set(kAppTitle, "RecentFiles", "1", "C:\\b\\y.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "C:\\a\\z.exe");
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  f.logic().VersionShown("버전: 1.01.33");
  ::SendMessageW(::GetWindow(H(C::cmbLocalFullPath), GW_CHILD), WM_CHAR, L'x', 1);
  EXPECT_EQ(f.Text(C::lblVer), "버전:");
  f.logic().VersionShown("버전: 1.01.33");
  // A path chosen from the selection's own list, by arrow key.
  f.FocusOn(C::cmbLocalFullPath);
  PressKey(::GetWindow(H(C::cmbLocalFullPath), GW_CHILD), VK_DOWN);
  EXPECT_EQ(f.Text(C::lblVer), "버전:");
}

// Run by its own test at 144 DPI on a 1024 by 768 screen (a wine session
// with --dpi 144); at 96 DPI the window fits anyway and this is skipped.
TEST_F(Form1Win32Test, AtALargeScaleOnASmallScreenEveryControlStaysOnTheWorkArea) {
  const UINT dpi = [] {
    const HDC screen = ::GetDC(nullptr);
    const int value = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return static_cast<UINT>(value);
  }();
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  if (dpi < 144 || work.right - work.left > 1024) {
    GTEST_SKIP() << "needs 144 DPI on a 1024 by 768 screen; this is " << dpi << " DPI, "
                 << work.right - work.left << " wide";
  }
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  // At 144 DPI the window would be 1314 pixels wide: it is laid out at the
  // largest scale that fits instead.
  EXPECT_GT(f.twipsPerPixel(), 10);
  RECT window{};
  ::GetWindowRect(f.hwnd(), &window);
  EXPECT_GE(window.left, work.left);
  EXPECT_GE(window.top, work.top);
  EXPECT_LE(window.right, work.right);
  EXPECT_LE(window.bottom, work.bottom);
  RECT client{};
  ::GetClientRect(f.hwnd(), &client);
  ::MapWindowPoints(f.hwnd(), HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  const HFONT font = reinterpret_cast<HFONT>(::SendMessageW(H(C::cmdDistribute), WM_GETFONT, 0, 0));
  for (const ControlLayout& l : kForm1Layout) {
    if (l.id == C::lblWaiting) continue;  // hidden until the signing wait
    const HWND h = H(l.id);
    RECT at{};
    ::GetWindowRect(h, &at);
    if (l.id != C::cmbLocalFullPath && l.id != C::cmbLocalFileOnly) {
      // (A combo box's window is as high as its dropped list.)
      EXPECT_LE(at.bottom, client.bottom) << l.name;
    }
    EXPECT_GE(at.left, client.left) << l.name;
    EXPECT_GE(at.top, client.top) << l.name;
    EXPECT_LE(at.right, client.right) << l.name;
    EXPECT_TRUE(::IsWindowVisible(h)) << l.name;
    // A caption fits its control in the font it is drawn in.
    const std::wstring caption = win32::Wide(l.caption);
    if (caption.empty() || l.id == C::Text1) continue;
    RECT needed{0, 0, 0, 0};
    const HDC dc = ::GetDC(h);
    const HGDIOBJ old = ::SelectObject(dc, font);
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &needed, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(h, dc);
    const bool box = (StyleOf(h) & BS_TYPEMASK) == BS_AUTOCHECKBOX && ClassOf(h) == L"Button";
    const int glyph = box ? ::GetSystemMetrics(SM_CXMENUCHECK) : 0;
    EXPECT_LE(needed.right + glyph, at.right - at.left) << l.name;
  }
}

// The child of `dialog` of that class (and caption, when given).
HWND ChildOf(HWND dialog, const wchar_t* windowClass, const wchar_t* caption = nullptr) {
  return ::FindWindowExW(dialog, nullptr, windowClass, caption);
}

// Where a child stands in its parent's client area.
RECT PlaceOf(HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST_F(Form1Win32Test, ThePasswordDialogMasksTheFieldKeepsOkOffUntilTypedAndReturnsTheTick) {
  Form1& f = Make();
  f.Load("");
  f.ShowForm();
  DialogDriver typing(L"FTP 비밀번호", [&](HWND dialog) {
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), f.hwnd());
    const HWND prompt = ChildOf(dialog, WC_STATICW);
    const HWND field = ChildOf(dialog, WC_EDITW);
    const HWND save = ChildOf(dialog, WC_BUTTONW, L"저장");
    const HWND ok = ChildOf(dialog, WC_BUTTONW, L"확인");
    const HWND cancel = ChildOf(dialog, WC_BUTTONW, L"취소");
    ASSERT_TRUE(prompt && field && save && ok && cancel);
    // At the table's places, at 15 twips per pixel.
    const std::pair<HWND, PasswordDialogControl> places[] = {
        {prompt, PasswordDialogControl::lblPrompt}, {field, PasswordDialogControl::txtPassword},
        {save, PasswordDialogControl::chkSave},     {ok, PasswordDialogControl::cmdOk},
        {cancel, PasswordDialogControl::cmdCancel}};
    for (const auto& [hwnd, id] : places) {
      const PasswordDialogItem& item = PasswordDialogItemOf(id);
      const RECT r = PlaceOf(hwnd);
      EXPECT_EQ(r.left, item.left / 15) << item.name;
      EXPECT_EQ(r.top, item.top / 15) << item.name;
      EXPECT_EQ(r.right - r.left, item.width / 15) << item.name;
    }
    wchar_t text[128] = {};
    ::GetWindowTextW(prompt, text, 128);
    EXPECT_EQ(std::wstring(text), L"무엇을 묻는지");
    EXPECT_NE(StyleOf(field) & ES_PASSWORD, 0);
    EXPECT_EQ(::GetFocus(), field);
    EXPECT_FALSE(::IsWindowEnabled(ok));
    ::SetWindowTextW(field, L"pass word");
    EXPECT_TRUE(::IsWindowEnabled(ok));
    ::SendMessageW(save, BM_CLICK, 0, 0);
    ::SendMessageW(ok, BM_CLICK, 0, 0);
  });
  const std::optional<EnteredPassword> answer = f.AskPassword("무엇을 묻는지");
  EXPECT_TRUE(typing.acted());
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->password, "pass word");
  EXPECT_TRUE(answer->keep);

  // Esc cancels, whatever was typed.
  DialogDriver cancelling(L"FTP 비밀번호", [&](HWND dialog) {
    const HWND field = ChildOf(dialog, WC_EDITW);
    ::SetWindowTextW(field, L"typed");
    ::PostMessageW(field, WM_KEYDOWN, VK_ESCAPE, 1);
    ::PostMessageW(field, WM_KEYUP, VK_ESCAPE, 0xC0000001);
  });
  EXPECT_FALSE(f.AskPassword("다시").has_value());
  EXPECT_TRUE(cancelling.acted());
}

}  // namespace
}  // namespace parone

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
