#include "zeb/job_io_files.h"

#include <cstdio>

namespace {

std::string stamp(const SYSTEMTIME& t) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
           t.wHour, t.wMinute, t.wSecond);
  return buffer;
}

}  // namespace

std::string zeb_dir_with_backslash(std::string_view dir) {
  std::string out(dir);
  if (out.empty() || (out.back() != '\\' && out.back() != '/')) out += '\\';
  return out;
}

std::string job_io_file(std::string_view temp_dir, std::string_view job_name,
                        std::string_view kind) {
  std::string out = zeb_dir_with_backslash(temp_dir);
  out += job_name;
  out += '.';
  out += kind;
  return out;
}

JobIoFiles job_io_files(std::string_view temp_dir, std::string_view job_name) {
  return JobIoFiles{job_io_file(temp_dir, job_name, "IN"), job_io_file(temp_dir, job_name, "OUT"),
                    job_io_file(temp_dir, job_name, "ERR")};
}

std::string job_begin_line(const SYSTEMTIME& start, std::string_view command) {
  std::string out = "BEGIN " + stamp(start) + " ***** ";
  out += command;
  out += " ...";
  return out;
}

std::string job_start_outcome(bool started, long error) {
  if (started) return "success\r\n";
  return "error=" + std::to_string(error) + "\r\n";
}

std::string job_logon_failure_line() { return "(logon failure)\r\n"; }

std::string job_end_line(const SYSTEMTIME& end, std::string_view command, long exit_code) {
  std::string out = "END of Job at " + stamp(end) + " ***** ";
  out += command;
  out += " (EXIT=" + std::to_string(exit_code) + ")\r\n";
  return out;
}

std::string job_err_stamp(const SYSTEMTIME& now) {
  char millis[16];
  snprintf(millis, sizeof millis, ".%03d: ", now.wMilliseconds);
  return stamp(now) + millis;
}
