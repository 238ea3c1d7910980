#include "platform/services/service_admin.h"

#include <signal.h>

#include <chrono>
#include <set>
#include <thread>

#include "platform/kernel/error.h"
#include "platform/network/machine.h"
#include "platform/network/network.h"
#include "platform/services/service_internal.h"

namespace {

int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

DWORD open_admin(const std::string& machine, NtMachineRef* ref) {
  DWORD err = nt_open_machine(machine, ref, NtMachineAccess::admin);
  if (err != ERROR_SUCCESS) return err;
  return nt_service_prepare(*ref->store);
}

// Starts `name` after its dependencies; `seen` guards against cycles.
void boot_one(MachineStore& store, const std::string& machine, const std::string& name,
              std::set<std::string>* seen, std::vector<NtServiceOutcome>* outcomes) {
  std::string key = nt_service_key(name);
  if (!seen->insert(key).second) return;
  NtServiceRecord r;
  if (nt_service_get(store, name, &r) != ERROR_SUCCESS) return;
  for (const std::string& dep : r.dependencies) {
    if (!dep.empty() && dep[0] == '+') continue;  // a load order group
    boot_one(store, machine, dep, seen, outcomes);
  }
  nt_sc_reap(store, &r);
  if (r.state != SERVICE_STOPPED || r.delete_pending || r.start_type == SERVICE_DISABLED) return;
  NtServiceOutcome o;
  o.name = r.name;
  o.error = nt_sc_start(store, machine, r.name, {});
  outcomes->push_back(o);
}

}  // namespace

DWORD nt_service_admin_list(const std::string& machine, std::vector<NtServiceRecord>* records) {
  NtMachineRef ref;
  DWORD err = open_admin(machine, &ref);
  if (err != ERROR_SUCCESS) return err;
  if ((err = nt_service_list(*ref.store, records)) != ERROR_SUCCESS) return err;
  for (NtServiceRecord& r : *records) nt_sc_reap(*ref.store, &r);
  return ERROR_SUCCESS;
}

DWORD nt_service_boot(const std::string& machine, std::vector<NtServiceOutcome>* outcomes) {
  NtMachineRef ref;
  DWORD err = open_admin(machine, &ref);
  if (err != ERROR_SUCCESS) return err;
  if ((err = nt_machine_set_online(*ref.store, true)) != ERROR_SUCCESS) return err;
  std::vector<NtServiceRecord> all;
  if ((err = nt_service_list(*ref.store, &all)) != ERROR_SUCCESS) return err;
  std::set<std::string> seen;
  for (const NtServiceRecord& r : all) {
    if (r.start_type != SERVICE_AUTO_START || (r.type & SERVICE_DRIVER)) continue;
    boot_one(*ref.store, ref.name, r.name, &seen, outcomes);
  }
  return ERROR_SUCCESS;
}

DWORD nt_service_shutdown(const std::string& machine, DWORD timeout_ms,
                          std::vector<NtServiceOutcome>* outcomes) {
  NtMachineRef ref;
  DWORD err = open_admin(machine, &ref);
  if (err != ERROR_SUCCESS) return err;
  MachineStore& store = *ref.store;
  std::vector<NtServiceRecord> all;
  if ((err = nt_service_admin_list(ref.name, &all)) != ERROR_SUCCESS) return err;
  struct Item {
    NtServiceRecord first;
    bool sent = false;
    bool done = false;
    NtServiceOutcome outcome;
  };
  std::vector<Item> items;
  for (const NtServiceRecord& r : all) {
    if (r.state == SERVICE_STOPPED) continue;
    Item item;
    item.first = r;
    item.outcome.name = r.name;
    items.push_back(item);
  }
  // Whether the run of `item` is over (stopped, restarted or deleted).
  auto over = [&store](Item& item, NtServiceRecord* r) {
    if (nt_service_get(store, item.first.name, r) != ERROR_SUCCESS) return true;
    nt_sc_reap(store, r);
    return r->state == SERVICE_STOPPED || r->run_id != item.first.run_id;
  };
  // STOP to each service once it can take controls (one still starting
  // gets it when it runs).
  const int64_t deadline = now_ms() + timeout_ms;
  for (;;) {
    bool pending = false;
    for (Item& item : items) {
      if (item.done) continue;
      NtServiceRecord r;
      if (over(item, &r)) {
        item.done = true;
        continue;
      }
      pending = true;
      if (!item.sent && r.connected && r.state != SERVICE_START_PENDING &&
          r.state != SERVICE_STOP_PENDING) {
        SERVICE_STATUS status;
        nt_sc_control(store, ref.name, r.name, SERVICE_CONTROL_STOP, &status);
        item.sent = true;
      }
    }
    if (!pending || now_ms() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Too slow: end the processes; their supervisors record the ends.
  for (Item& item : items) {
    if (item.done) continue;
    NtServiceRecord r;
    if (over(item, &r)) continue;
    item.outcome.killed = true;
    if (r.process_id != 0)
      kill(static_cast<pid_t>(r.process_id), SIGKILL);
    else if (r.supervisor_pid != 0)
      kill(static_cast<pid_t>(r.supervisor_pid), SIGKILL);
  }
  for (Item& item : items) {
    if (item.done) continue;
    NtServiceRecord r;
    bool ended = false;
    for (int i = 0; i < 500 && !(ended = over(item, &r)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!ended) item.outcome.error = ERROR_SERVICE_REQUEST_TIMEOUT;
  }
  for (Item& item : items) outcomes->push_back(item.outcome);
  return nt_machine_set_online(store, false);
}
