// What the Qt window adds to the shared window logic: its widgets, their
// places and focus order, keys, drops through QMimeData, and a window that
// stays alive while its run works.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "distribution/recent_files.hpp"
#include "local_server.hpp"
#include "main_window/password_dialog.hpp"
#include "main_window/qt/form1.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "platform/qt_widgets/qt_message_boxes.hpp"
#include "test_dir.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

class NoSleep final : public Sleeper {
 public:
  void SleepMs(long) override {}
};

// Recorded boxes that let a test look at the window when one comes up.
class ObservedBoxes final : public MessageBoxes {
 public:
  using MessageBoxes::Show;
  int Show(std::string_view text, int style, std::string_view caption) override {
    if (onShow) onShow();
    return recorded.Show(text, style, caption);
  }
  RecordingMessageBoxes recorded;
  std::function<void()> onShow;
};

// Counts the paint events each watched widget receives.
class PaintCounter final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints[watched];
    return false;
  }
  std::map<QObject*, int> paints;
};

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_form");
    fs::create_directories(root_ / "tool" / "temp");
    facts = FixedProcessFacts((root_ / "tool").string());
    config = SystemConfig::Defaults();
    config.ftpHost = "127.0.0.1";
    config.ftpPassword = testing::kDemoPassword;
    config.ftpPort = testing::UnusedPort();
    config.httpPort = testing::UnusedPort();
  }
  void TearDown() override {
    form.reset();
    fs::remove_all(root_);
  }
  Form1& Make() {
    Form1Services services{boxes, {files, settings, cp949, facts, launcher, sleeper}, config};
    services.ftpTimeouts = {5, 10};
    services.urlTimeouts = {1, 2};
    form = std::make_unique<Form1>(services);
    return *form;
  }
  // Lets the event loop run until the window's run has ended.
  bool WaitForRun(int ms = 60000) {
    return QTest::qWaitFor([&] { return !form->logic().running(); }, ms);
  }
  template <typename T>
  T* Child(const char* name) {
    T* child = form->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  std::vector<std::string> Items(const char* combo) {
    std::vector<std::string> items;
    auto* box = Child<QComboBox>(combo);
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
  }
  std::string SelectionText() { return Child<QComboBox>("cmbLocalFullPath")->currentText().toStdString(); }
  const std::vector<ShownBox>& Shown() const { return boxes.recorded.shown(); }

  fs::path root_;
  ObservedBoxes boxes;
  MemorySettingsStore settings;
  NativeFileSystem files;
  Cp949CodePage cp949;
  FixedProcessFacts facts{""};
  NativeProcessLauncher launcher;
  NoSleep sleeper;
  SystemConfig config;
  std::unique_ptr<Form1> form;
};

