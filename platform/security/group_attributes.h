// Attributes of a group in a token (TOKEN_GROUPS) and in a local group's
// member list, as NT numbers them.
#pragma once

#include "platform/win32_types.h"

constexpr DWORD SE_GROUP_MANDATORY = 0x00000001;
constexpr DWORD SE_GROUP_ENABLED_BY_DEFAULT = 0x00000002;
constexpr DWORD SE_GROUP_ENABLED = 0x00000004;
constexpr DWORD SE_GROUP_OWNER = 0x00000008;
constexpr DWORD SE_GROUP_USE_FOR_DENY_ONLY = 0x00000010;
constexpr DWORD SE_GROUP_LOGON_ID = 0xC0000000u;
