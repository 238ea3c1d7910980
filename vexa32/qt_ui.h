// The agent's windows on Qt Widgets: the main window (hidden or minimised,
// titled "Vexa32 V2.2", object name "VexaClass"), the CONFIRM and PROGRESS
// dialogs, and message boxes.
//
// Threads: Qt widgets live on the GUI thread. A mirror runs on a worker
// thread while the GUI thread keeps its event loop going, so the progress
// dialog stays alive and its Cancel button answers between files; the
// worker reaches the dialogs (texts, confirmation, message boxes) through
// blocking calls queued to the GUI thread, so a text is never set before the
// dialog exists. The cancel flag is the only state the two share.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>

#include "vexa32/agent.h"

class QLabel;
class QProgressBar;
class QPushButton;

// Runs `work` on the GUI thread and returns when it is done.
void on_gui_thread(const std::function<void()>& work);

// Makes MessageBoxA show Qt message boxes (from any thread).
void install_qt_message_boxes();

class ConfirmDialog : public QDialog {
 public:
  ConfirmDialog(const std::string& message, long ask, bool copy_on_timeout);

 private:
  QLabel* countdown_text_;
  QTimer timer_;
  long ask_;
  bool copy_on_timeout_;
};

class ProgressDialog : public QDialog {
 public:
  ProgressDialog(bool show_bar, bool allow_cancel, std::atomic<bool>* cancel);
  void set_texts(const std::string* file, const std::string* directory,
                 const std::string* status, int percent);

 private:
  QLabel* directory_;
  QLabel* file_;
  QLabel* status_;
  QProgressBar* bar_;
};

class QtMirrorUi : public MirrorUi {
 public:
  bool confirm(const std::string& message, long ask, bool copy_on_timeout) override;
  void progress_open(bool show_bar, bool allow_cancel) override;
  void progress_texts(const std::string* file, const std::string* directory,
                      const std::string* status, int percent) override;
  bool cancelled() override { return cancel_.load(); }
  void progress_close() override;

 private:
  ProgressDialog* dialog_ = nullptr;
  std::atomic<bool> cancel_{false};
};

class VexaWindow : public QWidget, public AgentHost {
 public:
  VexaWindow();
  void set_agent(Agent* agent) { agent_ = agent; }

  bool set_timer(bool on) override;
  void show_window(bool hidden) override;
  void destroy_window() override;
  void set_icon(bool smile) override;
  MirrorUi& mirror_ui() override { return ui_; }
  void run_mirror(const std::function<void()>& work) override;

  bool destroyed_window() const { return destroyed_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  Agent* agent_ = nullptr;
  QTimer timer_;
  QIcon normal_icon_;
  QIcon smile_icon_;
  QtMirrorUi ui_;
  bool destroyed_ = false;
};