TEST_F(Form1Test, WidgetsStandWithTheirCaptionsAtTheirPlacesInTheFocusOrder) {
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(f.windowTitle().toStdString(), "파로네 자동배포2(ftp) Ver.1.1.33");
  // Every control of the layout, at 15 twips per pixel.
  ASSERT_EQ(f.twipsPerPixel(), 15);
  for (const ControlLayout& l : kForm1Layout) {
    auto* w = Child<QWidget>(l.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), QRect(l.left / 15, l.top / 15, l.width / 15, l.height / 15)) << l.name;
    EXPECT_EQ(f.Text(l.id), l.caption) << l.name;
  }
  for (const char* box : {"ChkPassive", "chkCodeSigning", "chkSuccUnload"}) {
    EXPECT_EQ(Child<QCheckBox>(box)->checkState(), Qt::Checked) << box;
  }
  auto* bar = Child<QProgressBar>("ProgressBar1");
  EXPECT_EQ(std::make_tuple(bar->minimum(), bar->maximum(), bar->value()), std::make_tuple(0, 100, 0));
  EXPECT_TRUE(Child<QComboBox>("cmbLocalFullPath")->isEditable());
  EXPECT_FALSE(Child<QComboBox>("cmbLocalFileOnly")->isEditable());
  EXPECT_FALSE(Child<QLabel>("lblWaiting")->isVisibleTo(&f));
  EXPECT_EQ(Child<QLabel>("lblWaiting")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(Child<QPushButton>("cmdDistribute")->isDefault());
  EXPECT_EQ(f.size(), QSize(876, 137));  // 13140 by 2055 twips, fixed
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(settings.writes().empty());
  f.show();
  EXPECT_EQ(f.focusWidget(), Child<QComboBox>("cmbLocalFullPath"));
  f.hide();
  // Focus order from the selection on.
  QWidget* w = Child<QComboBox>("cmbLocalFullPath");
  std::vector<std::string> order;
  for (int i = 0; i < 9; ++i, w = w->nextInFocusChain()) {
    // Skip the combo's inner line edit and what takes no focus.
    while (w->objectName().isEmpty() || w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    order.push_back(w->objectName().toStdString());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"cmbLocalFullPath", "cmdDistribute", "cmdClose",
                                             "cmdFindFile", "Text1", "chkSuccUnload", "ChkPassive",
                                             "cmbLocalFileOnly", "chkCodeSigning"}));
}

TEST_F(Form1Test, EnterPressesDistributeAndEscClosesTheWindow) {
  Form1& f = Make();
  f.Load("");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  QTest::keyClick(f.focusWidget(), Qt::Key_Return);
  ASSERT_TRUE(WaitForRun());
  // The run over the empty selection asks for a file.
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "보낼파일을 선택하세요.");
  EXPECT_EQ(f.lastRun().status, RunStatus::kEmptySelection);
  EXPECT_TRUE(f.isVisible());
  QTest::keyClick(f.focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(Form1Test, TypingAndClickingReachTheSettingsAtEveryChange) {
  Form1& f = Make();
  f.Load("");
  f.show();
  QTest::keyClicks(Child<QLineEdit>("Text1"), "/u");
  EXPECT_EQ(settings.writes().size(), 2u);  // once per keystroke
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "UpxPath"), "D:\\upx.exe/u");
  auto* passive = Child<QCheckBox>("ChkPassive");
  passive->click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "0");
  passive->click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "1");
  EXPECT_EQ(settings.writes().size(), 4u);
}

TEST_F(Form1Test, RecentFilesShowInBothCombosAndPickingANameSelectsItsPath) {
  settings.Set(kAppTitle, "RecentFiles", "1", "/b/y.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "/a/Z.exe");
  settings.Set(kAppTitle, "RecentFiles", "3", "/c/a.exe");
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(Items("cmbLocalFullPath"),
            (std::vector<std::string>{"/b/y.exe", "/a/Z.exe", "/c/a.exe"}));
  EXPECT_EQ(Items("cmbLocalFileOnly"), (std::vector<std::string>{"a.exe", "y.exe", "Z.exe"}));
  EXPECT_EQ(SelectionText(), "/b/y.exe");
  auto* names = Child<QComboBox>("cmbLocalFileOnly");
  EXPECT_EQ(names->currentIndex(), -1);  // no name chosen yet
  emit names->activated(2);
  EXPECT_EQ(SelectionText(), "/a/Z.exe");
  emit names->activated(0);
  EXPECT_EQ(SelectionText(), "/c/a.exe");
}

TEST_F(Form1Test, DroppingFilesSetsTheSelectionAndSeveralBecomeOneRecentEntry) {
  Form1& f = Make();
  f.Load("");
  f.show();
  auto* combo = Child<QComboBox>("cmbLocalFullPath");
  auto drop = [&](QMimeData& data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(combo, &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(combo, &dropped);
    return accepted;
  };
  auto dropFiles = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    return drop(data);
  };
  EXPECT_TRUE(dropFiles({QUrl::fromLocalFile("/p/one.exe")}));
  EXPECT_EQ(SelectionText(), "/p/one.exe");
  EXPECT_TRUE(settings.writes().empty());  // one file: recorded when published

  EXPECT_TRUE(dropFiles({QUrl::fromLocalFile("/p/a.exe"), QUrl::fromLocalFile("/p/b.exe"),
                         QUrl::fromLocalFile("/q/c.exe")}));
  EXPECT_EQ(SelectionText(), "/p/a.exe;/p/b.exe;/q/c.exe");
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{"/p/a.exe;/p/b.exe;/q/c.exe"});

  QMimeData text;
  text.setText("just text");
  EXPECT_FALSE(drop(text));  // the no-drop pointer, and nothing changes
  EXPECT_FALSE(dropFiles({QUrl("https://example.com/x.exe")}));  // no local file either
  EXPECT_EQ(SelectionText(), "/p/a.exe;/p/b.exe;/q/c.exe");
}

