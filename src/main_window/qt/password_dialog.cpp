// Qt Widgets implementation of the dialog declared in main_window/qt/password_dialog.hpp.
#include "main_window/qt/password_dialog.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "main_window/combo_sizing.hpp"
#include "main_window/password_dialog.hpp"

namespace parone {

PasswordDialog::PasswordDialog(const std::string& prompt, double twipsPerPixel, QWidget* parent)
    : QDialog(parent) {
  setObjectName("PasswordDialog");
  setWindowTitle(QString::fromUtf8(kPasswordDialogCaption));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  if (parent) setFont(parent->font());
  setFixedSize(TwipsToPixels(kPasswordDialogWidthTwips, twipsPerPixel),
               TwipsToPixels(kPasswordDialogHeightTwips, twipsPerPixel));
  for (const PasswordDialogItem& item : kPasswordDialogLayout) {
    const QString caption = QString::fromUtf8(item.caption);
    QWidget* widget = nullptr;
    switch (item.id) {
      case PasswordDialogControl::lblPrompt: {
        auto* label = new QLabel(QString::fromStdString(prompt), this);
        label->setWordWrap(true);
        widget = label;
        break;
      }
      case PasswordDialogControl::txtPassword:
        widget = field_ = new QLineEdit(this);
        field_->setEchoMode(QLineEdit::Password);
        break;
      case PasswordDialogControl::chkSave:
        widget = save_ = new QCheckBox(caption, this);
        break;
      case PasswordDialogControl::cmdOk:
        widget = ok_ = new QPushButton(caption, this);
        ok_->setDefault(true);
        ok_->setEnabled(false);
        connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
        break;
      case PasswordDialogControl::cmdCancel: {
        auto* cancel = new QPushButton(caption, this);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        widget = cancel;
        break;
      }
    }
    widget->setObjectName(item.name);
    widget->setGeometry(TwipsToPixels(item.left, twipsPerPixel), TwipsToPixels(item.top, twipsPerPixel),
                        TwipsToPixels(item.width, twipsPerPixel),
                        TwipsToPixels(item.height, twipsPerPixel));
  }
  connect(field_, &QLineEdit::textChanged, this,
          [this](const QString& text) { ok_->setEnabled(!text.isEmpty()); });
  field_->setFocus();
}

std::optional<EnteredPassword> PasswordDialog::Ask() {
  const bool accepted = exec() == QDialog::Accepted && !field_->text().isEmpty();
  std::optional<EnteredPassword> answer;
  if (accepted) answer = EnteredPassword{field_->text().toStdString(), save_->isChecked()};
  field_->clear();
  return answer;
}

}  // namespace parone
