// Qt Widgets implementation of the interface defined in
// main_window/form1_controls.hpp.
#include "main_window/qt/form1.hpp"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <vector>

#include "common/path_names.hpp"
#include "common/tick_state.hpp"
#include "main_window/qt/password_dialog.hpp"

namespace parone {
namespace {

using C = Form1Control;

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

int TickOf(const QCheckBox& box) {
  switch (box.checkState()) {
    case Qt::Checked:
      return kTicked;
    case Qt::PartiallyChecked:
      return kGreyed;
    default:
      return kUnticked;
  }
}

// Local files offered by a drag, in the order of the list.
std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(S(url.toLocalFile()));
  }
  return paths;
}

QColor FromColourValue(unsigned long bbggrr) {
  return QColor(static_cast<int>(bbggrr & 0xFF), static_cast<int>((bbggrr >> 8) & 0xFF),
                static_cast<int>((bbggrr >> 16) & 0xFF));
}

}  // namespace

Form1::Form1(Form1Services services, QWidget* parent) : QDialog(parent) {
  setObjectName("Form1");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    twipsPerPixel_ = TwipsPerPixel(screen->logicalDotsPerInchX());
  }
  setWindowTitle(Q(kForm1Caption));
  BuildControls();
  logic_ = std::make_unique<Form1Logic>(*this, std::move(services));
  ConnectEvents();
}

Form1::~Form1() { logic_->EndRun(); }

QRect Form1::Twips(const ControlLayout& l) const {
  const PixelRect r = PixelsOf(l, twipsPerPixel_);
  return {r.left, r.top, r.width, r.height};
}

QWidget& Form1::Widget(Form1Control control) const {
  return *widgets_[static_cast<std::size_t>(control)];
}

template <typename T>
T& Form1::As(Form1Control control) const {
  T* widget = qobject_cast<T*>(&Widget(control));
  Q_ASSERT(widget);
  return *widget;
}

void Form1::BuildControls() {
  // Small controls at fixed places: a font that fits 12-pixel labels.
  QFont small = font();
  small.setPixelSize(TwipsToPixels(180, twipsPerPixel_));
  setFont(small);
  setFixedSize(TwipsToPixels(kForm1WidthTwips, twipsPerPixel_),
               TwipsToPixels(kForm1HeightTwips, twipsPerPixel_));

  for (const ControlLayout& l : kForm1Layout) {
    const QString caption = Q(l.caption);
    QWidget* w = nullptr;
    switch (l.id) {
      case C::Label1:
      case C::lblVer:
      case C::Label2:
      case C::lblWaiting:
        w = new QLabel(caption, this);
        break;
      case C::cmbLocalFullPath: {
        auto* combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        w = combo;
        break;
      }
      case C::cmbLocalFileOnly:
        w = new QComboBox(this);
        break;
      case C::cmdFindFile:
      case C::cmdDistribute:
      case C::cmdClose:
        w = new QPushButton(caption, this);
        break;
      case C::ProgressBar1: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        w = bar;
        break;
      }
      case C::chkSuccUnload:
      case C::ChkPassive:
      case C::chkCodeSigning: {
        auto* box = new QCheckBox(caption, this);
        box->setChecked(true);
        w = box;
        break;
      }
      case C::Text1:
        w = new QLineEdit(caption, this);
        break;
    }
    w->setObjectName(l.name);
    w->setGeometry(Twips(l));
    widgets_[static_cast<std::size_t>(l.id)] = w;
  }
  As<QPushButton>(C::cmdDistribute).setDefault(true);
  QLabel& waiting = As<QLabel>(C::lblWaiting);
  QPalette blue = waiting.palette();
  blue.setColor(QPalette::WindowText, FromColourValue(kLblWaitingColour));
  waiting.setPalette(blue);
  waiting.setVisible(false);

  // Keyboard focus order; labels take no focus.
  QWidget* previous = nullptr;
  for (const ControlLayout& l : LayoutInFocusOrder()) {
    QWidget* w = &Widget(l.id);
    if (qobject_cast<QLabel*>(w)) continue;
    if (previous) setTabOrder(previous, w);
    previous = w;
  }

  // Files dropped on the selection; the text field must not take them as text.
  QComboBox& selection = As<QComboBox>(C::cmbLocalFullPath);
  selection.setAcceptDrops(true);
  selection.lineEdit()->setAcceptDrops(false);
  selection.installEventFilter(this);
}

