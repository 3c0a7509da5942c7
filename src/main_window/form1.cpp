#include "main_window/form1.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include "common/numeric_text.hpp"
#include "common/path_names.hpp"
#include "common/tick_state.hpp"
#include "distribution/recent_files.hpp"
#include "main_window/combo_sizing.hpp"

namespace parone {
namespace {

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

void SetTick(QCheckBox& box, int tick) {
  box.setTristate(tick == kGreyed);
  box.setCheckState(tick == kTicked   ? Qt::Checked
                    : tick == kGreyed ? Qt::PartiallyChecked
                                      : Qt::Unchecked);
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

}  // namespace

// The window's progress bar: keeps the values as given (single precision,
// as the workflow counts) and shows them at once, since a transfer blocks
// the event loop.
class Form1::Progress final : public ProgressDisplay {
 public:
  explicit Progress(QProgressBar& bar) : bar_(bar) {}
  float Max() const override { return max_; }
  void SetMax(float max) override {
    max_ = max;
    bar_.setMaximum(static_cast<int>(max));
    bar_.repaint();
  }
  float Value() const override { return value_; }
  void SetValue(float value) override {
    value_ = value;
    // QProgressBar repaints synchronously whenever the change shows on
    // screen, and skips the steps that would not: repainting at every
    // 1 KiB block would cost more than the transfer itself.
    bar_.setValue(static_cast<int>(value));
  }

 private:
  QProgressBar& bar_;
  float max_ = 100;
  float value_ = 0;
};

Form1::Form1(Form1Services services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
  setObjectName("Form1");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    twipsPerPixel_ = TwipsPerPixel(screen->logicalDotsPerInchX());
  }
  setWindowTitle(Q(kForm1Caption));
  BuildControls();

