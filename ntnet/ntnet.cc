#include "ntnet/ntnet.h"

#include <stdarg.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "ntnet/accounts_command.h"
#include "ntnet/command_logoff.h"
#include "ntnet/events_command.h"
#include "ntnet/ntnet_internal.h"
#include "ntnet/options.h"
#include "ntnet/services_command.h"
#include "ntnet/shares_command.h"
#include "platform/accounts/account_store.h"
#include "platform/kernel/error.h"
#include "platform/kernel/identity.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/nt_name.h"
#include "platform/registry/registry.h"

namespace {

const char kHelp[] =
    "Usage: ntnet COMMAND [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Creates and inspects an emulated NT network. The network is a directory:\n"
    "NT_NETWORK, else $XDG_DATA_HOME/ntnet, else ~/.local/share/ntnet. It holds\n"
    "network.ini (which machine is the default one) and machines/<NAME>/ for\n"
    "each machine: machine.db (its store: properties, drives, registry, ...),\n"
    "drives/C (its C: drive, with WINNT\\system32) and run/ (sockets, pids).\n"
    "A machine has a LAN group (its domain or workgroup), a role (workstation,\n"
    "server, pdc or bdc), a comment and an online flag: calls to an offline\n"
    "machine fail as calls to a dead server do. The tools' local machine is\n"
    "COMPUTERNAME, else the default machine. A network is created on first\n"
    "use with the local machine; `init` creates it as you choose.\n"
    "\n"
    "Commands:\n"
    "  init [--machine NAME] [--domain NAME]\n"
    "        create the network with its first machine, the default machine:\n"
    "        the domain's pdc with --domain, else a workstation of WORKGROUP\n"
    "  info  where the network is, its default and local machine\n"
    "  machine add NAME [--domain D] [--role workstation|server|pdc|bdc]\n"
    "                   [--comment TEXT]\n"
    "  machine set NAME [--online yes|no] [--comment TEXT]\n"
    "  machine del NAME\n"
    "  machine list     NAME, GROUP, ROLE, TYPE (server type bits), ONLINE, COMMENT\n"
    "  drive map MACHINE X: HOSTDIR [--type fixed|removable|cdrom|remote]\n"
    "  drive unmap MACHINE X:\n"
    "  drive list MACHINE\n"
    "  reg dump MACHINE KEYPATH [--times]\n"
    "        the key, its values and all keys below it\n"
    "  reg set MACHINE KEYPATH NAME TYPE DATA [--no-nul]\n"
    "        set a value (the key is created when missing); NAME @ or empty is\n"
    "        the default value; DATA is written as the dump shows it: escaped\n"
    "        text for strings (a NUL is added unless --no-nul), a number for\n"
    "        REG_DWORD, hex bytes for the other types\n"
    "  reg del MACHINE KEYPATH [NAME]\n"
    "        delete the value NAME, or without NAME the key (it must have no\n"
    "        subkeys)\n"
    "  share add MACHINE NAME PATH [--comment TEXT] | share del MACHINE NAME\n"
    "  share list MACHINE\n"
    "  user add MACHINE NAME [--password P] [--full-name TEXT] [--comment TEXT]\n"
    "                        [--group G]... [--local-group L]...\n"
    "        a user of the machine's accounts (a domain controller's are the\n"
    "        domain's); --group joins a global group, --local-group a local one\n"
    "  user list MACHINE  NAME, RID, STATE (enabled or disabled), FULL NAME\n"
    "  group add MACHINE NAME [--local] [--comment TEXT] [--member M]...\n"
    "        a global group (members: users of the same accounts), or with\n"
    "        --local a local group (members: DOMAIN\\NAME or NAME of any\n"
    "        account the machine knows)\n"
    "  group list MACHINE\n"
    "        \"global NAME: MEMBER, ...\" a line, then \"local NAME: DOMAIN\\MEMBER, ...\"\n"
    "  events MACHINE [LOG] | events --file F.EVT\n"
    "        the events of a machine's log (Application, System, Security)\n"
    "        or of a backup file\n"
    "  boot MACHINE\n"
    "        mark the machine online and start its automatic services\n"
    "  shutdown MACHINE [--timeout SECONDS]\n"
    "        stop its running services (a service that has not stopped after\n"
    "        the time-out, 20 s by default, is killed) and mark it offline\n"
    "  service list MACHINE\n"
    "        NAME, STATE (* marked for delete), START, PID, EXIT (the exit code\n"
    "        of the last run's process), PATH\n"
    "  logoff MACHINE [USER] [--force]\n"
    "        end the user's logon session (every session without USER): its\n"
    "        window programs are asked and told, higher shutdown levels first\n"
    "\n"
    "Names of machines, domains and workgroups are NT names: 1 to 15\n"
    "characters, none of \\ / : * ? \" < > |; case is ignored. MACHINE may be\n"
    "written \\\\NAME. KEYPATH starts with HKEY_LOCAL_MACHINE (HKLM), HKEY_USERS\n"
    "(HKU), HKEY_CURRENT_USER (HKCU), HKEY_CLASSES_ROOT (HKCR) or\n"
    "HKEY_CURRENT_CONFIG (HKCC). ntnet reaches offline machines too.\n"
    "\n"
    "Dump format: each key is a line [PATH], then `class \"...\"` when it has a\n"
    "class, `written YYYY-MM-DD hh:mm:ss.mmm` (UTC) with --times, one line a\n"
    "value, and an empty line. A path component that is not plain printable\n"
    "text is quoted. A value line is NAME = TYPE DATA; NAME is quoted, @ for\n"
    "the default value:\n"
    "  \"Name\" = REG_SZ \"text\"            string with its terminating NUL\n"
    "  \"Name\" = REG_SZ \"text\" (no NUL)   string stored without it\n"
    "  \"List\" = REG_MULTI_SZ \"a\\0b\\0\"     inner NULs as \\0, the last not shown\n"
    "  \"Num\" = REG_DWORD 0x0000001f (31) a DWORD of four bytes\n"
    "  \"Bin\" = REG_BINARY hex 01 02 ff    any other data, in hex\n"
    "Quoted text is UTF-8 with the escapes \\\\ \\\" \\0 \\t \\n \\r and \\uXXXX (other\n"
    "control characters, lone surrogates). Unknown types show as 0xXXXXXXXX.\n"
    "\n"
    "Exit codes: 0 done, 1 the operation failed, 2 a bad command line.\n";

bool valid_name(const std::string& name, std::string* upper) {
  return nt_normalize_machine_name(name, upper) == ERROR_SUCCESS;
}

bool valid_group(const std::string& name, std::string* upper) {
  return nt_normalize_name(name, upper) == ERROR_SUCCESS;
}

// Gives a new machine its account database (Administrator, Guest, the
// built-in groups) now rather than on first use.
int seed_accounts(Ntnet& ctx, const std::string& name) {
  NtMachineRef ref;
  DWORD err = nt_open_machine(name, &ref, NtMachineAccess::admin);
  if (err == ERROR_SUCCESS) err = nt_accounts_prepare(*ref.store);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot prepare the accounts of %s (error %lu)", name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int cmd_init(Ntnet& ctx, const NtnetArgs& args) {
  if (!args.positional.empty()) return ctx.usage("init takes no arguments");
  NtMachineInfo info;
  std::string given = args.values.count("machine") ? args.values.at("machine") : nt_computer_name();
  if (!valid_name(given, &info.name)) return ctx.usage("bad machine name '%s'", given.c_str());
  if (args.values.count("domain")) {
    const std::string& domain = args.values.at("domain");
    if (!valid_group(domain, &info.lan_group))
      return ctx.usage("bad domain name '%s'", domain.c_str());
    info.role = NtMachineRole::pdc;
  } else {
    info.lan_group = "WORKGROUP";
    info.role = NtMachineRole::workstation;
  }
  std::string root = nt_network_root();
  DWORD err = nt_network_create(root, info);
  if (err == ERROR_ALREADY_EXISTS) return ctx.fail("a network exists already at %s", root.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot create the network at %s (error %lu)", root.c_str(),
                    static_cast<unsigned long>(err));
  LONG rc = nt_reg_prepare_machine(info.name);
  if (rc != ERROR_SUCCESS)
    return ctx.fail("cannot prepare the registry of %s (error %ld)", info.name.c_str(),
                    static_cast<long>(rc));
  if (int seeded = seed_accounts(ctx, info.name)) return seeded;
  ctx.print("Created network %s with machine %s (%s of %s)\n", root.c_str(), info.name.c_str(),
            nt_machine_role_name(info.role), info.lan_group.c_str());
  return 0;
}

int cmd_info(Ntnet& ctx, const NtnetArgs& args) {
  if (!args.positional.empty()) return ctx.usage("info takes no arguments");
  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot reach the network at %s (error %lu)", root.c_str(),
                    static_cast<unsigned long>(err));
  std::vector<std::string> names;
  nt_machine_list(root, &names);
  ctx.print("network: %s\n", root.c_str());
  ctx.print("default machine: %s\n", nt_network_default_machine(root).c_str());
  ctx.print("local machine: %s\n", nt_local_machine_name().c_str());
  ctx.print("machines: %zu\n", names.size());
  return 0;
}

