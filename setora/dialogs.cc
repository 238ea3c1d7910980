#include "setora/dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "platform/user/message_box.h"
#include "setora/pictures.h"
#include "setora/qt_text.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"
#include "winui/message_box_qt.h"

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
  return exec_qt_message_box(qt_from_ansi(caption), qt_from_ansi(text).trimmed(), type);
}

}  // namespace

void install_qt_message_boxes() { nt_set_message_box_presenter(qt_message_box); }
