// show and user: the server commands that read what a server holds.
#include <string>

#include "lib/format.h"
#include "zeb/server_actions.h"
#include "zeb/server_record.h"
#include "zeb/user_command.h"

bool zeb_server_show(ServerRun& run, const std::string& domain, const std::string& server) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  ++run.count;
  ArgSpec fields[SERVER_FIELD_COUNT + 1];
  server_record_fields(record, fields);
  print_formatted(run.format.c_str(), fields, run.args->ansi);
  return true;
}

bool zeb_server_user(ServerRun& run, const std::string& domain, const std::string& server) {
  ServerRecord record;
  if (server_record_query(domain.c_str(), server.c_str(), &record) != 0) return false;
  if (!server_record_matches(record, run.args->criteria)) return true;
  ++run.servers;
  ++run.count;
  const ZebClientArgs& args = *run.args;
  UserCommandArgs user;
  user.server = server.c_str();
  user.server_domain = domain.c_str();
  user.account = args.account_given ? args.account.c_str() : nullptr;
  user.password =
      args.password_given && args.password != "?" ? args.password.c_str() : nullptr;
  user.delete_index = args.delete_given ? args.delete_index.c_str() : nullptr;
  user.format = run.format.empty() ? nullptr : run.format.c_str();
  const int rc = user_command_server(user, &run.users);
  if (rc == 87) run.exit_code = 87;
  return rc == 0;
}
