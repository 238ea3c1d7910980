#include "setora/main_window.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "platform/user/message_box.h"
#include "setora/dialogs.h"
#include "setora/pictures.h"
#include "setora/qt_text.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"
#include "setora/startup.h"

namespace {

constexpr UINT kCommands[5] = {ID_APPLY, ID_APP_EXIT, ID_CHOOSE_FONT, ID_APP_ABOUT,
                               ID_HELP_FINDER};

QString text(UINT id) { return qt_from_ansi(load_text(id)); }

// The parts of a command's prompt "status text\ntool tip".
QString prompt_part(UINT id, int part) { return text(id).section('\n', part, part); }

}  // namespace

MainWindow::MainWindow(PatchListSettings settings, FreeSpaceQuery free_space, QWidget* parent)
    : QMainWindow(parent), list_(std::move(settings), std::move(free_space)) {
  setWindowTitle(text(IDR_MAINFRAME));
  setWindowIcon(program_icon());

  view_ = new PatchListView(this);
  model_ = new PatchListModel(&list_, view_);
  view_->setModel(model_);
  view_->header()->setStretchLastSection(false);
  view_->header()->resizeSection(0, 300);
  view_->header()->resizeSection(1, 400);
  view_->header()->resizeSection(2, 150);
  view_->on_row_clicked = [this](int row) { toggle_row(row); };
  setCentralWidget(view_);

  build_actions();
  build_status_bar();
  resize(900, 500);
  refill();
}

MainWindow::~MainWindow() {
  delete view_;
  view_ = nullptr;
}

QAction* MainWindow::action(UINT command) const {
  for (int i = 0; i < 5; ++i) {
    if (kCommands[i] == command) return actions_[i];
  }
  return nullptr;
}

void MainWindow::build_actions() {
  QStyle* style = QApplication::style();
  const QIcon icons[5] = {style->standardIcon(QStyle::SP_DialogApplyButton),
                          style->standardIcon(QStyle::SP_DialogCloseButton), font_icon(),
                          style->standardIcon(QStyle::SP_MessageBoxInformation),
                          style->standardIcon(QStyle::SP_DialogHelpButton)};
  const UINT menu_text[5] = {IDS_MENU_APPLY, IDS_MENU_EXIT, IDS_FONT_TITLE, IDS_MENU_ABOUT,
                             IDS_MENU_HELP_TOPICS};
  for (int i = 0; i < 5; ++i) {
    QAction* a = new QAction(icons[i], text(menu_text[i]), this);
    a->setStatusTip(prompt_part(kCommands[i], 0));
    a->setToolTip(prompt_part(kCommands[i], 1));
    a->setData(static_cast<uint>(kCommands[i]));
    actions_[i] = a;
  }
  connect(actions_[0], &QAction::triggered, this, [this] { apply(); });
  connect(actions_[1], &QAction::triggered, this, [this] { close(); });
  connect(actions_[2], &QAction::triggered, this, [this] { choose_font(); });
  connect(actions_[3], &QAction::triggered, this, [this] { about(); });
  connect(actions_[4], &QAction::triggered, this, [this] { help(); });

  // Menus: File with Apply and Exit, Help with the help topics and About;
  // the font command is on the tool bar only.
  QMenu* file = menuBar()->addMenu(text(IDS_MENU_FILE));
  file->addAction(actions_[0]);
  file->addSeparator();
  file->addAction(actions_[1]);
  QMenu* help_menu = menuBar()->addMenu(text(IDS_MENU_HELP));
  help_menu->addAction(actions_[4]);
  help_menu->addSeparator();
  help_menu->addAction(actions_[3]);

  QToolBar* tools = addToolBar(QStringLiteral("Tools"));
  tools->setMovable(false);
  for (QAction* a : actions_) tools->addAction(a);
}

void MainWindow::build_status_bar() {
  const int widths[4] = {0, 150, 150, 250};
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(this);
    panes_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (i == 0) {
      statusBar()->addWidget(panes_[i], 1);
    } else {
      panes_[i]->setFixedWidth(widths[i]);
      statusBar()->addPermanentWidget(panes_[i]);
    }
  }
  panes_[0]->setText(text(IDS_READY));
}

void MainWindow::refill() {
  list_.fill();
  model_->reload();
  show_status();
}

void MainWindow::show_status() {
  for (int i = 1; i < 4; ++i) panes_[i]->setText(qt_from_ansi(list_.status_text(i)));
}

void MainWindow::toggle_row(int row) {
  if (row < 0) return;
  if (list_.toggle(static_cast<size_t>(row)) == TOGGLE_CHANGED) {
    model_->row_changed(row);
    show_status();
  }
}

void MainWindow::apply() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  list_.apply();
  QApplication::restoreOverrideCursor();
  model_->reload();
  show_status();
}

void MainWindow::choose_font() {
  QFont font = view_->font();
  if (choose_list_font(this, &font)) {
    view_->setFont(font);
    view_->viewport()->update();
  }
}

void MainWindow::about() { show_about_box(this); }

// There is no help file: the Help command shows the quick-info text.
void MainWindow::help() {
  MessageBoxA(nullptr, load_text(IDS_QUICK_INFO).c_str(), SETORA_QUICK_INFO_TITLE,
              MB_OK | MB_ICONINFORMATION);
}