TEST_F(Form1Test, ComboDropDownsGetTheirHeightAndWidthInPixels) {
  Form1& f = Make();
  f.Load("");
  auto* full = Child<QComboBox>("cmbLocalFullPath");
  auto* names = Child<QComboBox>("cmbLocalFileOnly");
  EXPECT_EQ(full->property("droppedHeightPx").toInt(), 333);
  EXPECT_EQ(full->property("droppedWidthPx").toInt(), 542);
  EXPECT_EQ(names->property("droppedWidthPx").toInt(), 154);
  EXPECT_EQ(names->geometry().topLeft(), QPoint(620, 18));
  EXPECT_GE(full->view()->minimumWidth(), 542);
  EXPECT_GT(full->maxVisibleItems(), 10);
}

TEST_F(Form1Test, ACommandLineStartShowsThePaintedWindowAndRunsWhileTheEventLoopGoesOn) {
  Form1& f = Make();
  PaintCounter counter;
  f.installEventFilter(&counter);
  bool exposed = false;
  int paints = 0;
  boxes.onShow = [&] {
    exposed = f.windowHandle() && f.windowHandle()->isExposed();
    paints = counter.paints[&f];
  };
  const std::string notAProgram = (root_ / "x.exe").string();
  std::ofstream(notAProgram) << "not a program";
  f.Load(notAProgram);
  EXPECT_TRUE(f.isVisible());
  EXPECT_TRUE(f.logic().running());  // the load returned with the run going
  ASSERT_TRUE(WaitForRun());
  // The question of the version check (no version) came while the window
  // was shown and painted.
  ASSERT_FALSE(Shown().empty());
  EXPECT_EQ(Shown().back().style, kStyleQuestionYesNo);
  EXPECT_TRUE(exposed);
  EXPECT_GT(paints, 0);
  EXPECT_EQ(f.lastRun().status, RunStatus::kDeclined);
  EXPECT_TRUE(f.isVisible());
}

