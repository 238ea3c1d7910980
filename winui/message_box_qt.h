// The message box of the window programs, shown with Qt: the icon, buttons
// and default button that a MessageBoxA type asks for.
#pragma once

#include <QString>
#include <Qt>

#include "platform/win32_types.h"

// Shows the box modally and returns the button pressed (IDOK, IDYES ...);
// closed without a button, the box answers with its default button. Runs
// on the GUI thread; `extra_flags` are added to the box's window flags
// (Qt::WindowStaysOnTopHint, say).
int exec_qt_message_box(const QString& caption, const QString& text, UINT type,
                        Qt::WindowFlags extra_flags = {});
