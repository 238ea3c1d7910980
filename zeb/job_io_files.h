// The job's I/O files in the service's "TempDir": NAME.IN (standard input),
// NAME.OUT (standard output and the runner's own lines) and NAME.ERR
// (standard error, a time stamp before each chunk), and the lines the job
// runner writes into them.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

// The directory with a trailing backslash (a trailing "/" counts as one).
std::string zeb_dir_with_backslash(std::string_view dir);

struct JobIoFiles {
  std::string in;
  std::string out;
  std::string err;
};

// "%s%s.IN", "%s%s.OUT", "%s%s.ERR" from the directory (backslash added
// when missing) and the job name.
JobIoFiles job_io_files(std::string_view temp_dir, std::string_view job_name);
// One of them by its kind ("IN", "OUT", "ERR").
std::string job_io_file(std::string_view temp_dir, std::string_view job_name,
                        std::string_view kind);

// The order in which the clean command deletes the files.
constexpr const char* JOB_CLEAN_KINDS[3] = {"ERR", "OUT", "IN"};

// "BEGIN yyyy-mm-dd hh:mm:ss ***** <command> ..." (no line end: the
// outcome "success\r\n" or "error=%ld\r\n" follows on the same line).
std::string job_begin_line(const SYSTEMTIME& start, std::string_view command);
std::string job_start_outcome(bool started, long error);
// "(logon failure)\r\n"
std::string job_logon_failure_line();
// "END of Job at yyyy-mm-dd hh:mm:ss ***** <command> (EXIT=<code>)\r\n"
std::string job_end_line(const SYSTEMTIME& end, std::string_view command, long exit_code);
// "yyyy-mm-dd hh:mm:ss.mmm: " before each chunk of the ERR file.
std::string job_err_stamp(const SYSTEMTIME& now);
