#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QTimer>

#include "platform/qt_widgets/qt_message_boxes.hpp"

namespace parone {
namespace {

struct Seen {
  int width = 0;
  QString title;
};

// Shows one box through QtMessageBoxes, notes how wide it came up and
// presses Enter (the default button) in it.
int ShowAndPressEnter(QtMessageBoxes& boxes, const char* text, int style, Seen& seen) {
  QTimer::singleShot(0, [&seen] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    seen.width = box->width();
    seen.title = box->windowTitle();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
  });
  return boxes.Show(text, style);
}

TEST(QtMessageBoxes, ShortMessagesGetABoxWideEnoughForTheWholeCaption) {
  const QFontMetrics title(QFontDatabase::systemFont(QFontDatabase::TitleFont));
  const int needed = title.horizontalAdvance("파로네_배포") + kTitleBarButtonsAllowance;
  struct Case {
    const char* text;
    int style;
    int answer;  // Enter presses the default button
  };
  const Case cases[] = {
      {"Error copying File", kStyleOkOnly, kAnswerOk},  // the shortest the tool shows
      {"배포완료", kStyleOkOnly, kAnswerOk},
      {"!", kStyleWarning, kAnswerOk},
      {"?", kStyleQuestionYesNo, kAnswerNo},  // No is the default
  };
  QtMessageBoxes boxes;
  for (const Case& c : cases) {
    Seen seen;
    EXPECT_EQ(ShowAndPressEnter(boxes, c.text, c.style, seen), c.answer) << c.text;
    EXPECT_EQ(seen.title.toStdString(), "파로네_배포") << c.text;
    EXPECT_GE(seen.width, needed) << c.text;
  }
}

TEST(QtMessageBoxes, ALongMessageKeepsItsOwnWidth) {
  // The caption's width is a minimum, not a size every box is given.
  QtMessageBoxes boxes;
  Seen shortBox;
  Seen longBox;
  ShowAndPressEnter(boxes, "Error copying File", kStyleOkOnly, shortBox);
  ShowAndPressEnter(boxes,
                    "Error 53 (File not found) in procedure ProcUpload of Form Form1 "
                    "while reading the file's version",
                    kStyleOkOnly, longBox);
  EXPECT_GT(longBox.width, shortBox.width);
}

}  // namespace
}  // namespace parone

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
