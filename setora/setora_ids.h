// Resource and command ids of the patch manager window.
#pragma once

#include "platform/win32_types.h"

// Texts of the list and the status bar.
constexpr UINT IDS_INSTALL_COUNT = 61204;   // "install: %d"
constexpr UINT IDS_COLUMN_NAME = 61205;
constexpr UINT IDS_COLUMN_DESCRIPTION = 61206;
constexpr UINT IDS_COLUMN_SIZE = 61207;
constexpr UINT IDS_REMOVE_COUNT = 61208;    // "remove: %d"
constexpr UINT IDS_KB_LEFT = 61209;         // "KB left: %s"
constexpr UINT IDS_NO_SPACE = 61210;
constexpr UINT IDS_QUICK_INFO = 61211;
constexpr UINT IDS_READY = 57345;           // idle text of the status bar
constexpr UINT IDR_MAINFRAME = 128;         // window title
constexpr UINT IDS_MENU_FILE = 1001;
constexpr UINT IDS_MENU_APPLY = 1002;
constexpr UINT IDS_MENU_EXIT = 1003;
constexpr UINT IDS_MENU_HELP = 1004;
constexpr UINT IDS_MENU_HELP_TOPICS = 1005;
constexpr UINT IDS_MENU_ABOUT = 1006;
constexpr UINT IDS_ABOUT_TITLE = 1010;
constexpr UINT IDS_ABOUT_VERSION = 1011;
constexpr UINT IDS_FONT_TITLE = 1012;

// Commands; their prompts ("status text\ntool tip") carry the same ids.
constexpr UINT ID_APPLY = 32789;
constexpr UINT ID_CHOOSE_FONT = 32791;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_HELP_FINDER = 57670;

// The program's icon.
constexpr UINT IDI_PROGRAM = 130;
