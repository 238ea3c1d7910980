// The real window on the offscreen platform: filled from a patch directory,
// rows toggled by mouse clicks, the commands, the patch icons.
#include "setora/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QStatusBar>
#include <QToolBar>
#include <cstdlib>

#include "setora/patch_icon.h"
#include "setora/pictures.h"
#include "setora/setora_ids.h"
#include "setora/setora_test_env.h"

#ifdef SETORA_HAVE_QTEST
#include <QTest>
#endif

// The font configuration library keeps caches that it never frees; they are
// no leak of this code.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

// One application object for all tests of the binary, on the offscreen
// platform so that no display is needed.
QApplication* application() {
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "setora_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return app;
}

class MainWindowTest : public SetoraTest {
 protected:
  void SetUp() override {
    SetoraTest::SetUp();
    application();
  }

  FreeSpaceQuery free_space() {
    return [this](uint64_t* bytes) {
      *bytes = free_bytes_;
      return true;
    };
  }

  // Clicks the left button on the middle of a row (column 1).
  static void click_row(MainWindow& w, int row, bool twice = false) {
    QModelIndex index = w.model()->index(row, 1);
    QPoint at = w.view()->visualRect(index).center();
#ifdef SETORA_HAVE_QTEST
    if (twice) {
      QTest::mouseDClick(w.view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    } else {
      QTest::mouseClick(w.view()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
#else
    QPointF global = w.view()->viewport()->mapToGlobal(QPointF(at));
    QMouseEvent press(twice ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress, QPointF(at),
                      global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.view()->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.view()->viewport(), &release);
#endif
  }

  static int state_of(MainWindow& w, int row) {
    return w.model()->data(w.model()->index(row, 0), Qt::UserRole).toInt();
  }
};

TEST_F(MainWindowTest, FillsTheListAndTogglesRowsByMouseClicks) {
  patch("A.FXA", "a", "Name=First patch\r\nDescription=The first\r\nSize=2000\r\n");
  patch("B.FXA", "b", "Size=300\r\n");
  patch("C.FXA", "c");
  patch("C.FXA_DEINSTALL", "undo");
  set_entry("C.FXA", "*INSTALLED");
  free_bytes_ = 2100 * 1024;

  MainWindow w(settings_, free_space());
  w.resize(900, 400);
  w.show();
  QApplication::processEvents();

  ASSERT_EQ(w.model()->rowCount(), 3);
  EXPECT_EQ(w.model()->columnCount(), 3);
  EXPECT_EQ(w.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
            "Application name");
  EXPECT_EQ(w.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            "Size in Kilobytes");
  EXPECT_EQ(w.view()->header()->sectionSize(0), 300);
  EXPECT_EQ(w.view()->header()->sectionSize(1), 400);
  EXPECT_EQ(w.view()->header()->sectionSize(2), 150);
  EXPECT_EQ(w.pane(0)->text(), "Ready");
  EXPECT_EQ(w.pane(1)->width(), 150);
  EXPECT_EQ(w.pane(3)->width(), 250);
  EXPECT_EQ(w.pane(1)->text(), "");

  int a = static_cast<int>(index_of(w.list(), "A.FXA"));
  int b = static_cast<int>(index_of(w.list(), "B.FXA"));
  int c = static_cast<int>(index_of(w.list(), "C.FXA"));
  EXPECT_EQ(w.model()->data(w.model()->index(a, 0), Qt::DisplayRole).toString(), "First patch");
  EXPECT_EQ(w.model()->data(w.model()->index(a, 1), Qt::DisplayRole).toString(), "The first");
  EXPECT_EQ(w.model()->data(w.model()->index(a, 2), Qt::DisplayRole).toString(), "2,000.00");
  EXPECT_EQ(state_of(w, a), PATCH_NOT_INSTALLED);
  EXPECT_EQ(state_of(w, c), PATCH_INSTALLED_REMOVABLE);

  // A click marks the row without selecting it.
  QModelIndex before = w.view()->currentIndex();
  click_row(w, a);
  EXPECT_EQ(state_of(w, a), PATCH_MARKED_INSTALL);
  EXPECT_EQ(w.view()->currentIndex(), before);
  EXPECT_TRUE(w.view()->selectionModel()->selectedRows().isEmpty());
  EXPECT_EQ(w.pane(1)->text(), "install: 1");
  EXPECT_EQ(w.pane(2)->text(), "remove: 0");
  EXPECT_EQ(w.pane(3)->text(), "KB left: 100.00");

  // B does not fit any more: the box, and the row stays.
  click_row(w, b);
  EXPECT_EQ(state_of(w, b), PATCH_NOT_INSTALLED);
  EXPECT_EQ(boxes(), std::vector<std::string>{"Setora|Not enough space left on disk|30"});

  // A double click toggles too; C is marked for removal and back.
  click_row(w, c, true);
  EXPECT_EQ(state_of(w, c), PATCH_MARKED_REMOVE);
  EXPECT_EQ(w.pane(2)->text(), "remove: 1");
  click_row(w, c);
  EXPECT_EQ(state_of(w, c), PATCH_INSTALLED_REMOVABLE);

  // A click below the rows changes nothing.
  QRect last = w.view()->visualRect(w.model()->index(2, 1));
  QPoint below(last.center().x(), last.bottom() + 40);
  ASSERT_FALSE(w.view()->indexAt(below).isValid());
#ifdef SETORA_HAVE_QTEST
  QTest::mouseClick(w.view()->viewport(), Qt::LeftButton, Qt::NoModifier, below);
#endif
  EXPECT_EQ(state_of(w, a), PATCH_MARKED_INSTALL);
  EXPECT_EQ(w.list().install_count(), 1);

  // Apply installs A through the runner and fills the list again.
  w.action(ID_APPLY)->trigger();
  EXPECT_EQ(entry("A.FXA"), "*INSTALLED");
  EXPECT_EQ(read("log.txt"), "a\n");
  EXPECT_EQ(state_of(w, static_cast<int>(index_of(w.list(), "A.FXA"))), PATCH_INSTALLED_FIXED);
  EXPECT_EQ(w.pane(1)->text(), "");
  EXPECT_TRUE(boxes().empty());
}

TEST_F(MainWindowTest, CommandsAndTextsInGerman) {
  ASSERT_TRUE(SetThreadLocale(0x0407));
  patch("A.FXA", "a");
  MainWindow w(settings_, free_space());
  EXPECT_EQ(w.pane(0)->text(), "Bereit");
  EXPECT_EQ(w.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
            QString::fromUtf8("Größe in Kilobyte"));
  EXPECT_EQ(w.action(ID_APPLY)->text(), QString::fromUtf8("&Ausführen"));
  EXPECT_EQ(w.action(ID_APPLY)->toolTip(), QString::fromUtf8("Ausführen"));
  EXPECT_EQ(w.action(ID_APP_ABOUT)->text(), QString::fromUtf8("Ü&ber Setora..."));
  EXPECT_EQ(w.findChildren<QToolBar*>().size(), 1);
  EXPECT_EQ(w.findChildren<QToolBar*>()[0]->actions().size(), 5);

  // Unattended, the dialogs are logged and end at once.
  w.action(ID_APP_ABOUT)->trigger();
  QFont before = w.view()->font();
  w.action(ID_CHOOSE_FONT)->trigger();
  EXPECT_EQ(w.view()->font(), before);
  w.action(ID_HELP_FINDER)->trigger();
  std::vector<std::string> shown = boxes();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], "Über Setora|Setora Version 1.3 (29.1.1998)|40");
  EXPECT_EQ(shown[1].rfind("Schriftart|", 0), 0u);
  EXPECT_EQ(shown[1].substr(shown[1].size() - 2), "|1");
  EXPECT_EQ(shown[2].rfind("Setora quick info|Aufruf: setora", 0), 0u);
}

TEST_F(MainWindowTest, PatchIconsComeFromImageFilesOrFallBack) {
  application();
  QImage red(24, 24, QImage::Format_ARGB32);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save(QString::fromStdString(dir_ + "/red.png")));
  file("broken.png", "not an image");

