// Choosing the roots of the walk: drive letters and drive classes of the
// local machine, or the shares of every matching server.
#pragma once

#include "platform/win32_types.h"

namespace kopex {

// Walks the roots the split specification names (g_run.spec).
void walk_roots();

// Hidden share filter: true when a share of `type` named `name` is walked
// in hidden share mode `mode` (/h0, /h1, /h2).
bool share_passes(const char* name, DWORD type, int mode);

}  // namespace kopex