TEST(MessageBoxStyles, MapToButtonsIconAndDefault) {
  const BoxLook ok = LookForStyle(0);
  EXPECT_EQ(ok.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(ok.icon, QMessageBox::NoIcon);
  const BoxLook warning = LookForStyle(48);
  EXPECT_EQ(warning.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(warning.icon, QMessageBox::Warning);
  const BoxLook question = LookForStyle(292);
  EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(question.icon, QMessageBox::Question);
  EXPECT_EQ(question.defaultButton, QMessageBox::No);
  EXPECT_EQ(LookForStyle(36).defaultButton, QMessageBox::Yes);
}

TEST_F(Form1Test, AWholeRunPaintsTheBarAndClosesAfterSending) {
  LocalServer server;
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const std::string program = (root_ / "Tool.Setup.exe").string();
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  Form1& f = Make();
  f.Load("");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* bar = Child<QProgressBar>("ProgressBar1");
  auto* version = Child<QLabel>("lblVer");
  PaintCounter counter;
  bar->installEventFilter(&counter);
  Child<QComboBox>("cmbLocalFullPath")->setEditText(QString::fromStdString(program));
  Child<QCheckBox>("chkCodeSigning")->setChecked(false);
  Child<QPushButton>("cmdDistribute")->click();
  ASSERT_TRUE(WaitForRun());
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_GT(counter.paints[bar], 0);
  EXPECT_EQ(version->text().toStdString(), "버전: 1.01.33");
  EXPECT_GE(version->width(), version->sizeHint().width());  // the whole caption shows
  EXPECT_EQ(bar->maximum(), kBarSteps);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_FALSE(f.isVisible());  // closed after sending, without "배포완료"
  EXPECT_TRUE(Shown().empty());
}

TEST_F(Form1Test, ThePasswordDialogMasksTheFieldKeepsOkOffUntilTypedAndReturnsTheTick) {
  Form1& f = Make();
  f.Load("");
  f.show();
  std::optional<EnteredPassword> answer;
  bool looked = false;
  // Worked from inside its own event loop, once it is up.
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    looked = true;
    EXPECT_EQ(dialog->windowTitle().toStdString(), "FTP 비밀번호");
    // Every control of the table at its place, at 15 twips per pixel.
    for (const PasswordDialogItem& item : kPasswordDialogLayout) {
      auto* w = dialog->findChild<QWidget*>(item.name);
      ASSERT_NE(w, nullptr) << item.name;
      EXPECT_EQ(w->geometry(), QRect(item.left / 15, item.top / 15, item.width / 15, item.height / 15))
          << item.name;
    }
    EXPECT_EQ(dialog->findChild<QLabel*>("lblPrompt")->text().toStdString(), "무엇을 묻는지");
    EXPECT_EQ(dialog->findChild<QCheckBox*>("chkSave")->text().toStdString(), "저장");
    auto* field = dialog->findChild<QLineEdit*>("txtPassword");
    auto* ok = dialog->findChild<QPushButton*>("cmdOk");
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    // The widget that holds the focus whenever the dialog is active (the
    // offscreen platform may never activate it).
    EXPECT_EQ(dialog->focusWidget(), field);
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClicks(field, "pass word");
    EXPECT_TRUE(ok->isEnabled());
    dialog->findChild<QCheckBox*>("chkSave")->setChecked(true);
    QTest::keyClick(field, Qt::Key_Return);  // OK is the default button
  });
  answer = f.AskPassword("무엇을 묻는지");
  EXPECT_TRUE(looked);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->password, "pass word");
  EXPECT_TRUE(answer->keep);

  // Esc cancels, whatever was typed.
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    auto* field = dialog->findChild<QLineEdit*>("txtPassword");
    QTest::keyClicks(field, "typed");
    QTest::keyClick(field, Qt::Key_Escape);
  });
  EXPECT_FALSE(f.AskPassword("다시").has_value());
}

TEST_F(Form1Test, ForAFileOver32MiBTheBarIsFullWhenTheCompletionShowsAndDistributeIsDisabledTillTheEnd) {
  LocalServer server;
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const fs::path program = root_ / "Tool.Setup.exe";
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  {
    // 33 MiB: past the 32,767 blocks of 1 KiB where the bar of old wrapped.
    std::ofstream out(program, std::ios::binary | std::ios::app);
    const std::string filler(1024 * 1024, '\x5a');
    for (int i = 0; i < 33; ++i) out << filler;
  }
  Form1& f = Make();
  f.Load("");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  auto* bar = Child<QProgressBar>("ProgressBar1");
  auto* distribute = Child<QPushButton>("cmdDistribute");
  int barAtMessage = -1;
  bool enabledAtMessage = true;
  boxes.onShow = [&] {
    barAtMessage = bar->value();
    enabledAtMessage = distribute->isEnabled();
  };
  Child<QComboBox>("cmbLocalFullPath")->setEditText(QString::fromStdString(program.string()));
  Child<QCheckBox>("chkCodeSigning")->setChecked(false);
  Child<QCheckBox>("chkSuccUnload")->setChecked(false);
  distribute->click();
  EXPECT_FALSE(distribute->isEnabled());  // shown disabled as soon as the run begins
  ASSERT_TRUE(WaitForRun());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "배포완료");
  EXPECT_EQ(barAtMessage, kBarSteps);  // full, not wrapped
  EXPECT_EQ(bar->maximum(), kBarSteps);
  EXPECT_FALSE(enabledAtMessage);  // the run's message is part of the run
  EXPECT_TRUE(distribute->isEnabled());
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe").size(), fs::file_size(program));
}

