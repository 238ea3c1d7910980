#include "vexa32/qt_ui.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <memory>
#include <thread>
#include <vector>

#include "platform/user/message_box.h"
#include "vexa32/confirm_countdown.h"
#include "winui/message_box_qt.h"

void on_gui_thread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

namespace {

int show_qt_box(HWND /*owner*/, const char* text, const char* caption, UINT type) {
  int result = IDOK;
  on_gui_thread([&] {
    result = exec_qt_message_box(QString::fromUtf8(caption), QString::fromUtf8(text), type,
                                 Qt::WindowStaysOnTopHint);
  });
  return result;
}

QIcon make_icon(const QColor& color, bool smile) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(color);
  painter.drawEllipse(2, 2, 28, 28);
  if (smile) painter.drawArc(9, 9, 14, 14, 200 * 16, 140 * 16);
  return QIcon(pixmap);
}

}  // namespace

void install_qt_message_boxes() { nt_set_message_box_presenter(show_qt_box); }

ConfirmDialog::ConfirmDialog(const std::string& message, long ask, bool copy_on_timeout)
    : ask_(ask), copy_on_timeout_(copy_on_timeout) {
  setWindowTitle("File Copy");
  setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromUtf8(message.c_str()), this);
  text->setObjectName("102");
  countdown_text_ = new QLabel(this);
  countdown_text_->setObjectName("101");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
  layout->addWidget(text);
  layout->addWidget(countdown_text_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto countdown = std::make_shared<ConfirmCountdown>(ask_, copy_on_timeout_);
  countdown_text_->setText(QString::fromUtf8(countdown->text().c_str()));
  connect(&timer_, &QTimer::timeout, this, [this, countdown] {
    int result = countdown->tick();
    countdown_text_->setText(QString::fromUtf8(countdown->text().c_str()));
    if (result == IDOK) accept();
    if (result == IDCANCEL) reject();
  });
  if (!countdown->waits()) timer_.start(1000);
}

ProgressDialog::ProgressDialog(bool show_bar, bool allow_cancel, std::atomic<bool>* cancel) {
  setWindowTitle("File copy in progress");
  setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
  auto* layout = new QVBoxLayout(this);
  directory_ = new QLabel(this);
  directory_->setObjectName("1004");
  file_ = new QLabel(this);
  file_->setObjectName("1003");
  status_ = new QLabel(this);
  status_->setObjectName("1007");
  bar_ = new QProgressBar(this);
  bar_->setObjectName("1001");
  bar_->setRange(0, 100);
  bar_->setVisible(show_bar);
  auto* cancel_button = new QPushButton("Cancel", this);
  cancel_button->setObjectName("2");
  cancel_button->setEnabled(allow_cancel);
  layout->addWidget(directory_);
  layout->addWidget(file_);
  layout->addWidget(status_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_button);
  connect(cancel_button, &QPushButton::clicked, this, [cancel] { cancel->store(true); });
}

void ProgressDialog::set_texts(const std::string* file, const std::string* directory,
                               const std::string* status, int percent) {
  if (file) file_->setText(QString::fromUtf8(file->c_str()));
  if (directory) directory_->setText(QString::fromUtf8(directory->c_str()));
  if (status) status_->setText(QString::fromUtf8(status->c_str()));
  if (percent >= 0) bar_->setValue(percent > 100 ? 100 : percent);
}

bool QtMirrorUi::confirm(const std::string& message, long ask, bool copy_on_timeout) {
  bool ok = false;
  on_gui_thread([&] {
    ConfirmDialog dialog(message, ask, copy_on_timeout);
    ok = dialog.exec() == QDialog::Accepted;
  });
  return ok;
}

void QtMirrorUi::progress_open(bool show_bar, bool allow_cancel) {
  cancel_.store(false);
  on_gui_thread([&] {
    delete dialog_;
    dialog_ = new ProgressDialog(show_bar, allow_cancel, &cancel_);
    dialog_->show();
  });
}

void QtMirrorUi::progress_texts(const std::string* file, const std::string* directory,
                                const std::string* status, int percent) {
  on_gui_thread([&] {
    if (dialog_) dialog_->set_texts(file, directory, status, percent);
  });
}

void QtMirrorUi::progress_close() {
  on_gui_thread([&] {
    delete dialog_;
    dialog_ = nullptr;
  });
}

VexaWindow::VexaWindow()
    : normal_icon_(make_icon(QColor(70, 110, 200), false)),
      smile_icon_(make_icon(QColor(240, 200, 40), true)) {
  setWindowTitle(VEXA_TITLE);
  setObjectName("VexaClass");
  setWindowIcon(normal_icon_);
  timer_.setInterval(1000);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    if (agent_) agent_->tick();
  });
}

bool VexaWindow::set_timer(bool on) {
  if (on) {
    timer_.start();
  } else {
    timer_.stop();
  }
  return true;
}

void VexaWindow::show_window(bool hidden) {
  if (!hidden) showMinimized();
}

void VexaWindow::destroy_window() {
  destroyed_ = true;
  timer_.stop();
  hide();
  QCoreApplication::quit();
}

void VexaWindow::set_icon(bool smile) { setWindowIcon(smile ? smile_icon_ : normal_icon_); }

void VexaWindow::run_mirror(const std::function<void()>& work) {
  QEventLoop loop;
  std::thread worker([&] {
    work();
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
}

void VexaWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isVisible() && !isMinimized()) {
    set_icon(true);
    showMinimized();
  }
}
