// Registry places of the scheduler service, all under HKEY_LOCAL_MACHINE of
// the machine that runs it.
#pragma once

constexpr const char* ZEB_SERVICE_NAME = "ZEB Service";
constexpr const char* ZEB_SERVICE_KEY = "SYSTEM\\CurrentControlSet\\Services\\ZEB Service";
constexpr const char* ZEB_EVENT_SOURCE_KEY =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZEB Service";

// Subkeys of the service key and their classes.
constexpr const char* ZEB_JOBS_SUBKEY = "Jobs";
constexpr const char* ZEB_JOBS_CLASS = "ZEB Jobs";
constexpr const char* ZEB_USERS_SUBKEY = "Users";
constexpr const char* ZEB_USERS_CLASS = "ZEB Service";

// Values of the service key.
constexpr const char* ZEB_VALUE_TEMP_DIR = "TempDir";
constexpr const char* ZEB_VALUE_LOGGING = "Logging";
constexpr const char* ZEB_VALUE_VERSION = "Version";
constexpr const char* ZEB_VALUE_NO_AUTOSTART = "No Autostart Jobs";
constexpr const char* ZEB_DEFAULT_TEMP_DIR = "C:\\TEMP";
