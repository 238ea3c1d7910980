// ANSI and OEM code pages and the conversions between them and UTF-16.
//
// The ANSI page is NT_ACP, the OEM page NT_OEMCP (environment, read once);
// both default to 65001 (UTF-8) so that a Linux terminal shows text as typed.
// 1252 and 850 give the classic Western tables; 437 is also known.
#pragma once

#include <string>
#include <string_view>

#include "platform/kernel/error.h"
#include "platform/win32_types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_PRECOMPOSED = 0x1;
constexpr DWORD MB_USEGLYPHCHARS = 0x4;  // OEM pages: pictures for the control bytes
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;

constexpr DWORD WC_DEFAULTCHAR = 0x40;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;  // UTF-8 only: fail on a lone surrogate
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;  // the layer never maps by best fit

// Flags a call or a code page does not accept fail with
// ERROR_INVALID_FLAGS (MB_COMPOSITE is not supported: composed forms
// are never decomposed).

UINT GetACP();
UINT GetOEMCP();
// 65001, 1252, 850 and 437 (and CP_ACP, CP_OEMCP, CP_THREAD_ACP).
BOOL IsValidCodePage(UINT code_page);
// Reads NT_ACP and NT_OEMCP again (for tests that change them).
void nt_reload_code_pages();

// Win32 semantics: srclen -1 means "up to and including the terminator";
// dstlen 0 asks for the size needed; a too small buffer fails with
// ERROR_INSUFFICIENT_BUFFER; returns the number of units or bytes written.
// A null source, srclen 0 or below -1, dstlen below 0, a null destination
// with dstlen above 0, the same buffer for both or an unknown code page fail
// with ERROR_INVALID_PARAMETER.
// UTF-8 input: each invalid sequence (overlong forms, encoded surrogates,
// values above U+10FFFF, cut sequences) becomes one U+FFFD per maximal
// invalid part, or fails with ERROR_NO_UNICODE_TRANSLATION under
// MB_ERR_INVALID_CHARS. UTF-8 output: a lone surrogate becomes U+FFFD, or
// fails under WC_ERR_INVALID_CHARS; default_char and used_default must be
// null. Single-byte output: a character the page lacks (a surrogate pair
// counts as one) becomes *default_char, else '?', and sets *used_default.
int MultiByteToWideChar(UINT code_page, DWORD flags, const char* src, int srclen, WCHAR* dst,
                        int dstlen);
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* src, int srclen, char* dst,
                        int dstlen, const char* default_char, BOOL* used_default);

// ANSI <-> OEM through UTF-16; a plain copy when both pages are the same.
// Source and destination may be the same buffer. The destination never
// receives more bytes than the source holds:
// - CharToOemA/OemToCharA write at most strlen(src) + 1 bytes: a result
//   longer than the source (1252 -> UTF-8 grows) is cut at the last whole
//   character that fits, then terminated.
// - The Buff forms convert exactly `length` source bytes and write exactly
//   `length` bytes: a longer result is cut the same way, a shorter one (or
//   the gap a cut leaves) is filled with NUL bytes.
// Null pointers fail with ERROR_INVALID_PARAMETER. Use nt_ansi_to_oem and
// nt_oem_to_ansi for the whole text.
BOOL CharToOemA(const char* src, char* dst);
BOOL CharToOemBuffA(const char* src, char* dst, DWORD length);
BOOL OemToCharA(const char* src, char* dst);
BOOL OemToCharBuffA(const char* src, char* dst, DWORD length);

// The system's case mapping, in place; return the number of units handled
// (0 for a null text). The A forms work in the ANSI page; in UTF-8 they map
// whole characters and never change the byte length: a character whose
// other case has a UTF-8 form of another length, an invalid sequence or a
// sequence cut by `length` stays as it is.
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
