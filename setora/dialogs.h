// The program's own dialogs and its message box presenter.
//
// Unattended runs: when NT_MESSAGE_BOX_LOG is set (tests, end-to-end runs),
// message boxes are logged and answered by the platform (message_box.h),
// and the program's own dialogs go the same way instead of waiting for a
// user: the About box is logged as a box titled "About Setora" (or "Über
// Setora") with its version line, type MB_OK | MB_ICONINFORMATION; the
// font dialog as a box titled with string 1012 ("Font") whose text is the
// list's font as Qt describes it, type MB_OKCANCEL, and the font stays.
#pragma once

#include <QFont>
#include <QWidget>

// True when boxes and dialogs are logged instead of shown.
bool unattended_dialogs();

// The About box: the program's icon, "Setora Version 1.3 (...)" and OK.
void show_about_box(QWidget* parent);

// The font dialog (screen fonts with effects); true with `font` set when
// the user chose one.
bool choose_list_font(QWidget* parent, QFont* font);

// Shows message boxes with QMessageBox; installed by the program once the
// application object exists.
void install_qt_message_boxes();
