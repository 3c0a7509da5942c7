#pragma once
// The window's controls as the shared window logic reaches them. Each
// toolkit window implements it over its own controls: the Win32 window with
// window handles and messages, the Qt window with its widgets; tests record
// it. Every call comes from the GUI thread, except WakeForRun, which the
// run's thread makes. None blocks, except OpenFileDialog and AskPassword
// (modal).
//
// A run works on a thread of its own while the window's message loop goes
// on, so a change is painted as the toolkit paints any change.

#include <cstdint>
#include <optional>
#include <string>

#include "main_window/combo_sizing.hpp"
#include "main_window/form1_layout.hpp"

namespace parone {

// Pixels within the window's client area.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// Where a control of the table stands at `twipsPerPixel`, by the rounding
// of TwipsToPixels.
inline PixelRect PixelsOf(const ControlLayout& layout, double twipsPerPixel) {
  return {TwipsToPixels(layout.left, twipsPerPixel), TwipsToPixels(layout.top, twipsPerPixel),
          TwipsToPixels(layout.width, twipsPerPixel), TwipsToPixels(layout.height, twipsPerPixel)};
}

// The window's button on the taskbar, where the platform has one.
enum class TaskbarProgress {
  kNone,    // no progress shown
  kNormal,  // the share given
  kError,   // the share given, in the colour of a failure
};

struct OpenFileRequest {
  std::string title;
  std::string initialFolder;
  std::string initialFileName;  // often ""
  std::string filterName;       // what the filter is called, e.g. "모든파일"
  std::string filterPattern;    // e.g. "*.*"; a toolkit may widen it to names without a dot
};

// What the user answered in the password dialog (password_dialog.hpp).
struct EnteredPassword {
  std::string password;  // UTF-8, never empty
  bool keep = false;     // "저장" was ticked
};

class Form1Controls {
 public:
  virtual ~Form1Controls() = default;

  // The window's title bar.
  virtual std::string Caption() = 0;
  virtual void SetCaption(const std::string& caption) = 0;

  // The text of the combo boxes' text fields, of Text1, and the caption of
  // a label, button or check box. For cmbLocalFileOnly it is the chosen
  // item's text. Setting Text1 raises Text1's change event, as typing does
  // (an edit control sends EN_CHANGE on WM_SETTEXT too).
  virtual std::string Text(Form1Control control) = 0;
  virtual void SetText(Form1Control control, const std::string& text) = 0;

  // The lists of the two combo boxes. ClearList empties the list and the
  // text field. AddItem appends the item carrying `itemData`, or, in a list
  // that the toolkit keeps sorted itself (a CBS_SORT list), inserts it at its
  // sorted place; it returns the index where the item landed. ItemData of an
  // index the list does not hold is -1. SelectItem makes item `index` the
  // chosen one, which puts its text into the text field; -1 chooses none.
  virtual void ClearList(Form1Control combo) = 0;
  virtual int AddItem(Form1Control combo, const std::string& text, int itemData) = 0;
  virtual int ItemData(Form1Control combo, int index) = 0;
  virtual void SelectItem(Form1Control combo, int index) = 0;

  // Check boxes: 0 unticked, 1 ticked, 2 greyed. Setting never raises the
  // click event (BM_SETCHECK sends no BN_CLICKED).
  virtual int Tick(Form1Control checkBox) = 0;
  virtual void SetTick(Form1Control checkBox, int tick) = 0;

  virtual void SetVisible(Form1Control control, bool visible) = 0;
  // A disabled control takes no input and looks so; one that has the
  // keyboard focus hands it to cmbLocalFullPath first, so that the window's
  // keys still work (and Enter does not press the next button, 닫기).
  virtual void SetEnabled(Form1Control control, bool enabled) = 0;
  virtual void FocusOn(Form1Control control) = 0;

  // ProgressBar1, in whole steps.
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressValue(int value) = 0;
  // The taskbar button's progress, `value` of `max`; a toolkit on a
  // platform without one does nothing.
  virtual void SetTaskbarProgress(TaskbarProgress state, int value, int max) = 0;

  // Where a control stands now, and the screen's density.
  virtual PixelRect Bounds(Form1Control control) = 0;
  virtual double TwipsPerPixelX() = 0;
  virtual double TwipsPerPixelY() = 0;
  // What CmbSetSize computed: the combo box moved to left, top and width,
  // `droppedHeight` high with its list dropped down (MoveWindow), and the
  // list at least `droppedWidth` wide (CB_SETDROPPEDWIDTH).
  virtual void ApplyComboSize(Form1Control combo, const ComboPixels& pixels) = 0;

  // Shows the window, not modal.
  virtual void ShowForm() = 0;
  // Closes the window; closing the one window ends the program.
  virtual void CloseForm() = 0;
  virtual bool IsFormVisible() = 0;

  // The modal open-file dialog for one file: nullopt when the user cancelled
  // or closed it; otherwise the chosen file's full path (when the dialog
  // fails to show, whatever file name it holds, normally the initial one).
  virtual std::optional<std::string> OpenFileDialog(const OpenFileRequest& request) = 0;
  // The modal password dialog of password_dialog.hpp, saying `prompt`:
  // nullopt when the user cancelled or closed it.
  virtual std::optional<EnteredPassword> AskPassword(const std::string& prompt) = 0;

  // Called on the run's thread: makes the window's thread call
  // Form1Logic::DeliverRunEvents soon (a posted message). Never blocks. The
  // window ends its run (Form1Logic::EndRun) before it goes, so this never
  // meets a window that is gone.
  virtual void WakeForRun() = 0;
  // The owner for dialogs of programs the run starts; 0 when the toolkit has
  // no native handle to offer.
  virtual std::intptr_t WindowHandle() = 0;
};

}  // namespace parone
