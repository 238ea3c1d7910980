// The job options of the client (add, set, switch): their checks with the
// exact messages, the record of an add and the changes of a set.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32_types.h"
#include "zeb/client_args.h"
#include "zeb/job_record.h"

// The mask of a range text over `low`..`high` (bit i for each admitted i).
// False when the range admits a number outside low..high (then `mask` is
// left alone). An empty text admits everything: all bits low..high.
bool zeb_range_mask(const std::string& text, int low, int high, uint32_t* mask);

// Minutes of an interval unit and count: m x1, h x60, d x1440; past 32 bits
// the result stays at 0xFFFFFFFF. False for any other unit or a negative
// count.
bool zeb_interval_minutes(char unit, long count, DWORD* minutes);

// Checks the options of the job command `code` (lib/command_code.h) on the
// job name of the main argument. Empty when they pass, else the whole
// error line ("ZEB-ERROR, ...\n"). The account is checked apart, per server.
std::string zeb_check_job_options(const ZebClientArgs& args, int code, const std::string& job);

// The record an add sends: the name, the command line, the next run (0 when
// /t is absent), the interval, the masks and the flags from the options,
// and the account index. Call after zeb_check_job_options passed.
void zeb_record_from_options(const ZebClientArgs& args, const std::string& job,
                             DWORD account_index, JobRecord* rec);

// A set: the offered record with what was given applied: /N, /c, /A /I /G,
// the account (when `account_given`), the interval, /H /D /W and /t.
void zeb_apply_set_options(const ZebClientArgs& args, bool account_given, DWORD account_index,
                           JobRecord* rec);
