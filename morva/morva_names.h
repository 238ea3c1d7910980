// Names of the hardware profile service: the service, its registry keys and
// values, and its event identifiers.
#pragma once

#include "platform/win32_types.h"

constexpr char MORVA_SERVICE_NAME[] = "ZA Divedido Zodeveza";
constexpr char MORVA_SERVICE_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\ZA Divedido Zodeveza";
constexpr char MORVA_EVENT_SOURCE_KEY[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZA Divedido Zodeveza";
constexpr char MORVA_PROFILE_KEY[] = "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";

constexpr char MORVA_VALUE_VERSION[] = "Version";
// The profile's file name, and the profile directory under the service key.
constexpr char MORVA_VALUE_PROFILE[] = "Morva";

constexpr char MORVA_LOAD_ORDER_GROUP[] = "Streams Drivers";

constexpr DWORD MORVA_EV_TEXT = 0xC0000000;
constexpr DWORD MORVA_EV_API_ERROR = 0xC0008000;

// The profile value is read into this many bytes.
constexpr DWORD MORVA_PROFILE_VALUE_SIZE = 256;
