#include "platform/files/file_access.h"

#include "platform/files/file_errors.h"
#include "platform/files/file_security.h"
#include "platform/kernel/error.h"

namespace {

// The rights an operation needs on the object it names.
ACCESS_MASK rights_for(NtFileOperation operation) {
  switch (operation) {
    case NtFileOperation::read:
      return FILE_READ_DATA;
    case NtFileOperation::write:
      return FILE_WRITE_DATA;
    case NtFileOperation::remove:
      return DELETE;
    case NtFileOperation::list:
      return FILE_LIST_DIRECTORY;
    case NtFileOperation::traverse:
      return FILE_TRAVERSE;
    case NtFileOperation::create_child:
      return FILE_ADD_FILE;
    case NtFileOperation::read_attributes:
      return FILE_READ_ATTRIBUTES;
    case NtFileOperation::write_attributes:
      return FILE_WRITE_ATTRIBUTES;
    case NtFileOperation::read_security:
      return READ_CONTROL;
    case NtFileOperation::write_security:
      return WRITE_DAC;
  }
  return MAXIMUM_ALLOWED;
}

}  // namespace

// One extended attribute read per check; a file without a descriptor costs
// nothing more. The token is only asked for when there is one.
DWORD nt_check_file_access(const std::string& host, NtFileOperation operation) {
  DWORD err = nt_file_access_check(host, rights_for(operation));
  if (err == ERROR_ACCESS_DENIED && operation == NtFileOperation::remove) {
    // As in NT, the right to delete children of the directory is enough.
    std::string parent = nt_host_parent(host);
    if (!parent.empty() && parent != host &&
        nt_file_access_check(parent, FILE_DELETE_CHILD) == ERROR_SUCCESS) {
      return ERROR_SUCCESS;
    }
  }
  return err;
}