int machine_add(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet machine add NAME [OPTIONS]");
  NtMachineInfo info;
  if (!valid_name(args.positional[0], &info.name))
    return ctx.usage("bad machine name '%s'", args.positional[0].c_str());
  info.lan_group = "WORKGROUP";
  if (args.values.count("domain") && !valid_group(args.values.at("domain"), &info.lan_group))
    return ctx.usage("bad domain name '%s'", args.values.at("domain").c_str());
  if (args.values.count("role") && !nt_machine_role_parse(args.values.at("role"), &info.role))
    return ctx.usage("unknown role '%s' (workstation, server, pdc or bdc)",
                     args.values.at("role").c_str());
  if (args.values.count("comment")) info.comment = args.values.at("comment");
  bool controller = info.role == NtMachineRole::pdc || info.role == NtMachineRole::bdc;
  if (controller && !args.values.count("domain"))
    return ctx.usage("a domain controller needs --domain");

  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot reach the network at %s (error %lu)", root.c_str(),
                    static_cast<unsigned long>(err));
  if (info.role == NtMachineRole::pdc) {
    // One primary controller a domain.
    std::vector<std::string> names;
    nt_machine_list(root, &names);
    for (const std::string& name : names) {
      NtMachineRef ref;
      NtMachineInfo other;
      if (nt_open_machine(name, &ref, NtMachineAccess::admin) == ERROR_SUCCESS &&
          nt_machine_get_info(*ref.store, &other) == ERROR_SUCCESS &&
          other.role == NtMachineRole::pdc && other.lan_group == info.lan_group) {
        return ctx.fail("domain %s has its primary domain controller already: %s",
                        info.lan_group.c_str(), name.c_str());
      }
    }
  }
  err = nt_machine_create(root, info);
  if (err == ERROR_ALREADY_EXISTS) return ctx.fail("machine %s exists already", info.name.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot add machine %s (error %lu)", info.name.c_str(),
                    static_cast<unsigned long>(err));
  LONG rc = nt_reg_prepare_machine(info.name);
  if (rc != ERROR_SUCCESS)
    return ctx.fail("cannot prepare the registry of %s (error %ld)", info.name.c_str(),
                    static_cast<long>(rc));
  if (int seeded = seed_accounts(ctx, info.name)) return seeded;
  ctx.print("Added machine %s (%s of %s)\n", info.name.c_str(), nt_machine_role_name(info.role),
            info.lan_group.c_str());
  return 0;
}

