#pragma once
// Modal message boxes with QMessageBox. Show blocks in the box's own event
// loop until the user answers; the parent window stays painted. Call from
// the GUI thread only. A box is never narrower than its caption needs in the
// title bar, however short its text.

#include <QMessageBox>

#include "platform/message_box.hpp"

class QWidget;

namespace parone {

// What a style means on screen.
struct BoxLook {
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon;
  QMessageBox::StandardButton defaultButton;
};

// 0: OK, no icon; 48: OK with the warning icon; 292: Yes/No with the question
// icon and No as default. Other values: the closest of these by their bits
// (buttons from the low nibble, icon from 16/32/48/64, default from 256).
BoxLook LookForStyle(int style);

// Room a title bar takes besides the caption's text: the window icon, the
// close button (and the space a minimise button would take) and margins, in
// device-independent pixels.
inline constexpr int kTitleBarButtonsAllowance = 120;

// The width a box needs for `caption` to show whole in its title bar, by the
// metrics of the title font.
int CaptionWidth(const QString& caption);

class QtMessageBoxes final : public MessageBoxes {
 public:
  explicit QtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override;

 private:
  QWidget* parent_;
};

}  // namespace parone
