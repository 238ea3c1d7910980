// MessageBoxA for the window programs. The layer itself has no windows: a
// program with a user interface installs a presenter that shows the box and
// returns the button pressed. Without one, the box is written to standard
// error as "<caption>: <text>" and answered with its default button.
//
// For tests and unattended runs, NT_MESSAGE_BOX_LOG names a file (or "-" for
// standard error) that receives one line per box instead of any presenter:
//
//   <caption>|<text>|<type in hex>
//
// with backslash, "|" and new lines written as "\\", "\|" and "\n". The
// answers are then taken in order from NT_MESSAGE_BOX_ANSWERS, a comma list
// of the words ok, cancel, abort, retry, ignore, yes, no (one per box, in
// this process; a changed list starts again from its first word); past its
// end, for a button the box lacks, or without it, the default button answers.
#pragma once

#include "platform/win32_types.h"

using HWND = void*;

// Buttons (low four bits of the type).
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0xF0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xF00;
// Modality and placement.
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_SYSTEMMODAL = 0x1000;
constexpr UINT MB_TASKMODAL = 0x2000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows the box and returns the button pressed; 0 with
// ERROR_INVALID_PARAMETER for an unknown button set or default button. A
// null text or caption counts as empty; a null caption shows "Error", as
// Win32 does.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// The function that shows boxes in a window program; null restores the
// standard-error form. The type given has been checked.
using NtMessageBoxPresenter = int (*)(HWND owner, const char* text, const char* caption,
                                      UINT type);
void nt_set_message_box_presenter(NtMessageBoxPresenter presenter);

// The button a box of `type` answers with when nobody presses one.
int nt_message_box_default_button(UINT type);
