#include "platform/security/machine_sid.h"

#include <sys/random.h>

#include <chrono>
#include <random>

#include "platform/kernel/error.h"
#include "platform/security/sid.h"

namespace {

DWORD upgrade_security(MachineStore& store, int from) {
  if (from < 1) {
    return store.exec(
        "CREATE TABLE security_machine("
        " id INTEGER PRIMARY KEY CHECK (id = 1), sid BLOB NOT NULL);");
  }
  return ERROR_SUCCESS;
}

// Three random sub-authorities; the kernel's random source, else a seeded
// generator (never the same numbers for two machines made at once).
void random_parts(DWORD parts[3]) {
  if (getrandom(parts, 3 * sizeof(DWORD), 0) == static_cast<ssize_t>(3 * sizeof(DWORD))) return;
  std::random_device device;
  std::mt19937 engine(device() ^ static_cast<unsigned>(
                                     std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int i = 0; i < 3; ++i) parts[i] = static_cast<DWORD>(engine());
}

DWORD read_sid(MachineStore& store, std::string* sid, bool* found) {
  StoreQuery q(store, "SELECT sid FROM security_machine WHERE id=1");
  *found = q.step();
  if (*found) *sid = std::string(q.column_blob(0));
  return q.error();
}

}  // namespace

DWORD nt_security_prepare(MachineStore& store) {
  return store.ensure_subsystem("security", 1, upgrade_security);
}

DWORD nt_machine_sid(MachineStore& store, std::string* sid) {
  DWORD err = nt_security_prepare(store);
  if (err != ERROR_SUCCESS) return err;
  auto lock = store.lock();
  bool found = false;
  if ((err = read_sid(store, sid, &found)) != ERROR_SUCCESS) return err;
  if (found) return nt_sid_length(*sid) ? ERROR_SUCCESS : ERROR_INVALID_DATA;

  StoreTransaction tx(store);
  if ((err = tx.begin_error()) != ERROR_SUCCESS) return err;
  // Another process may have made it between the read and the transaction.
  if ((err = read_sid(store, sid, &found)) != ERROR_SUCCESS) return err;
  if (!found) {
    DWORD parts[3];
    random_parts(parts);
    *sid = nt_sid_make(SECURITY_NT_AUTHORITY, {SECURITY_NT_NON_UNIQUE, parts[0], parts[1], parts[2]});
    StoreQuery q(store, "INSERT INTO security_machine(id, sid) VALUES(1, ?)");
    q.bind_blob(1, sid->data(), sid->size());
    if ((err = q.run()) != ERROR_SUCCESS) return err;
  }
  if ((err = tx.commit()) != ERROR_SUCCESS) return err;
  return nt_sid_length(*sid) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}
