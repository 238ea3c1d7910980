// The main window of the patch manager: menus, a tool bar with the five
// commands, the patch list and a status bar of four panes.
#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>

#include "setora/patch_list.h"
#include "setora/patch_list_view.h"

class MainWindow : public QMainWindow {
 public:
  // Takes the settings of the start-up, fills the list and shows nothing
  // yet (the caller shows the window).
  explicit MainWindow(PatchListSettings settings, FreeSpaceQuery free_space = free_space_on_c,
                      QWidget* parent = nullptr);
  // The view and its model go first: they read the list while they close.
  ~MainWindow() override;

  // The commands.
  void apply();
  void choose_font();
  void about();
  void help();

  // A click on row `row`.
  void toggle_row(int row);

  PatchList& list() { return list_; }
  PatchListView* view() { return view_; }
  PatchListModel* model() { return model_; }
  // Pane 0 to 3 of the status bar.
  QLabel* pane(int index) { return panes_[index]; }
  QAction* action(UINT command) const;

 private:
  void build_actions();
  void build_status_bar();
  // Fills the list again and empties panes 1 to 3.
  void refill();
  void show_status();

  PatchList list_;
  PatchListView* view_ = nullptr;
  PatchListModel* model_ = nullptr;
  QLabel* panes_[4] = {};
  QAction* actions_[5] = {};
};
