#include "winui/message_box_qt.h"

#include <QMessageBox>
#include <vector>

#include "platform/user/message_box.h"

namespace {

struct Button {
  QMessageBox::StandardButton qt;
  int id;
};

std::vector<Button> buttons_of(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
      return {{QMessageBox::Abort, IDABORT},
              {QMessageBox::Retry, IDRETRY},
              {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
      return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
  }
}

QMessageBox::Icon icon_of(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

int exec_qt_message_box(const QString& caption, const QString& text, UINT type,
                        Qt::WindowFlags extra_flags) {
  QMessageBox box;
  box.setWindowTitle(caption);
  box.setText(text);
  box.setIcon(icon_of(type));
  if (extra_flags) box.setWindowFlags(box.windowFlags() | extra_flags);
  std::vector<Button> buttons = buttons_of(type);
  QMessageBox::StandardButtons all;
  for (const Button& b : buttons) all |= b.qt;
  box.setStandardButtons(all);
  size_t default_index = (type & MB_DEFMASK) >> 8;
  if (default_index < buttons.size()) box.setDefaultButton(buttons[default_index].qt);
  int pressed = box.exec();
  for (const Button& b : buttons) {
    if (pressed == b.qt) return b.id;
  }
  return nt_message_box_default_button(type);
}
