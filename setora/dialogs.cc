#include "setora/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "platform/user/message_box.h"
#include "setora/pictures.h"
#include "setora/qt_text.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"

bool unattended_dialogs() {
  const char* log = getenv("NT_MESSAGE_BOX_LOG");
  return log != nullptr && *log != '\0';
}

void show_about_box(QWidget* parent) {
  const std::string title = load_text(IDS_ABOUT_TITLE);
  const std::string version = load_text(IDS_ABOUT_VERSION);
  if (unattended_dialogs()) {
    MessageBoxA(nullptr, version.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  QDialog dialog(parent);
  dialog.setWindowTitle(qt_from_ansi(title));
  auto* icon = new QLabel;
  icon->setPixmap(program_picture(32));
  auto* text = new QLabel(qt_from_ansi(version));
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(text, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(row);
  layout->addWidget(buttons);
  dialog.exec();
}

bool choose_list_font(QWidget* parent, QFont* font) {
  const QString title = qt_from_ansi(load_text(IDS_FONT_TITLE));
  if (unattended_dialogs()) {
    MessageBoxA(nullptr, ansi_from_qt(font->toString()).c_str(), ansi_from_qt(title).c_str(),
                MB_OKCANCEL);
    return false;
  }
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, *font, parent, title);
  if (ok) *font = chosen;
  return ok;
}

namespace {

int qt_message_box(HWND /*owner*/, const char* text, const char* caption, UINT type) {
  QMessageBox box;
  box.setWindowTitle(qt_from_ansi(caption));
  box.setText(qt_from_ansi(text).trimmed());
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  struct Button {
    QMessageBox::StandardButton qt;
    int id;
  };
  std::vector<Button> buttons;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{QMessageBox::Abort, IDABORT},
                 {QMessageBox::Retry, IDRETRY},
                 {QMessageBox::Ignore, IDIGNORE}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO},
                 {QMessageBox::Cancel, IDCANCEL}};
      break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL:
      buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
      break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
  }
  QMessageBox::StandardButtons all;
  for (const Button& b : buttons) all |= b.qt;
  box.setStandardButtons(all);
  size_t default_index = (type & MB_DEFMASK) >> 8;
  if (default_index < buttons.size()) box.setDefaultButton(buttons[default_index].qt);
  int pressed = box.exec();
  for (const Button& b : buttons) {
    if (pressed == b.qt) return b.id;
  }
  // Closed without a button: the default button answers.
  return nt_message_box_default_button(type);
}

}  // namespace

void install_qt_message_boxes() { nt_set_message_box_presenter(qt_message_box); }
