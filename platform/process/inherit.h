// What a parent hands over for a handle, and the descriptor a standard
// handle gives a child.
#pragma once

#include <memory>

#include "platform/kernel/handle.h"

// The kind, descriptor and extra text for an object (files of
// platform/files included); false when it cannot cross into a child.
bool nt_inherit_info_of(const std::shared_ptr<KernelObject>& object, NtInheritInfo* info);

// The descriptor behind a file, pipe or standard-stream object; -1 for
// other objects.
int nt_stdio_fd_of(const std::shared_ptr<KernelObject>& object);
