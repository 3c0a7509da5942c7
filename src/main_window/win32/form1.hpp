#pragma once
// The window Form1 on Win32 and the common controls: its controls at the
// places of the layout table (twips at the window's DPI), their
// notifications handed to the shared window logic, and the controls
// interface that logic works through. What the window does is in
// main_window/form1_logic.hpp; this class only draws it.
//
// The constructor creates the window hidden, on the calling thread, which
// must then run RunMessageLoop (or another loop that gives the window
// IsFormMessage first) until the window is closed. A run works on a thread
// of its own and wakes the window with a posted message, whose handling
// hands the run's events to the logic. Closing from within a call into the
// logic (a message box's loop) hides the window at once and destroys it
// when that call has returned. The window is laid out at the largest scale
// at which it fits its screen's work area, and placed inside it; the
// taskbar button shows the upload's share where the shell offers one.

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "main_window/form1_controls.hpp"
#include "main_window/form1_logic.hpp"
#include "platform/windows/win32.hpp"

#include <shellapi.h>

struct ITaskbarList3;

namespace parone {

class Form1 final : public Form1Controls {
 public:
  // The common controls must have been initialised (InitCommonControlsEx);
  // the taskbar button's progress needs COM on this thread too.
  explicit Form1(Form1Services services);
  // Ends a run still going (and waits for its clean-up) before the window goes.
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The load handler (see Form1Logic::Load), on a window centred on its
  // screen. The window is still hidden afterwards unless a command line
  // showed it; the caller shows it with ShowForm.
  void Load(const std::string& commandLine);

  // Runs the thread's message loop until the window is gone; returns the
  // exit code that WM_QUIT carried.
  int RunMessageLoop();
  // Dialog keyboard handling for the window (Tab, Enter, Esc): true when
  // `msg` was handled and must not be dispatched again.
  bool IsFormMessage(MSG& msg);
  // Processes the thread's pending messages once, as the loop would.
  void ProcessPendingMessages();

  HWND hwnd() const { return hwnd_; }
  HWND Handle(Form1Control control) const { return controls_[Index(control)]; }
  Form1Logic& logic() { return *logic_; }
  const RunOutcome& lastRun() const { return logic_->lastRun(); }
  double twipsPerPixel() const { return twipsPerPixel_; }

  // Form1Controls
  std::string Caption() override;
  void SetCaption(const std::string& caption) override;
  std::string Text(Form1Control control) override;
  void SetText(Form1Control control, const std::string& text) override;
  void ClearList(Form1Control combo) override;
  int AddItem(Form1Control combo, const std::string& text, int itemData) override;
  int ItemData(Form1Control combo, int index) override;
  void SelectItem(Form1Control combo, int index) override;
  int Tick(Form1Control checkBox) override;
  void SetTick(Form1Control checkBox, int tick) override;
  void SetVisible(Form1Control control, bool visible) override;
  void SetEnabled(Form1Control control, bool enabled) override;
  void FocusOn(Form1Control control) override;
  void SetProgressMax(int max) override;
  void SetProgressValue(int value) override;
  void SetTaskbarProgress(TaskbarProgress state, int value, int max) override;
  PixelRect Bounds(Form1Control control) override;
  double TwipsPerPixelX() override { return twipsPerPixel_; }
  double TwipsPerPixelY() override { return twipsPerPixel_; }
  void ApplyComboSize(Form1Control combo, const ComboPixels& pixels) override;
  void ShowForm() override;
  void CloseForm() override;
  bool IsFormVisible() override;
  std::optional<std::string> OpenFileDialog(const OpenFileRequest& request) override;
  std::optional<EnteredPassword> AskPassword(const std::string& prompt) override;
  void WakeForRun() override;
  std::intptr_t WindowHandle() override { return reinterpret_cast<std::intptr_t>(hwnd_); }

 private:
  struct FontDeleter {
    void operator()(HFONT font) const { ::DeleteObject(font); }
  };
  using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;
  struct TaskbarReleaser {
    void operator()(ITaskbarList3* taskbar) const;
  };

  static constexpr std::size_t Index(Form1Control control) {
    return static_cast<std::size_t>(control);
  }
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SelectionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR self);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code);
  void OnDropFiles(HDROP drop);
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  void CreateControls();
  // The screen's `dpi`, and the scale the layout fits `work` at.
  void UseDpi(UINT dpi, const RECT& work);
  void LayOut();
  SIZE WindowSizeForClient() const;
  // The window at its size, at `topLeft` moved into `work` as far as needed.
  void PlaceIn(const RECT& work, POINT topLeft);
  void FitLabel(Form1Control label);
  ITaskbarList3* Taskbar();
  // Calls into the logic through here: a close asked for meanwhile destroys
  // the window once the outermost call has returned.
  template <typename Call>
  void CallLogic(Call&& call);
  void DestroyNow();

  std::unique_ptr<Form1Logic> logic_;
  HWND hwnd_ = nullptr;
  std::array<HWND, kForm1Layout.size()> controls_{};
  UINT dpi_ = 96;              // the screen's: the frame is drawn at it
  double twipsPerPixel_ = 15;  // the layout's, which may be smaller than the screen's
  // Where the run's thread posts its wake-up; null once the window is gone.
  std::atomic<HWND> wakeTarget_{nullptr};
  std::unique_ptr<ITaskbarList3, TaskbarReleaser> taskbar_;
  bool taskbarTried_ = false;
  UniqueFont font_;
  int lineHeight_ = 0;
  int progressMax_ = 100;
  int progressFill_ = -1;  // the bar's filled pixels as last painted
  std::optional<Form1Control> pendingFocus_;
  int handling_ = 0;
  bool closing_ = false;
  bool destroying_ = false;  // by the destructor: the program goes on
};

}  // namespace parone