  context_ = std::make_unique<DistributionContext>(DistributionContext{
      *this, services_.boxes, services_.files, services_.settings, services_.codePage,
      services_.facts, services_.launcher, services_.config, services_.ftpTimeouts,
      services_.urlTimeouts});
  questions_ = std::make_unique<MessageBoxQuestions>(services_.boxes);
  steps_ = std::make_unique<WorkflowSteps>(*context_, *questions_);
  signing_ = std::make_unique<DropFolderSigning>(*context_, services_.sleeper, *this,
                                                 services_.signingPollMs);
  run_ = std::make_unique<DistributionRun>(*this, services_.boxes, *steps_, signing_.get());
}

Form1::~Form1() = default;

QRect Form1::Twips(int left, int top, int width, int height) const {
  return {TwipsToPixels(left, twipsPerPixel_), TwipsToPixels(top, twipsPerPixel_),
          TwipsToPixels(width, twipsPerPixel_), TwipsToPixels(height, twipsPerPixel_)};
}

void Form1::BuildControls() {
  // Small controls at fixed places: a font that fits 12-pixel labels.
  QFont small = font();
  small.setPixelSize(TwipsToPixels(180, twipsPerPixel_));
  setFont(small);
  setFixedSize(TwipsToPixels(13140, twipsPerPixel_), TwipsToPixels(2055, twipsPerPixel_));

  auto place = [&](QWidget* w, const char* name, QRect r) {
    w->setObjectName(name);
    w->setGeometry(r);
  };
  label1_ = new QLabel("로컬파일:", this);
  place(label1_, "Label1", Twips(225, 315, 825, 195));
  cmbLocalFullPath_ = new QComboBox(this);
  cmbLocalFullPath_->setEditable(true);
  cmbLocalFullPath_->setInsertPolicy(QComboBox::NoInsert);
  place(cmbLocalFullPath_, "cmbLocalFullPath", Twips(1125, 270, 8130, 300));
  cmbLocalFileOnly_ = new QComboBox(this);
  place(cmbLocalFileOnly_, "cmbLocalFileOnly", Twips(9300, 270, 2310, 300));
  cmdFindFile_ = new QPushButton("파일찾기", this);
  place(cmdFindFile_, "cmdFindFile", Twips(11655, 255, 1140, 330));
  progressBar1_ = new QProgressBar(this);
  progressBar1_->setRange(0, 100);
  progressBar1_->setValue(0);
  progressBar1_->setTextVisible(false);
  place(progressBar1_, "ProgressBar1", Twips(1125, 810, 7485, 285));
  chkSuccUnload_ = new QCheckBox("전송후 닫기", this);
  chkSuccUnload_->setChecked(true);
  place(chkSuccUnload_, "chkSuccUnload", Twips(8820, 855, 1410, 240));
  cmdDistribute_ = new QPushButton("배포", this);
  cmdDistribute_->setDefault(true);
  place(cmdDistribute_, "cmdDistribute", Twips(10395, 720, 1185, 510));
  cmdClose_ = new QPushButton("닫기", this);
  place(cmdClose_, "cmdClose", Twips(11655, 720, 1185, 510));
  lblVer_ = new QLabel("버전:", this);
  place(lblVer_, "lblVer", Twips(270, 1170, 420, 180));
  label2_ = new QLabel("UPX경로:", this);
  place(label2_, "Label2", Twips(270, 1530, 780, 180));
  text1_ = new QLineEdit("D:\\upx.exe", this);
  place(text1_, "Text1", Twips(1125, 1485, 3705, 285));
  chkPassive_ = new QCheckBox("Passive Mode", this);
  chkPassive_->setChecked(true);
  place(chkPassive_, "ChkPassive", Twips(5040, 1500, 1545, 270));
  chkCodeSigning_ = new QCheckBox("전자서명 추가", this);
  chkCodeSigning_->setChecked(true);
  place(chkCodeSigning_, "chkCodeSigning", Twips(7080, 1500, 1485, 270));
  lblWaiting_ = new QLabel("전자서명 대기중...", this);
  QPalette blue = lblWaiting_->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  lblWaiting_->setPalette(blue);
  lblWaiting_->setVisible(false);
  place(lblWaiting_, "lblWaiting", Twips(8760, 1530, 1500, 180));

  // Keyboard focus order; labels take no focus.
  QWidget* order[] = {cmbLocalFullPath_, cmdDistribute_, cmdClose_, cmdFindFile_,
                      text1_,            chkSuccUnload_, chkPassive_, cmbLocalFileOnly_,
                      chkCodeSigning_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  progress_ = std::make_unique<Progress>(*progressBar1_);

  connect(cmdDistribute_, &QPushButton::clicked, this, [this] { cmdDistribute_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { Unload(); });
  connect(cmdFindFile_, &QPushButton::clicked, this, [this] { cmdFindFile_Click(); });
  connect(text1_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (isVisible()) services_.settings.SaveSetting(kAppTitle, "Config", "UpxPath", S(text));
  });
  connect(chkPassive_, &QCheckBox::clicked, this, [this] {
    chkPassive_->setTristate(false);  // a click never leaves it greyed
    if (isVisible()) {
      services_.settings.SaveSetting(kAppTitle, "Config", "PassiveMode",
                                     std::to_string(TickOf(*chkPassive_)));
    }
  });
  connect(cmbLocalFileOnly_, &QComboBox::activated, this, [this](int index) {
    const QVariant full = cmbLocalFileOnly_->itemData(index);
    if (full.isValid()) cmbLocalFullPath_->setCurrentIndex(full.toInt());
  });

  // Files dropped on the selection; the text field must not take them as text.
  cmbLocalFullPath_->setAcceptDrops(true);
  cmbLocalFullPath_->lineEdit()->setAcceptDrops(false);
  cmbLocalFullPath_->installEventFilter(this);
}

void Form1::Load(const std::string& commandLine) {
  const ProgramVersion v = services_.facts.OwnVersion();
  setWindowTitle(windowTitle() + " Ver." + QString::number(v.major) + "." +
                 QString::number(v.minor) + "." + QString::number(v.revision));
  text1_->setText(Q(services_.settings.GetSetting(kAppTitle, "Config", "UpxPath",
                                                  services_.config.defaultUpxPath)));
  SetTick(*chkPassive_,
          TickStateFromText(services_.settings.GetSetting(kAppTitle, "Config", "PassiveMode", "1")));
  CmbSetSize(*cmbLocalFullPath_, static_cast<long>(RoundHalfEven(cmbLocalFullPath_->width() * twipsPerPixel_)),
             5000, twipsPerPixel_, twipsPerPixel_);
  CmbSetSize(*cmbLocalFileOnly_, static_cast<long>(RoundHalfEven(cmbLocalFileOnly_->width() * twipsPerPixel_)),
             5000, twipsPerPixel_, twipsPerPixel_);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  cmbLocalFullPath_->setFocus();  // first in the focus order

  if (!commandLine.empty()) {
    cmbLocalFullPath_->setEditText(Q(commandLine));
    show();
    // The window system maps the window asynchronously; the run blocks the
    // event loop, so wait (briefly) until the window can be painted, or it
    // would stay blank for the whole run.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 2000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QCoreApplication::processEvents();
    cmdDistribute_Click();
    return;
  }
  LoadRecentFiles();
}

void Form1::cmdDistribute_Click() { lastRun_ = run_->Run(); }

void Form1::cmdFindFile_Click() {
  const std::string chosen = SelectFileDialog("배포 파일 선택", "");
  if (!chosen.empty()) cmbLocalFullPath_->setEditText(Q(chosen));
}

std::string Form1::SelectFileDialog(const std::string& title, const std::string& initialFileName) {
  if (lastFolder_.empty() || (!services_.files.FolderExists(lastFolder_) &&
                              !services_.files.FileExists(lastFolder_))) {
    lastFolder_ = services_.facts.OwnFolder();
  }
  const std::string folder = initialFileName.empty() ? lastFolder_ : JoinPath(lastFolder_, initialFileName);
  const std::string chosen = services_.openFileDialog ? services_.openFileDialog(title, folder) : "";
  if (chosen.empty()) return "";  // cancelled: the last folder stays
  const auto sep = LastSeparator(chosen);
  if (sep != std::string::npos) lastFolder_ = sep == 0 ? chosen.substr(0, 1) : chosen.substr(0, sep);
  return chosen;
}

void Form1::LoadRecentFiles() {
  cmbLocalFullPath_->clear();
  cmbLocalFileOnly_->clear();
  for (const std::string& entry : ReadRecentFiles(services_.settings)) {
    const int index = cmbLocalFullPath_->count();
    cmbLocalFullPath_->addItem(Q(entry));
    const QString name = Q(FileNameOf(entry));
    int at = 0;
    while (at < cmbLocalFileOnly_->count() &&
           QString::compare(cmbLocalFileOnly_->itemText(at), name, Qt::CaseInsensitive) <= 0) {
      ++at;
    }
    cmbLocalFileOnly_->insertItem(at, name, index);
  }
  cmbLocalFileOnly_->setCurrentIndex(-1);
  if (cmbLocalFullPath_->count() > 0) {
    cmbLocalFullPath_->setCurrentIndex(0);
  } else {
    cmbLocalFullPath_->setEditText("");
  }
}

void Form1::AddRecentFile(const std::string& entry) { parone::AddRecentFile(services_.settings, entry); }

void Form1::DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  std::string text = paths.front();
  cmbLocalFullPath_->setEditText(Q(text));
  if (paths.size() == 1) return;  // recorded when a run publishes it
  for (std::size_t i = 1; i < paths.size(); ++i) text += ";" + paths[i];
  cmbLocalFullPath_->setEditText(Q(text));
  AddRecentFile(text);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cmbLocalFullPath_) {
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
      DropFiles(LocalFiles(drop->mimeData()));
      drop->acceptProposedAction();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::string Form1::cmbLocalFullPath() { return S(cmbLocalFullPath_->currentText()); }
void Form1::FocusCmbLocalFullPath() { cmbLocalFullPath_->setFocus(); }
int Form1::chkCodeSigning() { return TickOf(*chkCodeSigning_); }

void Form1::SetLblVer(const std::string& caption) {
  lblVer_->setText(Q(caption));
  // The caption is longer than the design width; let it show whole.
  lblVer_->resize(std::max(lblVer_->sizeHint().width(), TwipsToPixels(420, twipsPerPixel_)),
                  lblVer_->height());
  lblVer_->repaint();
}

void Form1::SetLblWaitingVisible(bool visible) {
  lblWaiting_->setVisible(visible);
  lblWaiting_->repaint();
}

std::string Form1::Text1() { return S(text1_->text()); }
int Form1::ChkPassive() { return TickOf(*chkPassive_); }
int Form1::chkSuccUnload() { return TickOf(*chkSuccUnload_); }
ProgressDisplay& Form1::ProgressBar1() { return *progress_; }
void Form1::Unload() { close(); }
void Form1::YieldToWindow() { QCoreApplication::processEvents(); }

bool Form1::RetryCopy(const std::string& from, const std::string& to) {
  return services_.boxes.Show("파일을 복사하지 못했습니다. 다시 시도하시겠습니까?\r\n\r\n" + from +
                                  "\r\n-> " + to + "\r\n\r\n(아니요: 배포를 중단합니다)",
                              kStyleQuestionYesNo) == kAnswerYes;
}

bool Form1::KeepWaiting(long waitedMs) {
  const long every = services_.askToKeepWaitingMs;
  if (every <= 0 || waitedMs == 0 || waitedMs % every != 0) return true;
  return services_.boxes.Show("서명된 파일을 " + std::to_string(waitedMs / 60000) +
                                  "분째 기다리고 있습니다. 계속 기다리시겠습니까?\r\n\r\n"
                                  "(아니요: 배포를 중단합니다. 파일은 바뀌지 않습니다)",
                              kStyleQuestionYesNo) == kAnswerYes;
}

}  // namespace parone