int machine_set(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet machine set NAME [OPTIONS]");
  if (args.values.empty()) return ctx.usage("machine set needs --online or --comment");
  bool online = true;
  if (args.values.count("online")) {
    const std::string& v = args.values.at("online");
    if (v == "yes") online = true;
    else if (v == "no") online = false;
    else return ctx.usage("--online takes yes or no");
  }
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  DWORD err = ERROR_SUCCESS;
  if (args.values.count("online")) err = nt_machine_set_online(*ref.store, online);
  if (err == ERROR_SUCCESS && args.values.count("comment"))
    err = nt_machine_set_comment(*ref.store, args.values.at("comment"));
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot change machine %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

int machine_del(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet machine del NAME");
  std::string name;
  if (!valid_name(args.positional[0], &name))
    return ctx.usage("bad machine name '%s'", args.positional[0].c_str());
  std::string root;
  DWORD err = nt_network_ensure(&root);
  if (err == ERROR_SUCCESS) err = nt_machine_delete(root, name);
  if (err == ERROR_BAD_NETPATH) return ctx.fail("no machine %s in the network", name.c_str());
  if (err == ERROR_ACCESS_DENIED)
    return ctx.fail("%s is the default machine and cannot be deleted", name.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot delete machine %s (error %lu)", name.c_str(),
                    static_cast<unsigned long>(err));
  ctx.print("Deleted machine %s\n", name.c_str());
  return 0;
}

int machine_list(Ntnet& ctx, const NtnetArgs& args) {
  if (!args.positional.empty()) return ctx.usage("usage: ntnet machine list");
  std::string root;
  DWORD err = nt_network_ensure(&root);
  std::vector<std::string> names;
  if (err == ERROR_SUCCESS) err = nt_machine_list(root, &names);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot list the machines (error %lu)", static_cast<unsigned long>(err));
  ctx.print("%-15s  %-15s  %-11s  %-8s  %-6s  %s\n", "NAME", "GROUP", "ROLE", "TYPE", "ONLINE",
            "COMMENT");
  for (const std::string& name : names) {
    NtMachineRef ref;
    NtMachineInfo info;
    if (nt_open_machine(name, &ref, NtMachineAccess::admin) != ERROR_SUCCESS ||
        nt_machine_get_info(*ref.store, &info) != ERROR_SUCCESS) {
      ctx.error("cannot read machine %s", name.c_str());
      continue;
    }
    char line[512];
    snprintf(line, sizeof line, "%-15s  %-15s  %-11s  %08x  %-6s  %s", info.name.c_str(),
             info.lan_group.c_str(), nt_machine_role_name(info.role),
             nt_machine_server_type(info.role), info.online ? "yes" : "no", info.comment.c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    ctx.print("%s\n", text.c_str());
  }
  return 0;
}

bool parse_letter(const std::string& text, char* letter) {
  if (text.size() < 1 || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return false;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c < 'A' || c > 'Z') return false;
  *letter = c;
  return true;
}

int drive_map(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 3)
    return ctx.usage("usage: ntnet drive map MACHINE X: HOSTDIR [--type TYPE]");
  NtDrive drive;
  if (!parse_letter(args.positional[1], &drive.letter))
    return ctx.usage("bad drive letter '%s'", args.positional[1].c_str());
  if (args.values.count("type") && !nt_drive_type_parse(args.values.at("type"), &drive.type))
    return ctx.usage("unknown drive type '%s' (fixed, removable, cdrom or remote)",
                     args.values.at("type").c_str());
  const std::string& dir = args.positional[2];
  char* real = realpath(dir.c_str(), nullptr);
  if (real == nullptr || !is_directory(real)) {
    free(real);
    return ctx.fail("%s is not a directory", dir.c_str());
  }
  drive.host_dir = real;
  free(real);
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  DWORD err = nt_machine_map_drive(*ref.store, drive);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot map %c: on %s (error %lu)", drive.letter, ref.name.c_str(),
                    static_cast<unsigned long>(err));
  ctx.print("Mapped %c: of %s to %s (%s)\n", drive.letter, ref.name.c_str(),
            drive.host_dir.c_str(), nt_drive_type_name(drive.type));
  return 0;
}