void Form1::ConnectEvents() {
  Form1Logic* logic = logic_.get();
  connect(&As<QPushButton>(C::cmdDistribute), &QPushButton::clicked, this,
          [logic] { logic->cmdDistribute_Click(); });
  connect(&As<QPushButton>(C::cmdClose), &QPushButton::clicked, this,
          [logic] { logic->cmdClose_Click(); });
  connect(&As<QPushButton>(C::cmdFindFile), &QPushButton::clicked, this,
          [logic] { logic->cmdFindFile_Click(); });
  connect(&As<QLineEdit>(C::Text1), &QLineEdit::textChanged, this,
          [logic] { logic->Text1_Change(); });
  QCheckBox* passive = &As<QCheckBox>(C::ChkPassive);
  connect(passive, &QCheckBox::clicked, this, [logic, passive] {
    passive->setTristate(false);  // a click never leaves it greyed
    logic->ChkPassive_Click();
  });
  connect(&As<QComboBox>(C::cmbLocalFileOnly), &QComboBox::activated, this,
          [logic](int index) { logic->cmbLocalFileOnly_Click(index); });
  // Typing and choosing from the list, not the logic's own changes.
  QComboBox* selection = &As<QComboBox>(C::cmbLocalFullPath);
  connect(selection->lineEdit(), &QLineEdit::textEdited, this,
          [logic] { logic->cmbLocalFullPath_Change(); });
  connect(selection, &QComboBox::activated, this, [logic] { logic->cmbLocalFullPath_Change(); });
}

void Form1::reject() {
  if (closeApproved_) {
    QDialog::reject();
  } else {
    logic_->cmdClose_Click();
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  if (closeApproved_) {
    QDialog::closeEvent(event);
    return;
  }
  // Asked once this event is over: a close within a close is ignored.
  event->ignore();
  QMetaObject::invokeMethod(this, [this] { logic_->cmdClose_Click(); }, Qt::QueuedConnection);
}

void Form1::Load(const std::string& commandLine) {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  logic_->Load(commandLine);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &Widget(C::cmbLocalFullPath)) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (LocalFiles(drag->mimeData()).empty()) {
        drag->ignore();  // the no-drop pointer
      } else {
        drag->acceptProposedAction();
      }
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      logic_->cmbLocalFullPath_DropFiles(LocalFiles(drop->mimeData()));
      drop->acceptProposedAction();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::string Form1::Caption() { return S(windowTitle()); }
void Form1::SetCaption(const std::string& caption) { setWindowTitle(Q(caption)); }

std::string Form1::Text(Form1Control control) {
  QWidget& w = Widget(control);
  if (auto* combo = qobject_cast<QComboBox*>(&w)) return S(combo->currentText());
  if (auto* edit = qobject_cast<QLineEdit*>(&w)) return S(edit->text());
  if (auto* label = qobject_cast<QLabel*>(&w)) return S(label->text());
  if (auto* button = qobject_cast<QAbstractButton*>(&w)) return S(button->text());
  return "";
}

void Form1::SetText(Form1Control control, const std::string& text) {
  QWidget& w = Widget(control);
  if (auto* combo = qobject_cast<QComboBox*>(&w)) {
    if (combo->isEditable()) {
      combo->setEditText(Q(text));
    } else {
      combo->setCurrentIndex(combo->findText(Q(text)));
    }
  } else if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
    edit->setText(Q(text));
  } else if (auto* label = qobject_cast<QLabel*>(&w)) {
    label->setText(Q(text));
    // A caption longer than the design width (a version text in lblVer)
    // shows whole.
    label->resize(std::max(label->sizeHint().width(), Twips(LayoutOf(control)).width()),
                  label->height());
  } else if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
    button->setText(Q(text));
  }
}

