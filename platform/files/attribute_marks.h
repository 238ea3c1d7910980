// The attribute mark: a cheap sign, kept in the host file's mode, that a
// regular file carries "user.nt.attrib".
//
// Reading R, H, S and A costs one extended attribute read per file, as
// much as the statx that gives everything else. The layer therefore sets
// the sticky bit (S_ISVTX, which Linux ignores on regular files) whenever it
// stores the attribute of a regular file, and clears it when it removes the
// attribute: a walk that has the statx of a file then reads the attribute
// only when the bit is set. Directories never get the bit (it means
// something there); their attribute is always read.
//
// The mark is trusted only on networks made with it: files written by the
// layer before the mark existed carry the attribute without the bit, and
// would lose R, H, S and A if it were trusted. A network says so in its
// network.ini, key AttributeMarks=1 of section [Network]; without that key
// every reader reads the attribute of every file, as before. An older
// network is brought over by nt_mark_attribute_files on each host folder
// its drives map, then nt_network_enable_attribute_marks.
//
// A stray bit without the attribute (set by someone else) costs one read
// and nothing more. Readers that read the attribute whatever the mark (the
// read-only checks of open, delete and copy) stay exact on every network.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/win32_types.h"

constexpr mode_t NT_ATTRIBUTE_MARK = S_ISVTX;

// Whether the files of the current network (nt_network_root) carry the
// mark. Read from network.ini once per network and process.
bool nt_attribute_marks_trusted();

// Writes AttributeMarks=1 into the [Network] section of `root`'s
// network.ini (kept as it is otherwise). ERROR_PATH_NOT_FOUND when there is
// no network.ini, else ERROR_SUCCESS or the write error.
DWORD nt_network_enable_attribute_marks(const std::string& root);

// Whether the statx mode of a file, on a network that trusts marks, says it
// needs no read of "user.nt.attrib": a regular file without the mark.
inline bool nt_mode_without_attributes(mode_t mode, bool marks_trusted) {
  return marks_trusted && S_ISREG(mode) && (mode & NT_ATTRIBUTE_MARK) == 0;
}

// The permission bits of a copy of a regular file with mode `mode`: its
// own bits, with the mark when the copy carries the attribute.
inline mode_t nt_mode_with_mark(mode_t mode, bool has_attributes) {
  mode &= 07777;
  return has_attributes ? (mode | NT_ATTRIBUTE_MARK) : (mode & ~NT_ATTRIBUTE_MARK);
}

// Sets or clears the mark of an open file or a host path; regular files
// only (anything else is left alone with ERROR_SUCCESS). Nothing is
// written when the mode is already right.
DWORD nt_set_attribute_mark_fd(int fd, bool marked);
DWORD nt_set_attribute_mark(const std::string& host, bool marked);

// Marks every regular file below the host folder `host_dir` that carries
// "user.nt.attrib" and has no mark (symbolic links are not followed).
// `marked` receives the count. ERROR_SUCCESS, or the first error met (the
// walk goes on past it).
DWORD nt_mark_attribute_files(const std::string& host_dir, unsigned long* marked);
