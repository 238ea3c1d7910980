// The icon of a patch row, from the file its `Icon` key names.
//
// Icons are not taken out of executables here: `Icon` names an image file
// that Qt reads (.ico, .png, .bmp, .xpm, ...), as an NT path; a relative
// path is taken from the patch directory, where the list is read.
// `IconIndex` picks the image within a file that holds several (an .ico
// file holds one per size); 0 is the first. An empty `Icon`, a file that
// cannot be found or read, a negative index or one past the file's last
// image give the program's own icon (130). The image is scaled to 16 x 16.
#pragma once

#include <QPixmap>
#include <string>

// Loads the image; a null pixmap when it cannot be had.
QPixmap load_patch_icon(const std::string& icon, int index, const std::string& patch_dir);

// The row's 16 x 16 icon: the patch's own, else the program's.
QPixmap patch_row_icon(const std::string& icon, int index, const std::string& patch_dir);