void Form1::ClearList(Form1Control combo) {
  QComboBox& box = As<QComboBox>(combo);
  box.clear();
  if (box.isEditable()) box.setEditText("");
}

int Form1::AddItem(Form1Control combo, const std::string& text, int itemData) {
  QComboBox& box = As<QComboBox>(combo);
  box.addItem(Q(text), itemData);
  return box.count() - 1;
}

int Form1::ItemData(Form1Control combo, int index) {
  const QVariant item = As<QComboBox>(combo).itemData(index);
  return item.isValid() ? item.toInt() : -1;
}

void Form1::SelectItem(Form1Control combo, int index) { As<QComboBox>(combo).setCurrentIndex(index); }

int Form1::Tick(Form1Control checkBox) { return TickOf(As<QCheckBox>(checkBox)); }

void Form1::SetTick(Form1Control checkBox, int tick) {
  QCheckBox& box = As<QCheckBox>(checkBox);
  box.setTristate(tick == kGreyed);
  box.setCheckState(tick == kTicked   ? Qt::Checked
                    : tick == kGreyed ? Qt::PartiallyChecked
                                      : Qt::Unchecked);
}

void Form1::SetVisible(Form1Control control, bool visible) { Widget(control).setVisible(visible); }

void Form1::SetEnabled(Form1Control control, bool enabled) {
  QWidget& w = Widget(control);
  // Qt would hand the focus to the next widget, 닫기, which Enter presses.
  if (!enabled && w.hasFocus()) Widget(C::cmbLocalFullPath).setFocus();
  w.setEnabled(enabled);
}

void Form1::FocusOn(Form1Control control) { Widget(control).setFocus(); }

void Form1::SetProgressMax(int max) { As<QProgressBar>(C::ProgressBar1).setMaximum(max); }

void Form1::SetProgressValue(int value) { As<QProgressBar>(C::ProgressBar1).setValue(value); }

PixelRect Form1::Bounds(Form1Control control) {
  const QRect r = Widget(control).geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

void Form1::ApplyComboSize(Form1Control combo, const ComboPixels& p) {
  QComboBox& box = As<QComboBox>(combo);
  box.setGeometry(p.left, p.top, p.width, box.height());
  box.setProperty("droppedHeightPx", p.droppedHeight);
  box.setProperty("droppedWidthPx", p.droppedWidth);
  box.view()->setMinimumWidth(p.droppedWidth);
  // Qt sizes the popup by rows: as many as fit below the box.
  const int row = box.view()->sizeHintForRow(0) > 0 ? box.view()->sizeHintForRow(0)
                                                    : box.fontMetrics().height() + 4;
  const int rows = (p.droppedHeight - box.height()) / row;
  box.setMaxVisibleItems(rows > 1 ? rows : 1);
}

void Form1::ShowForm() { show(); }

void Form1::CloseForm() {
  closeApproved_ = true;
  close();
}
bool Form1::IsFormVisible() { return isVisible(); }

std::optional<std::string> Form1::OpenFileDialog(const OpenFileRequest& request) {
  const std::string start = request.initialFileName.empty()
                                ? request.initialFolder
                                : JoinPath(request.initialFolder, request.initialFileName);
  // "*" matches names without a dot too, as "*.*" does on Windows.
  const QString pattern = request.filterPattern == "*.*" ? "*" : Q(request.filterPattern);
  const QString chosen = QFileDialog::getOpenFileName(
      this, Q(request.title), Q(start), Q(request.filterName) + " (" + pattern + ")");
  if (chosen.isEmpty()) return std::nullopt;
  return S(chosen);
}

std::optional<EnteredPassword> Form1::AskPassword(const std::string& prompt) {
  PasswordDialog dialog(prompt, twipsPerPixel_, this);
  return dialog.Ask();
}

void Form1::WakeForRun() {
  // Posted to this window's thread, whichever thread calls.
  QMetaObject::invokeMethod(this, [this] { logic_->DeliverRunEvents(); }, Qt::QueuedConnection);
}

}  // namespace parone
