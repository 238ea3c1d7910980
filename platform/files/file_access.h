// The access check of the file calls: the one place that decides whether
// the calling process may do an operation on a file or directory.
//
// The security descriptor of a file (the extended attribute "user.nt.sd":
// owner and DACL, self-relative) is checked here against the calling
// thread's effective token; a file without one (or with one that does not
// parse) behaves as owned by BUILTIN\Administrators with a NULL DACL. Each
// operation maps to one file right; a delete is also allowed by the parent
// directory's "delete child" right. The file attributes' read-only rule is
// enforced by the calls themselves. Every file
// call that opens, deletes, renames, lists or changes the attributes, times
// or security of an object calls this first and fails with the code it
// returns (ERROR_ACCESS_DENIED).
#pragma once

#include <string>

#include "platform/win32_types.h"

enum class NtFileOperation {
  read,               // open for reading, copy from
  write,              // open for writing, truncate, copy onto
  remove,             // delete a file, remove a directory, rename away
  list,               // list a directory
  traverse,           // make it the current directory
  create_child,       // create a file or directory inside it
  read_attributes,    // attributes, times, sizes
  write_attributes,   // attributes and times
  read_security,      // owner, group, DACL
  write_security,     // owner, group, DACL
};

// ERROR_SUCCESS when the operation on the host file `host` is allowed,
// else the Win32 error to fail with.
DWORD nt_check_file_access(const std::string& host, NtFileOperation operation);
