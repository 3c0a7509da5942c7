#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "test_dir.hpp"
#include "distribution/recent_files.hpp"
#include "local_server.hpp"
#include "main_window/combo_sizing.hpp"
#include "main_window/form1.hpp"
#include "platform/fakes/fixed_process_facts.hpp"
#include "platform/fakes/memory_settings_store.hpp"
#include "platform/fakes/recording_message_boxes.hpp"
#include "platform/qt_widgets/qt_message_boxes.hpp"

namespace parone {
namespace {

namespace fs = std::filesystem;
using testing::LocalServer;

class NoSleep final : public Sleeper {
 public:
  void SleepMs(long) override {}
};

class Form1Test : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::FreshTestDir("parone_form");
    fs::create_directories(root_ / "tool" / "temp");
    facts = FixedProcessFacts((root_ / "tool").string());
    config = SystemConfig::Defaults();
    config.ftpHost = "127.0.0.1";
    config.ftpPort = testing::UnusedPort();
    config.httpPort = testing::UnusedPort();
  }
  void TearDown() override {
    form.reset();
    fs::remove_all(root_);
  }
  Form1& Make() {
    Form1Services services{boxes, settings, files, cp949, facts, launcher, sleeper, config,
                           [this](const std::string& title, const std::string& folder) {
                             dialogCalls.push_back({title, folder});
                             return dialogAnswer;
                           }};
    services.ftpTimeouts = {5, 10};
    services.urlTimeouts = {1, 2};
    form = std::make_unique<Form1>(services);
    return *form;
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

  fs::path root_;
  RecordingMessageBoxes boxes;
  MemorySettingsStore settings;
  NativeFileSystem files;
  Cp949CodePage cp949;
  FixedProcessFacts facts{""};
  NativeProcessLauncher launcher;
  NoSleep sleeper;
  SystemConfig config;
  std::vector<std::pair<std::string, std::string>> dialogCalls;
  std::string dialogAnswer;
  std::unique_ptr<Form1> form;
};

TEST_F(Form1Test, FirstStartWithAnEmptyStoreShowsTheDefaultsAndWritesNothing) {
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(f.windowTitle().toStdString(), "파로네 자동배포2(ftp) Ver.1.1.33");
  EXPECT_EQ(Child<QLineEdit>("Text1")->text().toStdString(), "D:\\upx.exe");
  for (const char* box : {"ChkPassive", "chkCodeSigning", "chkSuccUnload"}) {
    EXPECT_EQ(Child<QCheckBox>(box)->checkState(), Qt::Checked) << box;
  }
  EXPECT_TRUE(Items("cmbLocalFullPath").empty());
  EXPECT_TRUE(Items("cmbLocalFileOnly").empty());
  EXPECT_EQ(SelectionText(), "");
  EXPECT_TRUE(settings.writes().empty());
  EXPECT_FALSE(Child<QLabel>("lblWaiting")->isVisibleTo(&f));
  EXPECT_EQ(Child<QLabel>("lblWaiting")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_TRUE(Child<QPushButton>("cmdDistribute")->isDefault());
  // Fixed size from 13140 by 2055 twips, controls where the layout puts them.
  EXPECT_EQ(f.twipsPerPixel(), 15);
  EXPECT_EQ(f.size(), QSize(876, 137));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_EQ(Child<QComboBox>("cmbLocalFullPath")->geometry(), QRect(75, 18, 542, 20));
  EXPECT_EQ(Child<QPushButton>("cmdClose")->geometry(), QRect(777, 48, 79, 34));
  f.show();
  EXPECT_EQ(f.focusWidget(), Child<QComboBox>("cmbLocalFullPath"));
  f.hide();
  EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
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

TEST_F(Form1Test, StoredPassiveModeIsReadAsARoundedNumber) {
  const std::pair<const char*, Qt::CheckState> cases[] = {
      {"0", Qt::Unchecked}, {" 1", Qt::Checked}, {"", Qt::Unchecked}, {"0.5", Qt::Unchecked},
      {"1.5", Qt::PartiallyChecked}, {"7", Qt::Unchecked}, {"x", Qt::Unchecked}};
  for (const auto& [stored, state] : cases) {
    settings.Set(kAppTitle, "Config", "PassiveMode", stored);
    Form1& f = Make();
    f.Load("");
    EXPECT_EQ(Child<QCheckBox>("ChkPassive")->checkState(), state) << '"' << stored << '"';
  }
  EXPECT_TRUE(settings.writes().empty());
}

TEST_F(Form1Test, TypingAndClickingSaveTheSettingsOnlyWhileVisible) {
  settings.Set(kAppTitle, "Config", "UpxPath", "");
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(Child<QLineEdit>("Text1")->text().toStdString(), "");  // empty is not the default
  f.show();
  QTest::keyClicks(Child<QLineEdit>("Text1"), "/u/x");
  EXPECT_EQ(settings.writes().size(), 4u);  // once per keystroke
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "UpxPath"), "/u/x");

  auto* passive = Child<QCheckBox>("ChkPassive");
  passive->click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "0");
  passive->click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "1");
  f.hide();
  passive->click();
  EXPECT_EQ(settings.Value(kAppTitle, "Config", "PassiveMode"), "1");
}

