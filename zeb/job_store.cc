#include "zeb/job_store.h"

#include <cstring>

#include "zeb/service_keys.h"

LONG zeb_open_service_key(const char* machine, REGSAM access, HKEY* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;
  HKEY root = nullptr;
  LONG rc = RegConnectRegistryA(machine, HKEY_LOCAL_MACHINE, &root);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegOpenKeyExA(root, ZEB_SERVICE_KEY, 0, access, key);
  RegCloseKey(root);
  return rc;
}

LONG job_store_open(HKEY service_key, HKEY* jobs) {
  if (jobs == nullptr) return ERROR_INVALID_PARAMETER;
  return RegCreateKeyExA(service_key, ZEB_JOBS_SUBKEY, 0, ZEB_JOBS_CLASS,
                         REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, jobs, nullptr);
}

JobLoadResult job_store_load(HKEY jobs, JobTable* table) {
  JobLoadResult result;
  table->clear();
  for (DWORD index = 0;; ++index) {
    if (result.loaded == JOB_MAX) {
      result.end = ERROR_SUCCESS;
      break;
    }
    char name[JOB_NAME_MAX + 1];
    DWORD name_size = sizeof name;
    BYTE data[JOB_STORED_SIZE];
    DWORD data_size = sizeof data;
    DWORD type = REG_NONE;
    LONG rc = RegEnumValueA(jobs, index, name, &name_size, nullptr, &type, data, &data_size);
    if (rc != ERROR_SUCCESS) {
      result.end = rc;
      break;
    }
    if (type != REG_BINARY || data_size != JOB_STORED_SIZE || name_size == 0) {
      ++result.skipped;
      continue;
    }
    JobRecord& rec = table->at(result.loaded++);
    memcpy(&rec, data, JOB_STORED_SIZE);
    job_set_name(&rec, name);
    job_record_terminate(&rec);
    job_clear_runtime(&rec);
  }
  return result;
}

LONG job_store_save(HKEY jobs, const JobRecord& rec) {
  std::string name = job_name(rec);
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  return RegSetValueExA(jobs, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&rec),
                        static_cast<DWORD>(JOB_STORED_SIZE));
}

LONG job_store_delete(HKEY jobs, const char* name) {
  if (name == nullptr || *name == '\0') return ERROR_INVALID_PARAMETER;
  return RegDeleteValueA(jobs, name);
}
