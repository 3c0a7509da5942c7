// Qt Widgets implementation of the MessageBoxes interface defined in platform/message_box.hpp.
#include "platform/qt_widgets/qt_message_boxes.hpp"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>

namespace parone {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

BoxLook LookForStyle(int style) {
  BoxLook look{QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok};
  switch (style & 0x0F) {
    case 1:
      look.buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case 3:
      look.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
    case 4:
      look.buttons = QMessageBox::Yes | QMessageBox::No;
      break;
    default:
      break;
  }
  switch (style & 0x70) {
    case 16:
      look.icon = QMessageBox::Critical;
      break;
    case 32:
      look.icon = QMessageBox::Question;
      break;
    case 48:
      look.icon = QMessageBox::Warning;
      break;
    case 64:
      look.icon = QMessageBox::Information;
      break;
    default:
      break;
  }
  const bool second = (style & 0x300) == 0x100;
  if (look.buttons == (QMessageBox::Yes | QMessageBox::No) ||
      look.buttons == (QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    look.defaultButton = second ? QMessageBox::No : QMessageBox::Yes;
  } else if (look.buttons == (QMessageBox::Ok | QMessageBox::Cancel)) {
    look.defaultButton = second ? QMessageBox::Cancel : QMessageBox::Ok;
  }
  return look;
}

int CaptionWidth(const QString& caption) {
  const QFontMetrics title(QFontDatabase::systemFont(QFontDatabase::TitleFont));
  return title.horizontalAdvance(caption) + kTitleBarButtonsAllowance;
}

int QtMessageBoxes::Show(std::string_view text, int style, std::string_view caption) {
  const BoxLook look = LookForStyle(style);
  QMessageBox box(look.icon, FromUtf8(caption), FromUtf8(text), look.buttons, parent_);
  // QMessageBox sizes itself to its text and buttons when shown, ignoring a
  // minimum width; a row of that width in its own layout is what it keeps.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle()), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  box.setDefaultButton(look.defaultButton);
  // Esc means the safe answer: No where there is one.
  if (look.buttons & QMessageBox::No) box.setEscapeButton(QMessageBox::No);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return kAnswerYes;
    case QMessageBox::No:
      return kAnswerNo;
    case QMessageBox::Cancel:
      return 2;  // the platform's Cancel answer
    default:
      return kAnswerOk;
  }
}

}  // namespace parone