TEST_F(Form1Test, RecentFilesFillBothListsAndAChoiceSelectsTheFullPath) {
  settings.Set(kAppTitle, "RecentFiles", "1", "/b/y.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "/a/z.exe");
  settings.Set(kAppTitle, "RecentFiles", "3", "/c/a.exe");
  settings.Set(kAppTitle, "RecentFiles", "5", "/after/gap.exe");
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(Items("cmbLocalFullPath"),
            (std::vector<std::string>{"/b/y.exe", "/a/z.exe", "/c/a.exe"}));
  EXPECT_EQ(Items("cmbLocalFileOnly"), (std::vector<std::string>{"a.exe", "y.exe", "z.exe"}));
  EXPECT_EQ(SelectionText(), "/b/y.exe");
  auto* names = Child<QComboBox>("cmbLocalFileOnly");
  names->setCurrentIndex(0);
  emit names->activated(0);
  EXPECT_EQ(SelectionText(), "/c/a.exe");
}

TEST_F(Form1Test, NamesSortWithoutRegardToCaseAndJoinedEntriesShowTheirLastFile) {
  settings.Set(kAppTitle, "RecentFiles", "1", "/p/a.exe;/q/C.exe");
  settings.Set(kAppTitle, "RecentFiles", "2", "/B.exe");
  settings.Set(kAppTitle, "RecentFiles", "3", "/a.exe");
  Form1& f = Make();
  f.Load("");
  EXPECT_EQ(Items("cmbLocalFileOnly"), (std::vector<std::string>{"a.exe", "B.exe", "C.exe"}));
  auto* names = Child<QComboBox>("cmbLocalFileOnly");
  emit names->activated(2);
  EXPECT_EQ(SelectionText(), "/p/a.exe;/q/C.exe");
}

TEST_F(Form1Test, DroppingFilesSetsTheSelectionAndSeveralBecomeOneRecentEntry) {
  Form1& f = Make();
  f.Load("");
  f.show();
  auto* combo = Child<QComboBox>("cmbLocalFullPath");
  auto dropUrls = [&](const QList<QUrl>& urls, bool asText = false) {
    QMimeData data;
    if (asText) data.setText("just text");
    else data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(combo, &enter);
    const bool accepted = enter.isAccepted();
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(combo, &drop);
    return accepted;
  };
  EXPECT_TRUE(dropUrls({QUrl::fromLocalFile("/p/one.exe")}));
  EXPECT_EQ(SelectionText(), "/p/one.exe");
  EXPECT_TRUE(settings.writes().empty());  // one file: recorded when published

  EXPECT_TRUE(dropUrls({QUrl::fromLocalFile("/p/a.exe"), QUrl::fromLocalFile("/p/b.exe"),
                        QUrl::fromLocalFile("/q/c.exe")}));
  EXPECT_EQ(SelectionText(), "/p/a.exe;/p/b.exe;/q/c.exe");
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{"/p/a.exe;/p/b.exe;/q/c.exe"});

  EXPECT_FALSE(dropUrls({}, true));  // text: the no-drop pointer, nothing changes
  EXPECT_EQ(SelectionText(), "/p/a.exe;/p/b.exe;/q/c.exe");
}

TEST_F(Form1Test, ACommandLineStartsARunAtOnceAndLeavesTheListsEmpty) {
  settings.Set(kAppTitle, "RecentFiles", "1", "C:\\old.exe");
  Form1& f = Make();
  f.Load("\"C:\\a\\x.exe\";C:\\b\\y.exe");
  EXPECT_TRUE(f.isVisible());
  EXPECT_EQ(f.lastRun().entries, (std::vector<std::string>{"\"C:\\a\\x.exe\"", "C:\\b\\y.exe"}));
  // Neither file has a version: the question about that comes first, and No
  // (the default) ends the run.
  EXPECT_EQ(f.lastRun().status, RunStatus::kDeclined);
  EXPECT_TRUE(Items("cmbLocalFullPath").empty());
  EXPECT_TRUE(Items("cmbLocalFileOnly").empty());
  ASSERT_EQ(boxes.shown().size(), 1u);  // the question alone, no error box before it
  EXPECT_EQ(boxes.shown().back().style, kStyleQuestionYesNo);
  EXPECT_EQ(boxes.shown().back().text.rfind("파일의 버전을 읽을 수 없습니다.", 0), 0u);
}