TEST_F(Form1Test, TheWindowAnswersEscWhileTheServerDoesNotAnswerAndYesStopsTheRun) {
  // The lastver read gets no answer until its time-out, long enough that a
  // loaded machine's slowness cannot be mistaken for it.
  constexpr double kStall = 40;
  LocalServer server({"--lastver-fault", "stall"});
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const std::string program = (root_ / "Tool.Setup.exe").string();
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  Form1Services services{boxes, {files, settings, cp949, facts, launcher, sleeper}, config};
  services.urlTimeouts = {5, static_cast<long>(kStall)};
  form = std::make_unique<Form1>(services);
  Form1& f = *form;
  f.Load("");
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  Child<QComboBox>("cmbLocalFullPath")->setEditText(QString::fromStdString(program));
  Child<QCheckBox>("chkCodeSigning")->setChecked(false);
  const auto started = std::chrono::steady_clock::now();
  Child<QPushButton>("cmdDistribute")->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.CommandLogText().find("HTTP GET") != std::string::npos; }));

  // Esc while the run waits: the stop question comes at once (No).
  const auto pressed = std::chrono::steady_clock::now();
  QTest::keyClick(f.focusWidget(), Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Shown().empty(); }, 20000));
  const auto answered = std::chrono::steady_clock::now();
  EXPECT_EQ(Shown()[0].text, kStopQuestion);
  EXPECT_TRUE(f.logic().running());  // asked during the wait, not after it
  const auto seconds = [](auto d) { return std::chrono::duration<double>(d).count(); };
  EXPECT_LT(seconds(answered - pressed), kStall / 4);
  EXPECT_TRUE(f.isVisible());

  // Yes: the window goes at once and the run ends without the time-out.
  boxes.recorded.AnswerNextQuestion(kAnswerYes);
  QTest::keyClick(f.focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
  f.logic().EndRun();
  EXPECT_LT(seconds(std::chrono::steady_clock::now() - started), kStall / 2);
  EXPECT_EQ(Shown().size(), 2u);  // nothing after the stop
  EXPECT_TRUE(server.ListUploadDir().empty());
}

TEST_F(Form1Test, TypingOrChoosingASelectionClearsTheVersionShown) {
  settings.Set(kAppTitle, "RecentFiles", "1", "/b/y.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "/a/z.exe");
  Form1& f = Make();
  f.Load("");
  f.show();
  auto* version = Child<QLabel>("lblVer");
  auto* selection = Child<QComboBox>("cmbLocalFullPath");
  f.logic().VersionShown("버전: 1.01.33");
  QTest::keyClicks(selection->lineEdit(), "x");
  EXPECT_EQ(version->text().toStdString(), "버전:");
  f.logic().VersionShown("버전: 1.01.33");
  emit selection->activated(1);
  EXPECT_EQ(version->text().toStdString(), "버전:");
  f.logic().VersionShown("버전: 1.01.33");
  emit Child<QComboBox>("cmbLocalFileOnly")->activated(0);
  EXPECT_EQ(version->text().toStdString(), "버전:");
}

}  // namespace
}  // namespace parone

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
