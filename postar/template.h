// The template steps that turn a dialogue line of the INI file into the
// text that is sent. Each step works on the result of the one before, in a
// work area of 1,024 bytes: a result longer than 1,023 characters is cut
// there, the step prints its overflow message and makes no further
// substitutions (the rest of its input is dropped).
//
//  1. escapes    \<digits> the character of that decimal code (up to three
//                digits, modulo 256; code 0 ends the line), \\ \b \e \n \r \t;
//                a backslash before anything else stays as it is
//  2. arguments  %0 .. %9: the positional arguments (empty when not given);
//                "%" before anything else stays with that character
//  3. environment %NAME% (names of 1 to 79 characters): the variable's value,
//                or nothing with "Environment variable '%s' not set"; "%%" is
//                one "%"; a "%" without a closing one, or whose name would be
//                longer than 79 characters, stays as it is
//  4. keywords   ~h the computer name, ~u the user name, ~~ one "~";
//                ~f<file> / ~F<file> (the whole rest of the line): send the
//                file now (~F: and delete it afterwards) and drop the line;
//                "~" before any other character: "Unknown keyword '~%c'", both
//                dropped; a "~" at the end stays
#pragma once

#include <functional>

constexpr int TEMPLATE_WORK_SIZE = 1024;
constexpr int TEMPLATE_MAX_ARGUMENTS = 10;
constexpr int ENVIRONMENT_NAME_MAX = 79;

struct TemplateContext {
  // TEMPLATE_MAX_ARGUMENTS texts; null entries count as empty.
  const char* const* arguments = nullptr;
  // Sends a file for ~f (remove false) and ~F (remove true).
  std::function<void(const char* file, bool remove)> send_file;
};

// Each step reads a terminated text and writes into `out`
// (TEMPLATE_WORK_SIZE bytes). False when the step overflowed.
bool expand_escapes(const char* in, char* out);
bool expand_arguments(const char* in, char* out, const char* const* arguments);
bool expand_environment(const char* in, char* out);
// Also false after overflow; *dropped tells that a file was sent and the
// line is dropped (`out` is then empty).
bool expand_keywords(const char* in, char* out, const TemplateContext& context, bool* dropped);

// All four steps on `line` (cut to 1,023 characters first). `out` holds the
// text to send; empty when nothing is to be sent.
void expand_template(const char* line, char* out, const TemplateContext& context);
