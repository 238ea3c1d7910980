// One share as the tool sees it: read from its server at level 502, with
// its grants text, the placeholder table its lines and criteria use, the
// /h filter, and the record a change writes back.
#pragma once

#include <string>

#include "lib/arg_spec.h"
#include "platform/netapi/netapi.h"
#include "platform/win32_types.h"

// Which shares are seen (/h).
constexpr int32_t SHOW_ALL_SHARES = 0;
constexpr int32_t SHOW_DISK_SHARES = 1;
constexpr int32_t SHOW_VISIBLE_DISK_SHARES = 2;

// True when a share of this type and name is seen at `level`: with 1 or 2
// only plain disk shares (exactly STYPE_DISKTREE; administrative ones carry
// STYPE_SPECIAL as well), with 2 also only names not ending in '$'. Any
// other level sees every share.
bool share_is_seen(int32_t level, DWORD type, const std::u16string& name);

// "\\NAME" without its leading backslashes.
std::u16string server_without_backslashes(const std::u16string& server);

class ShareView {
 public:
  ShareView() = default;
  ~ShareView();
  ShareView(const ShareView&) = delete;
  ShareView& operator=(const ShareView&) = delete;

  // Reads share `name` of `server` and its grants. False after printing
  // why ("PORTEL-ERROR, NetShareGetInfo(%s) failed, error=%ld" and the
  // like); the share is then to be left alone.
  bool read(const WCHAR* domain, const WCHAR* server, const WCHAR* name);

  // The placeholder table (S N c p g M C T F D), valid while the view lives.
  const ArgSpec* table() const { return table_; }

  const SHARE_INFO_502& info() const { return *info_; }
  DWORD type() const { return info_->shi502_type; }
  const std::u16string& server() const { return server_; }
  const std::u16string& name() const { return name_; }
  const std::u16string& remark() const { return remark_; }
  const std::u16string& path() const { return path_; }
  const std::string& grants() const { return grants_; }
  int32_t max_uses() const { return max_uses_; }
  int32_t aces() const { return aces_; }

 private:
  void build_table();

  LPBYTE buffer_ = nullptr;
  const SHARE_INFO_502* info_ = nullptr;
  std::u16string domain_, server_, server_name_, name_, remark_, path_, wgrants_, unc_;
  std::string grants_;
  int32_t max_uses_ = 0, current_uses_ = 0, aces_ = 0;
  ArgSpec table_[11]{};
};

// What the tool's options ask of a share.
struct ShareSettings {
  std::u16string net_name;  // /N, empty: keep
  std::u16string remark;    // /c
  bool remark_given = false;
  std::u16string path;      // /p, empty: keep
  int32_t max_uses = -1;    // /M, kept unless above 0 when changing
};

// A level-502 record with the storage of its texts.
struct ShareRecord {
  std::u16string name, remark, path;
  DWORD type = STYPE_DISKTREE;
  DWORD max_uses = SHI_USES_UNLIMITED;
  PSECURITY_DESCRIPTOR sd = nullptr;

  // The record for the network calls; points into this object.
  SHARE_INFO_502 info();
};

// The record add writes: the name, a disk share, the remark, maximum users
// (-1 and other negative values: unlimited), the path and the descriptor.
ShareRecord record_for_add(const std::u16string& name, const ShareSettings& settings,
                           PSECURITY_DESCRIPTOR sd);

// The record set writes: each setting or the share's current value (the
// maximum only when above 0), and `sd` or, when null, the current one.
ShareRecord record_for_set(const ShareView& current, const ShareSettings& settings,
                           PSECURITY_DESCRIPTOR sd);