int drive_unmap(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 2) return ctx.usage("usage: ntnet drive unmap MACHINE X:");
  char letter;
  if (!parse_letter(args.positional[1], &letter))
    return ctx.usage("bad drive letter '%s'", args.positional[1].c_str());
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  DWORD err = nt_machine_unmap_drive(*ref.store, letter);
  if (err == ERROR_INVALID_DRIVE)
    return ctx.fail("%c: is not mapped on %s", letter, ref.name.c_str());
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot unmap %c: on %s (error %lu)", letter, ref.name.c_str(),
                    static_cast<unsigned long>(err));
  return 0;
}

int drive_list(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet drive list MACHINE");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  std::vector<NtDrive> drives;
  DWORD err = nt_machine_get_drives(*ref.store, &drives);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot read the drives of %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  for (const NtDrive& d : drives) {
    ctx.print("%c:  %-9s  %s\n", d.letter, nt_drive_type_name(d.type),
              nt_machine_drive_host_path(*ref.store, d).c_str());
  }
  return 0;
}

}  // namespace

namespace {

// "ntnet: " and the message, on the error stream.
void write_message(FILE* err, const char* format, va_list ap) {
  fputs("ntnet: ", err);
  vfprintf(err, format, ap);
  fputs("\n", err);
}

}  // namespace