TEST_F(Form1Test, TheFileDialogRemembersTheLastFolderWhileItExists) {
  Form1& f = Make();
  f.Load("");
  fs::create_directories(root_ / "out");
  const std::string chosen = (root_ / "out" / "App.exe").string();
  dialogAnswer = chosen;
  f.cmdFindFile_Click();
  EXPECT_EQ(SelectionText(), chosen);
  dialogAnswer = "";  // cancelled: nothing changes
  f.cmdFindFile_Click();
  EXPECT_EQ(SelectionText(), chosen);
  fs::remove_all(root_ / "out");
  f.cmdFindFile_Click();
  ASSERT_EQ(dialogCalls.size(), 3u);
  EXPECT_EQ(dialogCalls[0], (std::pair<std::string, std::string>{"배포 파일 선택", (root_ / "tool").string()}));
  EXPECT_EQ(dialogCalls[1].second, (root_ / "out").string());
  EXPECT_EQ(dialogCalls[2].second, (root_ / "tool").string());  // the folder is gone
  EXPECT_TRUE(settings.writes().empty());
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

TEST(ComboSizing, ConvertsTwipsAtNinetySixAndOneHundredTwentyDpi) {
  const ComboPixels at96 = ComboSizeInPixels(1125, 270, 8130, 8130, 5000, 15, 15);
  EXPECT_EQ(at96.left, 75);
  EXPECT_EQ(at96.top, 18);
  EXPECT_EQ(at96.width, 542);
  EXPECT_EQ(at96.droppedHeight, 333);
  EXPECT_EQ(at96.droppedWidth, 542);
  const ComboPixels small = ComboSizeInPixels(9300, 270, 2310, 2310, 5000, 15, 15);
  EXPECT_EQ(small.left, 620);
  EXPECT_EQ(small.width, 154);
  EXPECT_EQ(small.droppedWidth, 154);
  const ComboPixels at120 = ComboSizeInPixels(1125, 270, 8130, 8130, 5000, TwipsPerPixel(120), TwipsPerPixel(120));
  EXPECT_EQ(at120.width, 677);  // 677.5 cut down
  EXPECT_EQ(at120.droppedHeight, 416);
  EXPECT_EQ(TwipsToPixels(22.5, 15), 1);  // 22.5 rounds to 22 (even), 22 / 15 = 1
  EXPECT_EQ(TwipsToPixels(100, 14.5), 7);  // 14.5 rounds to 14
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

TEST_F(Form1Test, TheSigningWaitAsksEveryFiveMinutesAndNoGivesUp) {
  Form1& f = Make();
  EXPECT_TRUE(f.KeepWaiting(0));
  EXPECT_TRUE(f.KeepWaiting(60'000));
  EXPECT_TRUE(boxes.shown().empty());
  boxes.AnswerNextQuestion(kAnswerYes);
  EXPECT_TRUE(f.KeepWaiting(300'000));
  EXPECT_FALSE(f.KeepWaiting(600'000));  // no scripted answer: No, the default
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[1].style, kStyleQuestionYesNo);
  EXPECT_NE(boxes.shown()[1].text.find("10분째"), std::string::npos);
  EXPECT_FALSE(f.RetryCopy("a", "b"));
}

TEST_F(Form1Test, AWholeRunFromTheWindowPublishesAndClosesTheWindow) {
  LocalServer server;
  config.ftpPort = server.ftpPort();
  config.httpPort = server.httpPort();
  const std::string program = (root_ / "Tool.Setup.exe").string();
  fs::copy_file(std::string(PARONE_FIXTURE_DIR) + "/sample32.exe", program);
  Form1& f = Make();
  f.Load("");
  f.show();
  Child<QComboBox>("cmbLocalFullPath")->setEditText(QString::fromStdString(program));
  Child<QCheckBox>("chkCodeSigning")->setChecked(false);
  Child<QPushButton>("cmdDistribute")->click();
  EXPECT_EQ(f.lastRun().status, RunStatus::kCompleted);
  EXPECT_TRUE(f.lastRun().AllPublished());
  EXPECT_EQ(server.ReadUploaded("Tool.Setup_lastver.txt"), "33\r\n");
  std::ifstream local(program, std::ios::binary);
  EXPECT_EQ(server.ReadUploaded("Tool.Setup.exe"),
            std::string((std::istreambuf_iterator<char>(local)), std::istreambuf_iterator<char>()));
  EXPECT_EQ(Child<QLabel>("lblVer")->text().toStdString(), "버전: 1.01.33");
  EXPECT_FALSE(f.isVisible());  // closed after sending, without "배포완료"
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(ReadRecentFiles(settings), std::vector<std::string>{program});
  // The bar counted the file's whole 1 KiB blocks.
  EXPECT_EQ(Child<QProgressBar>("ProgressBar1")->maximum(), static_cast<int>(fs::file_size(program) / 1024));
}

}  // namespace
}  // namespace parone

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
