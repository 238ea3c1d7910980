// Vexa32: the logon agent. An empty command line is the logon start, "/?" or
// "ver" shows the version, anything else (" RESTART") the resident start.
#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>
#include <string>

#include "platform/kernel/command_line.h"
#include "platform/kernel/module.h"
#include "platform/session/session.h"
#include "platform/user/message_box.h"
#include "vexa32/agent.h"
#include "vexa32/qt_ui.h"
#include "vexa32/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  install_qt_message_boxes();

  const std::string args = command_tail(GetCommandLineA());
  if (is_version_request(args)) {
    MessageBoxA(nullptr, VEXA_TITLE, "Info", MB_OK);
    return 1;
  }
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string program = n > 0 && n < sizeof path ? std::string(path, n) : std::string(argv[0]);

  VexaWindow window;
  Agent agent(window, program);
  window.set_agent(&agent);
  if (!agent.begin()) return 0;
  if (args.empty()) {
    agent.logon();
    return 0;
  }

  // The resident agent belongs to the logon session and hears of its end.
  int fd = nt_session_join();
  QSocketNotifier* notifier = nullptr;
  if (fd >= 0) {
    notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
      notifier->setEnabled(false);
      NtSessionMessage message;
      while (nt_session_next_message(&message)) {
        if (message.kind == NtSessionMessageKind::query_end_session) {
          nt_session_reply(agent.query_end_session());
        } else {
          agent.end_session(message.ending);
          if (agent.ended()) break;
        }
      }
      if (!agent.ended()) notifier->setEnabled(true);
    });
  }
  agent.resident();
  if (!agent.ended()) app.exec();
  nt_session_leave();
  return 0;
}