  QPixmap own = load_patch_icon("red.png", 0, dir_);  // relative: the patch directory
  ASSERT_FALSE(own.isNull());
  EXPECT_EQ(own.size(), QSize(16, 16));
  EXPECT_EQ(own.toImage().pixelColor(8, 8), QColor(Qt::red));
  EXPECT_FALSE(load_patch_icon(dir_ + "/red.png", 0, "C:\\elsewhere").isNull());

  EXPECT_TRUE(load_patch_icon("", 0, dir_).isNull());
  EXPECT_TRUE(load_patch_icon("missing.png", 0, dir_).isNull());
  EXPECT_TRUE(load_patch_icon("broken.png", 0, dir_).isNull());
  EXPECT_TRUE(load_patch_icon("red.png", 1, dir_).isNull());   // one image only
  EXPECT_TRUE(load_patch_icon("red.png", -1, dir_).isNull());

  // The row falls back to the program's icon 130.
  QImage fallback = patch_row_icon("missing.png", 0, dir_).toImage();
  EXPECT_EQ(fallback, program_picture(16).toImage());
  EXPECT_EQ(patch_row_icon("red.png", 0, dir_).toImage().pixelColor(8, 8), QColor(Qt::red));

  // Five distinct state pictures; others are empty.
  for (int s = 1; s <= 5; ++s) {
    QImage picture = state_picture(s).toImage();
    EXPECT_EQ(picture.size(), QSize(16, 16));
    for (int t = 1; t < s; ++t) EXPECT_NE(picture, state_picture(t).toImage()) << s << t;
  }
  QImage none = state_picture(0).toImage();
  EXPECT_EQ(none.pixelColor(8, 8).alpha(), 0);
}

}  // namespace