int Ntnet::usage(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_message(err, format, ap);
  va_end(ap);
  fputs("(ntnet --help explains the commands)\n", err);
  return 2;
}

int Ntnet::fail(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_message(err, format, ap);
  va_end(ap);
  return 1;
}

void Ntnet::error(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  write_message(err, format, ap);
  va_end(ap);
}

void Ntnet::print(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  vfprintf(out, format, ap);
  va_end(ap);
}

int Ntnet::open_machine(const std::string& given, NtMachineRef* ref) {
  std::string name;
  if (!valid_name(given, &name)) return usage("bad machine name '%s'", given.c_str());
  DWORD err = nt_open_machine(name, ref, NtMachineAccess::admin);
  if (err == ERROR_BAD_NETPATH) return fail("no machine %s in the network", name.c_str());
  if (err != ERROR_SUCCESS)
    return fail("cannot open machine %s (error %lu)", name.c_str(),
                static_cast<unsigned long>(err));
  return 0;
}

int ntnet_run(int argc, char** argv, FILE* out, FILE* err) {
  Ntnet ctx{out, err};
  if (argc < 2) {
    fputs(kHelp, out);
    return 2;
  }
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    fputs(kHelp, out);
    return 0;
  }
  // Commands that parse their own arguments.
  if (command == "share" || command == "events") {
    std::vector<std::string> rest(argv + 2, argv + argc);
    return command == "share" ? ntnet_share_command(rest, out, err)
                              : ntnet_events_command(rest, out, err);
  }
  if (command == "user" || command == "group") {
    std::vector<std::string> rest(argv + 2, argv + argc);
    return command == "user" ? ntnet_user_command(rest, out, err)
                             : ntnet_group_command(rest, out, err);
  }
  std::string sub = argc >= 3 ? argv[2] : "";
  struct Entry {
    const char* command;
    const char* sub;  // null: no subcommand
    std::set<std::string> values;
    std::set<std::string> flags;
    int (*run)(Ntnet&, const NtnetArgs&);
  };
  const Entry entries[] = {
      {"init", nullptr, {"machine", "domain"}, {}, cmd_init},
      {"info", nullptr, {}, {}, cmd_info},
      {"machine", "add", {"domain", "role", "comment"}, {}, machine_add},
      {"machine", "set", {"online", "comment"}, {}, machine_set},
      {"machine", "del", {}, {}, machine_del},
      {"machine", "list", {}, {}, machine_list},
      {"drive", "map", {"type"}, {}, drive_map},
      {"drive", "unmap", {}, {}, drive_unmap},
      {"drive", "list", {}, {}, drive_list},
      {"reg", "dump", {}, {"times"}, ntnet_reg_dump},
      {"reg", "set", {}, {"no-nul"}, ntnet_reg_set},
      {"reg", "del", {}, {}, ntnet_reg_del},
      {"boot", nullptr, {}, {}, ntnet_boot},
      {"shutdown", nullptr, {"timeout"}, {}, ntnet_shutdown},
      {"service", "list", {}, {}, ntnet_service_list},
      {"logoff", nullptr, {}, {"force"}, ntnet_logoff},
  };
  bool known_command = false;
  for (const Entry& e : entries) {
    if (command != e.command) continue;
    known_command = true;
    if (e.sub && sub != e.sub) continue;
    NtnetArgs args;
    std::string message;
    if (!ntnet_parse_args(argc, argv, e.sub ? 3 : 2, e.values, e.flags, &args, &message))
      return ctx.usage("%s", message.c_str());
    if (args.help) {
      fputs(kHelp, out);
      return 0;
    }
    return e.run(ctx, args);
  }
  if (known_command) {
    if (sub == "--help" || sub == "-h") {
      fputs(kHelp, out);
      return 0;
    }
    return ctx.usage("unknown %s command '%s'", command.c_str(), sub.c_str());
  }
  return ctx.usage("unknown command '%s'", command.c_str());
}
