#pragma once
// The password dialog of main_window/password_dialog.hpp on Qt Widgets:
// the prompt, a masked field, the "저장" box and OK and Cancel, at the
// places of the table. OK stays disabled while the field is empty.

#include <QDialog>

#include <optional>
#include <string>

#include "main_window/form1_controls.hpp"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace parone {

class PasswordDialog final : public QDialog {
 public:
  PasswordDialog(const std::string& prompt, double twipsPerPixel, QWidget* parent);

  // Shows the dialog modal until it is answered: the password and the tick,
  // nullopt when cancelled or closed. The field is emptied afterwards.
  std::optional<EnteredPassword> Ask();

 private:
  QLineEdit* field_ = nullptr;
  QCheckBox* save_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace parone
