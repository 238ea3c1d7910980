#include "winui/message_box_qt.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "platform/user/message_box.h"

// Fontconfig keeps its caches to the end of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "winui_tests";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

// Shows a box of `type` and lets `act` look at it and answer it once it is up.
int show_and(UINT type, const std::function<void(QMessageBox*)>& act) {
  app();
  QTimer::singleShot(0, [act] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    act(box);
  });
  return exec_qt_message_box("Caption", "Text", type);
}

TEST(QtMessageBox, ButtonsIconAndDefaultFollowTheType) {
  int answer = show_and(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, [](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Caption");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::No));
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(answer, IDYES);

  answer = show_and(MB_ABORTRETRYIGNORE | MB_ICONHAND | MB_DEFBUTTON3, [](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Ignore));
    box->button(QMessageBox::Retry)->click();
  });
  EXPECT_EQ(answer, IDRETRY);
}

TEST(QtMessageBox, ClosedWithoutAButtonTheDefaultAnswers) {
  int answer = show_and(MB_OKCANCEL | MB_DEFBUTTON2, [](QMessageBox* box) { box->done(0); });
  EXPECT_EQ(answer, IDCANCEL);
  answer = show_and(MB_OK, [](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    box->done(0);
  });
  EXPECT_EQ(answer, IDOK);
}

}  // namespace
