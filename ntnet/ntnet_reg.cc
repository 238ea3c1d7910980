// ntnet reg: dump, set and delete registry keys and values of a machine.
#include <strings.h>

#include <string>
#include <vector>

#include "ntnet/ntnet_internal.h"
#include "ntnet/reg_text.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/error.h"
#include "platform/network/wtf8.h"
#include "platform/registry/registry.h"

namespace {

struct Root {
  const char* name;
  const char* abbreviation;
  HKEY key;
};

const Root kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

const char* meaning(LONG code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_BAD_PATHNAME: return "bad key path";
    case ERROR_KEY_DELETED: return "the key was deleted";
    default: return "failed";
  }
}

// An opened key path: the machine's root and the path below it.
struct KeyPath {
  const Root* root = nullptr;
  std::u16string sub;    // below the root, without a leading backslash
  std::string display;   // as a dump shows it
};

bool parse_key_path(const std::string& text, KeyPath* path) {
  size_t slash = text.find('\\');
  std::string first = text.substr(0, slash);
  for (const Root& r : kRoots) {
    if (strcasecmp(first.c_str(), r.name) == 0 || strcasecmp(first.c_str(), r.abbreviation) == 0)
      path->root = &r;
  }
  if (path->root == nullptr) return false;
  path->display = path->root->name;
  if (slash == std::string::npos) return true;
  std::string rest = text.substr(slash + 1);
  while (!rest.empty() && rest.back() == '\\') rest.pop_back();
  path->sub = nt_utf16_from_wtf8(rest);
  size_t start = 0;
  while (start <= path->sub.size() && !path->sub.empty()) {
    size_t end = path->sub.find(u'\\', start);
    std::u16string_view part = std::u16string_view(path->sub).substr(
        start, end == std::u16string::npos ? std::u16string::npos : end - start);
    path->display += "\\" + ntnet_path_component(part);
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return true;
}

// Opens the machine's root for a command; 0 or the exit code.
int open_root(Ntnet& ctx, const std::string& machine, const std::string& key_text,
              KeyPath* path, HKEY* root, NtMachineRef* ref) {
  int rc = ctx.open_machine(machine, ref);
  if (rc != 0) return rc;
  if (!parse_key_path(key_text, path))
    return ctx.usage("'%s' does not start with a root key (HKEY_LOCAL_MACHINE, HKLM, ...)",
                     key_text.c_str());
  LONG err = nt_reg_open_machine_root(ref->name, path->root->key, root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot open the registry of %s (error %ld)", ref->name.c_str(),
                    static_cast<long>(err));
  return 0;
}

std::string time_text(const FILETIME& ft) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return "?";
  char buf[64];
  snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", st.wYear, st.wMonth, st.wDay,
           st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
  return buf;
}

LONG dump_key(Ntnet& ctx, HKEY key, const std::string& path, bool times) {
  DWORD class_len = 0, subkeys = 0, max_sub = 0, values = 0, max_name = 0, max_data = 0;
  FILETIME written{};
  LONG err = RegQueryInfoKeyW(key, nullptr, &class_len, nullptr, &subkeys, &max_sub, nullptr,
                              &values, &max_name, &max_data, nullptr, &written);
  if (err != ERROR_SUCCESS) return err;
  std::u16string cls(class_len + 1, u'\0');
  DWORD cls_size = class_len + 1;
  err = RegQueryInfoKeyW(key, cls.data(), &cls_size, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
  if (err != ERROR_SUCCESS) return err;
  cls.resize(cls_size);

  ctx.print("[%s]\n", path.c_str());
  if (!cls.empty()) ctx.print("class %s\n", ntnet_quote(cls).c_str());
  if (times) ctx.print("written %s\n", time_text(written).c_str());
  std::vector<WCHAR> name;
  std::string data;
  for (DWORD i = 0;; ++i) {
    name.assign(max_name + 1, 0);
    data.assign(max_data, '\0');
    DWORD name_size = max_name + 1, data_size = max_data, type = 0;
    err = RegEnumValueW(key, i, name.data(), &name_size, nullptr, &type,
                        reinterpret_cast<BYTE*>(data.data()), &data_size);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err == ERROR_MORE_DATA) {
      // Changed while we read: ask again for the sizes and retry.
      err = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &max_name, &max_data, nullptr, nullptr);
      if (err != ERROR_SUCCESS) return err;
      --i;
      continue;
    }
    if (err != ERROR_SUCCESS) return err;
    std::u16string_view value_name(name.data(), name_size);
    std::string shown = value_name.empty() ? "@" : ntnet_quote(value_name);
    ctx.print("%s = %s\n", shown.c_str(),
              ntnet_format_value(type, std::string_view(data.data(), data_size)).c_str());
  }
  ctx.print("\n");
  for (DWORD i = 0;; ++i) {
    WCHAR sub[256];
    DWORD sub_size = 256;
    err = RegEnumKeyExW(key, i, sub, &sub_size, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) return err;
    std::u16string sub_name(sub, sub_size);
    HKEY child;
    err = RegOpenKeyExW(key, sub_name.c_str(), 0, KEY_READ, &child);
    if (err == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
    if (err != ERROR_SUCCESS) return err;
    err = dump_key(ctx, child, path + "\\" + ntnet_path_component(sub_name), times);
    RegCloseKey(child);
    if (err != ERROR_SUCCESS) return err;
  }
  return ERROR_SUCCESS;
}

