#pragma once
// The window Form1 on Qt Widgets: its widgets at the places of the layout
// table, their events handed to the shared window logic, and the controls
// interface that logic works through. What the window does is in
// main_window/form1_logic.hpp; this class only draws it.
//
// A run works on a thread of its own and wakes the window with a queued
// call; Esc, 닫기 and the title bar's close box all go to the logic's
// cmdClose_Click, which asks during a run whether to stop it.

#include <QDialog>

#include <array>
#include <memory>
#include <string>

#include "main_window/form1_controls.hpp"
#include "main_window/form1_logic.hpp"

class QComboBox;

namespace parone {

class Form1 final : public QDialog, public Form1Controls {
 public:
  explicit Form1(Form1Services services, QWidget* parent = nullptr);
  // Ends a run still going (and waits for its clean-up) before the widgets go.
  ~Form1() override;

  // The load handler (see Form1Logic::Load), on a window centred on the
  // screen.
  void Load(const std::string& commandLine);

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
  // A Linux desktop has no taskbar progress that every desktop shows.
  void SetTaskbarProgress(TaskbarProgress, int, int) override {}
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
  // Qt offers no native owner a started program's dialogs could use.
  std::intptr_t WindowHandle() override { return 0; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Esc reaches reject(), the title bar's close box closeEvent: the logic
  // decides either way, and once it has closed the window (CloseForm) the
  // dialog goes.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ConnectEvents();
  QRect Twips(const ControlLayout& layout) const;
  QWidget& Widget(Form1Control control) const;
  template <typename T>
  T& As(Form1Control control) const;

  double twipsPerPixel_ = 15;
  std::array<QWidget*, kForm1Layout.size()> widgets_{};
  std::unique_ptr<Form1Logic> logic_;
  bool closeApproved_ = false;  // CloseForm was called: a close goes through
};

}  // namespace parone
