#include "portel/share_view.h"

#include <cstdio>

#include "platform/nls/codepage.h"
#include "portel/share_security.h"

namespace {

std::u16string text(const WCHAR* value) { return value ? value : u""; }

}  // namespace

bool share_is_seen(int32_t level, DWORD type, const std::u16string& name) {
  if (level != SHOW_DISK_SHARES && level != SHOW_VISIBLE_DISK_SHARES) return true;
  if (type != STYPE_DISKTREE) return false;
  if (level == SHOW_VISIBLE_DISK_SHARES && !name.empty() && name.back() == u'$') return false;
  return true;
}

std::u16string server_without_backslashes(const std::u16string& server) {
  size_t skip = 0;
  while (skip < server.size() && server[skip] == u'\\') ++skip;
  return server.substr(skip);
}

ShareView::~ShareView() { NetApiBufferFree(buffer_); }

bool ShareView::read(const WCHAR* domain, const WCHAR* server, const WCHAR* name) {
  NetApiBufferFree(buffer_);
  buffer_ = nullptr;
  info_ = nullptr;
  NET_API_STATUS status = NetShareGetInfo(server, name, 502, &buffer_);
  if (status != NERR_Success || buffer_ == nullptr) {
    fflush(stdout);
    fprintf(stderr, "PORTEL-ERROR, NetShareGetInfo(%s) failed, error=%ld\n",
            nt_wide_to_ansi(text(name)).c_str(), static_cast<long>(status));
    return false;
  }
  info_ = reinterpret_cast<const SHARE_INFO_502*>(buffer_);
  domain_ = text(domain);
  server_ = text(server);
  server_name_ = server_without_backslashes(server_);
  name_ = text(info_->shi502_netname);
  remark_ = text(info_->shi502_remark);
  path_ = text(info_->shi502_path);
  unc_ = u"\\\\" + server_name_ + u"\\" + name_;
  max_uses_ = static_cast<int32_t>(info_->shi502_max_uses);
  current_uses_ = static_cast<int32_t>(info_->shi502_current_uses);
  int aces = 0;
  if (!share_grants(server, info_->shi502_security_descriptor, &grants_, &aces)) return false;
  aces_ = aces;
  wgrants_ = nt_ansi_to_wide(grants_);
  build_table();
  return true;
}

void ShareView::build_table() {
  const ArgSpec entries[] = {
      {ARG_WSTRING, 'S', ARG_OPTIONAL, server_name_.data(), 0},
      {ARG_WSTRING, 'N', ARG_OPTIONAL, name_.data(), 0},
      {ARG_WSTRING, 'c', ARG_OPTIONAL, remark_.data(), 0},
      {ARG_WSTRING, 'p', ARG_OPTIONAL, path_.data(), 0},
      {ARG_WSTRING, 'g', ARG_OPTIONAL, wgrants_.data(), 0},
      {ARG_NUMERIC, 'M', ARG_OPTIONAL, &max_uses_, 0},
      {ARG_NUMERIC, 'C', ARG_OPTIONAL, &current_uses_, 0},
      {ARG_NUMERIC, 'T', ARG_OPTIONAL, &aces_, 0},
      {ARG_WSTRING, 'F', ARG_OPTIONAL, unc_.data(), 0},
      {ARG_WSTRING, 'D', ARG_OPTIONAL, domain_.data(), 0},
      {ARG_END, 0, 0, nullptr, 0},
  };
  static_assert(sizeof entries == sizeof table_);
  for (size_t i = 0; i < sizeof entries / sizeof entries[0]; ++i) table_[i] = entries[i];
}

SHARE_INFO_502 ShareRecord::info() {
  SHARE_INFO_502 record{};
  record.shi502_netname = name.data();
  record.shi502_type = type;
  record.shi502_remark = remark.data();
  record.shi502_permissions = 0;
  record.shi502_max_uses = max_uses;
  record.shi502_current_uses = 0;
  record.shi502_path = path.data();
  record.shi502_passwd = nullptr;
  record.shi502_reserved = 0;
  record.shi502_security_descriptor = sd;
  return record;
}

ShareRecord record_for_add(const std::u16string& name, const ShareSettings& settings,
                           PSECURITY_DESCRIPTOR sd) {
  ShareRecord record;
  record.name = name;
  record.type = STYPE_DISKTREE;
  record.remark = settings.remark;
  record.path = settings.path;
  record.max_uses = settings.max_uses < 0 ? SHI_USES_UNLIMITED
                                          : static_cast<DWORD>(settings.max_uses);
  record.sd = sd;
  return record;
}

ShareRecord record_for_set(const ShareView& current, const ShareSettings& settings,
                           PSECURITY_DESCRIPTOR sd) {
  ShareRecord record;
  record.name = settings.net_name.empty() ? current.name() : settings.net_name;
  record.type = current.type();
  record.remark = settings.remark_given ? settings.remark : current.remark();
  record.path = settings.path.empty() ? current.path() : settings.path;
  record.max_uses = settings.max_uses > 0 ? static_cast<DWORD>(settings.max_uses)
                                          : current.info().shi502_max_uses;
  record.sd = sd ? sd : current.info().shi502_security_descriptor;
  return record;
}
