#include "ntnet/shares_command.h"

#include "ntnet/ntnet_internal.h"
#include "ntnet/options.h"
#include "platform/kernel/error.h"
#include "platform/netapi/netapi.h"
#include "platform/netapi/share_table.h"

namespace {

int share_add(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 3)
    return ctx.usage("usage: ntnet share add MACHINE NAME PATH [--comment TEXT]");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  NtShareInfo share;
  share.name = args.positional[1];
  share.path = args.positional[2];
  if (args.values.count("comment")) share.remark = args.values.at("comment");
  DWORD err = nt_share_add(*ref.store, share);
  switch (err) {
    case NERR_Success:
      ctx.print("Added share %s on %s (%s)\n", share.name.c_str(), ref.name.c_str(),
                share.path.c_str());
      return 0;
    case ERROR_INVALID_PARAMETER:
      return ctx.usage(
          "bad share: a name of 1 to 80 characters without \" / \\ [ ] : | < > + ; , ? * =, "
          "a path X:\\... below 260 characters and a comment of at most 256");
    case NERR_DuplicateShare:
      return ctx.fail("%s has a share %s already", ref.name.c_str(), share.name.c_str());
    case NERR_UnknownDevDir:
      return ctx.fail("%s is not a directory of %s", share.path.c_str(), ref.name.c_str());
    default:
      return ctx.fail("cannot add share %s on %s (error %lu)", share.name.c_str(),
                      ref.name.c_str(), static_cast<unsigned long>(err));
  }
}

int share_del(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 2) return ctx.usage("usage: ntnet share del MACHINE NAME");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  const std::string& name = args.positional[1];
  DWORD err = nt_share_del(*ref.store, name);
  switch (err) {
    case NERR_Success:
      ctx.print("Deleted share %s on %s\n", name.c_str(), ref.name.c_str());
      return 0;
    case NERR_NetNameNotFound:
      return ctx.fail("%s has no share %s", ref.name.c_str(), name.c_str());
    case ERROR_ACCESS_DENIED:
      return ctx.fail("%s is an administrative share and cannot be deleted", name.c_str());
    default:
      return ctx.fail("cannot delete share %s on %s (error %lu)", name.c_str(), ref.name.c_str(),
                      static_cast<unsigned long>(err));
  }
}

int share_list(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 1) return ctx.usage("usage: ntnet share list MACHINE");
  NtMachineRef ref;
  int rc = ctx.open_machine(args.positional[0], &ref);
  if (rc != 0) return rc;
  std::vector<NtShareInfo> shares;
  DWORD err = nt_share_list(*ref.store, &shares);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot read the shares of %s (error %lu)", ref.name.c_str(),
                    static_cast<unsigned long>(err));
  ctx.print("%-12s  %-8s  %-24s  %s\n", "NAME", "TYPE", "PATH", "COMMENT");
  for (const NtShareInfo& s : shares) {
    std::string line(512 + s.name.size() + s.path.size() + s.remark.size(), '\0');
    int n = snprintf(line.data(), line.size(), "%-12s  %08x  %-24s  %s", s.name.c_str(), s.type,
                     s.path.c_str(), s.remark.c_str());
    line.resize(n > 0 ? static_cast<size_t>(n) : 0);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    ctx.print("%s\n", line.c_str());
  }
  return 0;
}

}  // namespace

int ntnet_share_command(const std::vector<std::string>& args) {
  return ntnet_share_command(args, stdout, stderr);
}

int ntnet_share_command(const std::vector<std::string>& args, FILE* out, FILE* err) {
  Ntnet ctx{out, err};
  struct Entry {
    const char* sub;
    std::set<std::string> values;
    int (*run)(Ntnet&, const NtnetArgs&);
  };
  const Entry entries[] = {
      {"add", {"comment"}, share_add},
      {"del", {}, share_del},
      {"list", {}, share_list},
  };
  std::string sub = args.empty() ? "" : args[0];
  for (const Entry& e : entries) {
    if (sub != e.sub) continue;
    // The option parser reads an argument vector; the sub command stands
    // where the program name would.
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    NtnetArgs parsed;
    std::string message;
    if (!ntnet_parse_args(static_cast<int>(argv.size()), argv.data(), 1, e.values, {}, &parsed,
                          &message)) {
      return ctx.usage("%s", message.c_str());
    }
    if (parsed.help) {
      ctx.print("usage: ntnet share add MACHINE NAME PATH [--comment TEXT]\n"
                "       ntnet share del MACHINE NAME\n"
                "       ntnet share list MACHINE\n");
      return 0;
    }
    return e.run(ctx, parsed);
  }
  return ctx.usage("unknown share command '%s' (add, del or list)", sub.c_str());
}
