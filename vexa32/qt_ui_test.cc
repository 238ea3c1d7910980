#include "vexa32/qt_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstdlib>

// The test's application object lives to the end of the process, and the
// font library it loads keeps blocks that the leak checker would report.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "vexa32_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return *instance;
}

template <typename T>
T* child(QWidget* parent, const char* name) {
  return parent->findChild<T*>(name);
}

TEST(QtConfirmDialog, CountdownEndsAsOkOrCancel) {
  app();
  QElapsedTimer clock;
  clock.start();
  ConfirmDialog cancel("There are 1 files more recent\n5 bytes to copy", 1, false);
  EXPECT_EQ(cancel.windowTitle(), "File Copy");
  EXPECT_TRUE(cancel.windowFlags() & Qt::WindowStaysOnTopHint);
  ASSERT_NE(child<QLabel>(&cancel, "101"), nullptr);
  EXPECT_EQ(child<QLabel>(&cancel, "101")->text(), "Seconds left: 1");
  EXPECT_EQ(child<QLabel>(&cancel, "102")->text(), "There are 1 files more recent\n5 bytes to copy");
  EXPECT_EQ(cancel.exec(), QDialog::Rejected);
  // Two ticks: 1 -> 0, then past 0.
  EXPECT_GE(clock.elapsed(), 1900);
  EXPECT_LT(clock.elapsed(), 6000);

  ConfirmDialog copy("x", 1, true);
  EXPECT_EQ(copy.exec(), QDialog::Accepted);

  // Without a countdown the dialog waits for a button.
  ConfirmDialog waits("x", 0, true);
  EXPECT_EQ(child<QLabel>(&waits, "101")->text(), " ");
  QTimer::singleShot(1500, &waits, [&] { child<QPushButton>(&waits, "2")->click(); });
  EXPECT_EQ(waits.exec(), QDialog::Rejected);
}

TEST(QtMirrorUi, WorkerThreadDrivesTheDialogOnTheGuiThread) {
  app();
  VexaWindow window;
  EXPECT_EQ(window.windowTitle(), "Vexa32 V2.2");
  EXPECT_EQ(window.objectName(), "VexaClass");
  QtMirrorUi& ui = static_cast<QtMirrorUi&>(window.mirror_ui());
  QString file_text, status_text;
  bool bar_visible = true, cancel_enabled = true, cancelled_seen = false;
  window.run_mirror([&] {
    ui.progress_open(false, false);
    std::string file = "4 bytes\na.doc", dir = "C:\\src\\", status = "0 errors";
    ui.progress_texts(&file, &dir, &status, 40);
    on_gui_thread([&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() != "File copy in progress") continue;
        file_text = child<QLabel>(w, "1003")->text();
        status_text = child<QLabel>(w, "1007")->text();
        bar_visible = !child<QProgressBar>(w, "1001")->isHidden();
        cancel_enabled = child<QPushButton>(w, "2")->isEnabled();
        child<QPushButton>(w, "2")->setEnabled(true);
        child<QPushButton>(w, "2")->click();
      }
    });
    cancelled_seen = ui.cancelled();
    ui.progress_close();
  });
  EXPECT_EQ(file_text, "4 bytes\na.doc");
  EXPECT_EQ(status_text, "0 errors");
  EXPECT_FALSE(bar_visible);
  EXPECT_FALSE(cancel_enabled);
  EXPECT_TRUE(cancelled_seen);
  int dialogs = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    dialogs += w->windowTitle() == "File copy in progress";
  EXPECT_EQ(dialogs, 0);
  // A new dialog starts without the old Cancel.
  window.run_mirror([&] {
    ui.progress_open(true, true);
    cancelled_seen = ui.cancelled();
    ui.progress_close();
  });
  EXPECT_FALSE(cancelled_seen);
}

}  // namespace
