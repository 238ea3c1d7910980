// Setora: the patch manager window. Lists the patches of a patch directory
// that the conditions allow on this machine with their state, lets the user
// mark patches for installation or removal, and carries the marks out with
// the patch runner.
//
//   Setora [ver] [/p<patchdir>] [/f<pattern>] [/h<history>] [/c<conditions>]
//          [/l<e|d>] [/e<errorlevels>] [/t<seconds>] [/s<showmode>] [/D<drive>]
//          [/v] [/?]
#include <QApplication>
#include <string>

#include "lib/program_directory.h"
#include "platform/kernel/command_line.h"
#include "setora/dialogs.h"
#include "setora/main_window.h"
#include "setora/pictures.h"
#include "setora/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(program_icon());
  install_qt_message_boxes();

  StartResult start = setora_start(GetCommandLineA(), program_directory());
  if (start.action == START_END) return start.exit_code;
  if (start.action == START_ABOUT) {
    show_about_box(nullptr);
    return 0;
  }
  MainWindow window(start.settings);
  window.show();
  return QApplication::exec();
}
