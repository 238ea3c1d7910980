#include "kopex/options.h"

#include <cstring>
#include <new>
#include <vector>

#include "kopex/compare.h"
#include "kopex/run_state.h"
#include "lib/command_code.h"
#include "lib/command_line_parser.h"
#include "lib/wildcard.h"
#include "platform/kernel/command_line.h"
#include "platform/kernel/environment.h"

namespace kopex {

RunState g_run;

namespace {

const FILETIME kNoTime = {0, 0};

ArgSpec g_params[4];
ArgSpec g_options[20];
ArgSpec g_criteria[9];
ArgSpec g_formats[8];

void build_tables() {
  Options& o = g_run.options;
  Criteria& c = g_run.criteria;
  Formats& f = g_run.formats;
  ArgSpec params[] = {
      {ARG_STRING, 0, ARG_OPTIONAL, o.command, arg_ptr("")},
      {ARG_STRING, 0, ARG_OPTIONAL, o.spec, arg_ptr("")},
      {ARG_STRING, 0, ARG_OPTIONAL, o.target, arg_ptr("")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec options[] = {
      {ARG_FLAG, 'v', ARG_OPTIONAL, &o.verbose, 0},
      {ARG_FLAG, '?', ARG_OPTIONAL, &o.help, 0},
      {ARG_FLAG, 'S', ARG_OPTIONAL, &o.recurse, 0},
      {ARG_FLAG, 'y', ARG_OPTIONAL, &o.yes, 0},
      {ARG_FLAG, 'P', ARG_OPTIONAL, &o.permissions, 0},
      {ARG_FLAG, 'n', ARG_OPTIONAL, &o.no_attributes, 0},
      {ARG_FLAG, 'E', ARG_OPTIONAL, &o.remove_dirs, 0},
      {ARG_FLAG, 'd', ARG_OPTIONAL, &o.cleanup, 0},
      {ARG_FLAG, 'A', ARG_OPTIONAL, &o.ansi, 0},
      {ARG_NUMERIC, 'h', ARG_OPTIONAL, &o.hidden_mode, 1},
      {ARG_FLAG, 'T', ARG_OPTIONAL, &o.newer_only, 0},
      {ARG_STRING, 'o', ARG_OPTIONAL, o.owner, arg_ptr("")},
      {ARG_STRING, 'g', ARG_OPTIONAL, o.file_grants, arg_ptr("")},
      {ARG_STRING, 'G', ARG_OPTIONAL, o.dir_grants, arg_ptr("")},
      {ARG_STRING, 'a', ARG_OPTIONAL, o.attributes, arg_ptr("")},
      {ARG_ABSTIME, 'M', ARG_OPTIONAL, &o.set_write, arg_ptr(&kNoTime)},
      {ARG_ABSTIME, 'C', ARG_OPTIONAL, &o.set_creation, arg_ptr(&kNoTime)},
      {ARG_ABSTIME, 'L', ARG_OPTIONAL, &o.set_access, arg_ptr(&kNoTime)},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec criteria[] = {
      {ARG_STRING, 'o', ARG_OPTIONAL, c.owner, arg_ptr("")},
      {ARG_RANGE, 's', ARG_OPTIONAL, c.size, arg_ptr("")},
      {ARG_STRING, 'g', ARG_OPTIONAL, c.grants, arg_ptr("")},
      {ARG_ABSTIME, 'M', ARG_OPTIONAL, &c.write_upper, arg_ptr(&c.write_lower)},
      {ARG_ABSTIME, 'C', ARG_OPTIONAL, &c.creation_upper, arg_ptr(&c.creation_lower)},
      {ARG_ABSTIME, 'L', ARG_OPTIONAL, &c.access_upper, arg_ptr(&c.access_lower)},
      {ARG_RANGE, 'T', ARG_OPTIONAL, c.aces, arg_ptr("")},
      {ARG_STRING, 'a', ARG_OPTIONAL, c.attributes, arg_ptr("")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  ArgSpec formats[] = {
      {ARG_STRING, 'F', ARG_OPTIONAL, f.file, arg_ptr(f.file_default)},
      {ARG_STRING, 'd', ARG_OPTIONAL, f.dir, arg_ptr("")},
      {ARG_STRING, 'e', ARG_OPTIONAL, f.root, arg_ptr("")},
      {ARG_STRING, 'S', ARG_OPTIONAL, f.server, arg_ptr("")},
      {ARG_STRING, 'T', ARG_OPTIONAL, f.totals, arg_ptr("")},
      {ARG_STRING, 'g', ARG_OPTIONAL, f.ace, arg_ptr("")},
      {ARG_STRING, 'o', ARG_OPTIONAL, f.owner, arg_ptr("")},
      {ARG_END, 0, 0, nullptr, 0},
  };
  std::memcpy(g_params, params, sizeof params);
  std::memcpy(g_options, options, sizeof options);
  std::memcpy(g_criteria, criteria, sizeof criteria);
  std::memcpy(g_formats, formats, sizeof formats);
  g_run.option_table = g_options;
  g_run.criteria_table = g_criteria;
}

// The ~F default: PORTEL_FORMAT (at most 255 characters) when set, else "~f".
void read_file_format_default(char* out) {
  std::vector<char> value(32768);
  DWORD length = GetEnvironmentVariableA("PORTEL_FORMAT", value.data(),
                                         static_cast<DWORD>(value.size()));
  if (length == 0 || length >= value.size()) {
    std::strcpy(out, "~f");
    return;
  }
  size_t keep = ansi_cut_bytes(value.data(), ARG_TEXT_SIZE - 1);
  std::memcpy(out, value.data(), keep);
  out[keep] = '\0';
}

bool criterion_given(char letter) {
  for (const ArgSpec* e = g_criteria; e->type != ARG_END; ++e) {
    if (e->letter == letter) return e->state == ARG_GIVEN;
  }
  return false;
}

}  // namespace

void reset_run_state() {
  g_run.~RunState();
  new (&g_run) RunState();
  std::memset(&g_run.options, 0, sizeof g_run.options);
  std::memset(&g_run.criteria, 0, sizeof g_run.criteria);
  std::memset(&g_run.formats, 0, sizeof g_run.formats);
  std::memset(&g_run.texts, 0, sizeof g_run.texts);
  build_tables();
}

bool option_given(char letter) {
  for (const ArgSpec* e = g_options; e->type != ARG_END; ++e) {
    if (e->letter == letter) return e->state == ARG_GIVEN;
  }
  return false;
}

bool copies() {
  return g_run.command == CMD_COPY || g_run.command == CMD_UPDATE || g_run.command == CMD_MIRROR;
}

int parse_options(const char* text) {
  reset_run_state();
  read_file_format_default(g_run.formats.file_default);
  if (text != nullptr) return parse_command_text(text, g_params, g_options, g_criteria, g_formats);
  return parse_command_line(g_params, g_options, g_criteria, g_formats);
}

size_t raw_positional_length(const char* text, int n) {
  std::string copy = text ? text : GetCommandLineA();
  std::vector<char> buffer(copy.begin(), copy.end());
  buffer.push_back('\0');
  char* tokens[MAX_TOKENS];
  int count = tokenize_command_line(buffer.data(), tokens, MAX_TOKENS);
  int seen = 0;
  for (int i = 1; i < count; ++i) {
    char c = tokens[i][0];
    if (c == '/' || c == '-' || c == '+' || c == '~' || c == '\0') continue;
    if (seen == n) return std::strlen(tokens[i]);
    ++seen;
  }
  return 0;
}

void prepare_formats() {
  Formats& f = g_run.formats;
  FormatTexts& t = g_run.texts;
  read_text_or_file(f.file, t.file);
  read_text_or_file(f.ace, t.ace);
  read_text_or_file(f.dir, t.dir);
  read_text_or_file(f.root, t.root);
  read_text_or_file(f.server, t.server);
  read_text_or_file(f.totals, t.totals);
  read_text_or_file(f.owner, t.owner);
  const Options& o = g_run.options;
  g_run.owner_table = t.owner[0] != '\0' || t.totals[0] != '\0';
  g_run.need_owner = o.owner[0] || o.dir_grants[0] || o.file_grants[0] || t.owner[0] ||
                     criterion_given('o') || match_wildcard(t.file, "*~*o*", 1) ||
                     match_wildcard(t.file, "*~*x*", 1) || match_wildcard(t.file, "*~*u*", 1) ||
                     match_wildcard(t.totals, "*~*o*", 1);
  // -T counts ACEs: it needs them read as much as -g does.
  g_run.need_acl = o.dir_grants[0] || o.file_grants[0] || t.ace[0] || criterion_given('g') ||
                   criterion_given('T') ||
                   match_wildcard(t.file, "*~*g*", 1);
  const Criteria& c = g_run.criteria;
  g_run.need_creation = criterion_given('C') || c.creation_upper.dwLowDateTime != 0 ||
                        c.creation_upper.dwHighDateTime != 0 ||
                        c.creation_lower.dwLowDateTime != 0 ||
                        c.creation_lower.dwHighDateTime != 0 ||
                        match_wildcard(t.file, "*~*C*", 1) ||
                        // /o and /g may name files with placeholders: set reads it all.
                        g_run.command == CMD_SET;
  g_run.need_access_time = criterion_given('L') || c.access_upper.dwLowDateTime != 0 ||
                           c.access_upper.dwHighDateTime != 0 ||
                           c.access_lower.dwLowDateTime != 0 ||
                           c.access_lower.dwHighDateTime != 0 ||
                           match_wildcard(t.file, "*~*L*", 1) || g_run.command == CMD_SET;
  const AttributeReads reads =
      attribute_reads(g_run.command, o.no_attributes != 0,
                      criterion_given('a') || match_wildcard(t.file, "*~*a*", 1));
  g_run.need_attributes = reads.listing;
  g_run.need_target_attributes = reads.target;
  g_run.need_directory_attributes = reads.directories;
}

}  // namespace kopex
