// The pictures of the patch manager window, drawn in code: the program's
// icon (130), the five state icons of the list rows and the tool bar
// icons that the style does not offer.
#pragma once

#include <QIcon>
#include <QPixmap>

// The program's icon at `size` pixels (16 for the list, 32 for the About box).
QPixmap program_picture(int size);
QIcon program_icon();

// The state icon of a row, 16 x 16; states 1 to 5 (patch_list.h); any
// other state gives an empty picture.
QPixmap state_picture(int state);

// The tool bar icon of the font command.
QIcon font_icon();
