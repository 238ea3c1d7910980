// ANSI and OEM code pages and the conversions between them and UTF-16.
//
// The ANSI page is NT_ACP, the OEM page NT_OEMCP (environment, read once);
// both default to 65001 (UTF-8) so that a Linux terminal shows text as typed.
// 1252 and 850 give the classic Western tables; 437 is also known.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_PRECOMPOSED = 0x1;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;

UINT GetACP();
UINT GetOEMCP();
BOOL IsValidCodePage(UINT code_page);

// Win32 semantics: srclen -1 means "up to and including the terminator";
// dstlen 0 asks for the size needed; a too small buffer fails with
// ERROR_INSUFFICIENT_BUFFER; returns the number of units or bytes written.
int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int srclen, WCHAR* dst,
                        int dstlen);
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* src, int srclen, char* dst,
                        int dstlen, const char* default_char, BOOL* used_default);

// ANSI <-> OEM. The Buff forms convert exactly `length` bytes; the others up
// to the terminator. Source and destination may be the same buffer only when
// the conversion cannot grow the text (see nt_ansi_to_oem for the general case).
BOOL CharToOemA(const char* src, char* dst);
BOOL CharToOemBuffA(const char* src, char* dst, DWORD length);
BOOL OemToCharA(const char* src, char* dst);
BOOL OemToCharBuffA(const char* src, char* dst, DWORD length);

// The system's case mapping, in place; return the number of units handled.
DWORD CharUpperBuffA(char* text, DWORD length);
DWORD CharUpperBuffW(WCHAR* text, DWORD length);
DWORD CharLowerBuffA(char* text, DWORD length);
DWORD CharLowerBuffW(WCHAR* text, DWORD length);
WCHAR nt_wide_upper(WCHAR c);
WCHAR nt_wide_lower(WCHAR c);

// Conveniences over the calls above.
std::u16string nt_multibyte_to_wide(UINT code_page, std::string_view text);
std::string nt_wide_to_multibyte(UINT code_page, std::u16string_view text);
std::u16string nt_ansi_to_wide(std::string_view text);
std::string nt_wide_to_ansi(std::u16string_view text);
std::string nt_ansi_to_oem(std::string_view text);
std::string nt_oem_to_ansi(std::string_view text);
// Number of characters (not bytes) of an ANSI text.
size_t nt_ansi_length(std::string_view text);
// Byte length of the first `chars` characters of an ANSI text.
size_t nt_ansi_prefix_bytes(std::string_view text, size_t chars);
