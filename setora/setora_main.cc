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
#include <vector>

#include "platform/kernel/command_line.h"
#include "platform/kernel/module.h"
#include "setora/dialogs.h"
#include "setora/main_window.h"
#include "setora/pictures.h"
#include "setora/startup.h"

namespace {

// The directory of this program's executable, the default patch directory.
std::string own_directory() {
  std::vector<char> path(4096);
  DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return ".";
  std::string full(path.data(), n);
  size_t cut = full.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  return cut == 0 ? full.substr(0, 1) : full.substr(0, cut);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setWindowIcon(program_icon());
  install_qt_message_boxes();

  StartResult start = setora_start(GetCommandLineA(), own_directory());
  if (start.action == START_END) return start.exit_code;
  if (start.action == START_ABOUT) {
    show_about_box(nullptr);
    return 0;
  }
  MainWindow window(start.settings);
  window.show();
  return QApplication::exec();
}
