// Message boxes on Win32, looked at while they are up: the style numbers
// are the platform's flags, so each style shows its buttons, its icon and
// its default button, under its caption and owned by the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows_gui/win32_message_boxes.hpp"

namespace parone {
namespace {

// What a box showed, seen from outside through its windows.
struct SeenBox {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // ids of the shown push buttons, in window order
  int defaultId = 0;  // the button drawn as the default one (Enter presses it)
  HICON icon = nullptr;
  HWND owner = nullptr;
};

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  ::GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

// Waits, on a thread timer that the box's own message loop runs, for the
// thread's message box, notes what it shows and presses `press`.
class BoxWatcher {
 public:
  explicit BoxWatcher(int press) : press_(press) {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 20, &BoxWatcher::OnTimer);
  }
  ~BoxWatcher() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  const SeenBox& seen() const { return seen_; }
  bool found() const { return found_; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ && !current_->found_) current_->Look();
  }
  static BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
    if (ClassOf(hwnd) == L"#32770" && ::IsWindowVisible(hwnd)) {
      *reinterpret_cast<HWND*>(found) = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  static BOOL CALLBACK NoteChild(HWND child, LPARAM self) {
    SeenBox& seen = reinterpret_cast<BoxWatcher*>(self)->seen_;
    if (!::IsWindowVisible(child)) return TRUE;
    const std::wstring windowClass = ClassOf(child);
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if (_wcsicmp(windowClass.c_str(), L"Button") == 0) {
      seen.buttons.push_back(::GetDlgCtrlID(child));
      if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) seen.defaultId = ::GetDlgCtrlID(child);
    } else if (_wcsicmp(windowClass.c_str(), L"Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        seen.icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
      } else if (!TextOf(child).empty()) {
        seen.text = TextOf(child);
      }
    }
    return TRUE;
  }
  void Look() {
    HWND box = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &BoxWatcher::FindBox, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    found_ = true;
    seen_.caption = TextOf(box);
    seen_.owner = ::GetWindow(box, GW_OWNER);
    ::EnumChildWindows(box, &BoxWatcher::NoteChild, reinterpret_cast<LPARAM>(this));
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(press_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, press_)));
  }

  static inline BoxWatcher* current_ = nullptr;
  int press_;
  UINT_PTR timer_ = 0;
  bool found_ = false;
  SeenBox seen_;
};

class Win32MessageBoxesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    ::ShowWindow(owner_, SW_SHOW);
  }
  void TearDown() override {
    if (owner_) ::DestroyWindow(owner_);
  }
  HWND owner_ = nullptr;
};

TEST_F(Win32MessageBoxesTest, EachStyleShowsItsButtonsIconAndDefaultAndAnswersThePressedButton) {
  struct Row {
    const char* what;
    int style;
    std::vector<int> buttons;
    int defaultId;
    bool icon;
    int press;
    int answer;
  };
  const Row rows[] = {
      // a report: OK alone, no icon
      {"0", kStyleOkOnly, {IDOK}, IDOK, false, IDOK, kAnswerOk},
      // a warning: OK with the exclamation mark
      {"48", kStyleWarning, {IDOK}, IDOK, true, IDOK, kAnswerOk},
      // a question: Yes and No with the question mark, No as the default
      {"292 Yes", kStyleQuestionYesNo, {IDYES, IDNO}, IDNO, true, IDYES, kAnswerYes},
      {"292 No", kStyleQuestionYesNo, {IDYES, IDNO}, IDNO, true, IDNO, kAnswerNo},
  };
  Win32MessageBoxes boxes(owner_);
  HICON warning = nullptr;
  HICON question = nullptr;
  for (const Row& row : rows) {
    const BoxWatcher watcher(row.press);
    const int answer = boxes.Show("배포 실패!!", row.style);
    ASSERT_TRUE(watcher.found()) << row.what;
    const SeenBox& seen = watcher.seen();
    EXPECT_EQ(answer, row.answer) << row.what;
    EXPECT_EQ(seen.caption, L"파로네_배포") << row.what;
    EXPECT_EQ(seen.text, L"배포 실패!!") << row.what;
    EXPECT_EQ(seen.buttons, row.buttons) << row.what;
    EXPECT_EQ(seen.defaultId, row.defaultId) << row.what;
    EXPECT_EQ(seen.icon != nullptr, row.icon) << row.what;
    EXPECT_EQ(seen.owner, owner_) << row.what;
    if (row.style == kStyleWarning) warning = seen.icon;
    if (row.style == kStyleQuestionYesNo) question = seen.icon;
  }
  // Not the same mark for a warning and a question.
  EXPECT_NE(warning, question);
}

TEST_F(Win32MessageBoxesTest, ABoxNamesItsOwnCaptionAndOneWithoutAWindowShowsUnowned) {
  Win32MessageBoxes boxes(owner_);
  {
    const BoxWatcher watcher(IDOK);
    boxes.Show("Error copying File", kStyleOkOnly, "CopyFileChecked");
    ASSERT_TRUE(watcher.found());
    EXPECT_EQ(watcher.seen().caption, L"CopyFileChecked");
  }
  // The window closed while a run still reports.
  ::DestroyWindow(owner_);
  owner_ = nullptr;
  const BoxWatcher watcher(IDOK);
  EXPECT_EQ(boxes.Show("배포완료", kStyleOkOnly), kAnswerOk);
  ASSERT_TRUE(watcher.found());
  EXPECT_EQ(watcher.seen().owner, nullptr);
}

}  // namespace
}  // namespace parone
