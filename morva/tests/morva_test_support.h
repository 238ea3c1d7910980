// Test helpers for morva: the events of the service's source in a machine's
// Application log, and registry values read back.
#pragma once

#include <string>
#include <vector>

#include "morva/morva_names.h"
#include "platform/eventlog/event_record.h"
#include "platform/eventlog/event_store.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/network/wtf8.h"
#include "platform/registry/registry.h"

struct MorvaEvent {
  DWORD id = 0;
  WORD type = 0;
  std::vector<std::string> strings;
};

// The events of "ZA Divedido Zodeveza" on `machine` ("" for the local one).
inline std::vector<MorvaEvent> morva_events(const char* machine = "") {
  std::vector<MorvaEvent> out;
  NtMachineRef ref;
  if (nt_open_machine(machine, &ref) != ERROR_SUCCESS || !ref.store) return out;
  std::vector<std::string> records;
  NtEventLogState state;
  if (nt_event_store_snapshot(*ref.store, NT_LOG_APPLICATION, &records, &state) !=
      ERROR_SUCCESS) {
    return out;
  }
  for (const std::string& bytes : records) {
    NtEventRecord rec;
    size_t length = 0;
    if (!nt_event_record_parse(bytes, false, &rec, &length)) continue;
    if (nt_wtf8_from_utf16(rec.source) != MORVA_SERVICE_NAME) continue;
    MorvaEvent e;
    e.id = rec.event_id;
    e.type = rec.event_type;
    for (const std::u16string& s : rec.strings) e.strings.push_back(nt_wtf8_from_utf16(s));
    out.push_back(e);
  }
  return out;
}

// A value on `server` (null: this machine); "<error N>" when unreadable.
inline std::string morva_value(const char* server, const char* key, const char* name,
                               DWORD* type = nullptr) {
  HKEY root = nullptr;
  HKEY k = nullptr;
  LONG rc = RegConnectRegistryA(server, HKEY_LOCAL_MACHINE, &root);
  if (rc == 0) rc = RegOpenKeyExA(root, key, 0, KEY_READ, &k);
  char data[8192];
  DWORD size = sizeof data;
  DWORD t = 0;
  if (rc == 0) rc = RegQueryValueExA(k, name, nullptr, &t, reinterpret_cast<BYTE*>(data), &size);
  if (k != nullptr) RegCloseKey(k);
  if (root != nullptr) RegCloseKey(root);
  if (type != nullptr) *type = t;
  return rc == 0 ? std::string(data, size) : "<error " + std::to_string(rc) + ">";
}

// Writes a value on this machine, creating the key.
inline LONG morva_set_value(const char* key, const char* name, DWORD type,
                            const std::string& data) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr);
  if (rc != 0) return rc;
  rc = RegSetValueExA(k, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                      static_cast<DWORD>(data.size()));
  RegCloseKey(k);
  return rc;
}