std::u16string value_name(const std::string& text) {
  return text == "@" ? std::u16string() : nt_utf16_from_wtf8(text);
}

}  // namespace

int ntnet_reg_dump(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 2) return ctx.usage("usage: ntnet reg dump MACHINE KEYPATH");
  KeyPath path;
  HKEY root;
  NtMachineRef ref;
  int rc = open_root(ctx, args.positional[0], args.positional[1], &path, &root, &ref);
  if (rc != 0) return rc;
  HKEY key;
  LONG err = RegOpenKeyExW(root, path.sub.c_str(), 0, KEY_READ, &key);
  RegCloseKey(root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("%s on %s: %s (error %ld)", path.display.c_str(), ref.name.c_str(),
                    meaning(err), static_cast<long>(err));
  err = dump_key(ctx, key, path.display, args.flags.count("times") > 0);
  RegCloseKey(key);
  if (err != ERROR_SUCCESS)
    return ctx.fail("dump of %s on %s stopped: %s (error %ld)", path.display.c_str(),
                    ref.name.c_str(), meaning(err), static_cast<long>(err));
  return 0;
}

int ntnet_reg_set(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 5)
    return ctx.usage("usage: ntnet reg set MACHINE KEYPATH NAME TYPE DATA [--no-nul]");
  DWORD type;
  if (!ntnet_parse_type(args.positional[3], &type))
    return ctx.usage("unknown value type '%s'", args.positional[3].c_str());
  std::string data, message;
  if (!ntnet_parse_value_data(type, args.positional[4], args.flags.count("no-nul") > 0, &data,
                              &message))
    return ctx.usage("bad data for %s: %s", ntnet_type_name(type).c_str(), message.c_str());
  KeyPath path;
  HKEY root;
  NtMachineRef ref;
  int rc = open_root(ctx, args.positional[0], args.positional[1], &path, &root, &ref);
  if (rc != 0) return rc;
  HKEY key;
  LONG err = RegCreateKeyExW(root, path.sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_SET_VALUE, nullptr, &key, nullptr);
  RegCloseKey(root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot create %s on %s: %s (error %ld)", path.display.c_str(),
                    ref.name.c_str(), meaning(err), static_cast<long>(err));
  std::u16string name = value_name(args.positional[2]);
  err = RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot set %s in %s on %s: %s (error %ld)", args.positional[2].c_str(),
                    path.display.c_str(), ref.name.c_str(), meaning(err), static_cast<long>(err));
  return 0;
}

int ntnet_reg_del(Ntnet& ctx, const NtnetArgs& args) {
  if (args.positional.size() != 2 && args.positional.size() != 3)
    return ctx.usage("usage: ntnet reg del MACHINE KEYPATH [NAME]");
  KeyPath path;
  HKEY root;
  NtMachineRef ref;
  int rc = open_root(ctx, args.positional[0], args.positional[1], &path, &root, &ref);
  if (rc != 0) return rc;
  LONG err;
  if (args.positional.size() == 3) {
    HKEY key;
    err = RegOpenKeyExW(root, path.sub.c_str(), 0, KEY_SET_VALUE, &key);
    if (err == ERROR_SUCCESS) {
      err = RegDeleteValueW(key, value_name(args.positional[2]).c_str());
      RegCloseKey(key);
    }
  } else {
    err = RegDeleteKeyW(root, path.sub.c_str());
  }
  RegCloseKey(root);
  if (err != ERROR_SUCCESS)
    return ctx.fail("cannot delete %s%s%s on %s: %s (error %ld)", path.display.c_str(),
                    args.positional.size() == 3 ? " value " : "",
                    args.positional.size() == 3 ? args.positional[2].c_str() : "",
                    ref.name.c_str(), meaning(err), static_cast<long>(err));
  return 0;
}
