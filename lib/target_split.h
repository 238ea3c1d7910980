// Splitting a tool's main argument into domain, server and object parts:
//   name   domain\name   \\server   \\server\name   domain\\server\name
// and the path form of the same for file arguments:
//   [domain]\\server\share[\dir\...\]file     [drive:][dir\...\]file
#pragma once

// Longest argument the splits take, and the size of each output buffer (any
// part may be the whole argument).
constexpr int SPLIT_TEXT_MAX = 256;
constexpr int SPLIT_PART_SIZE = SPLIT_TEXT_MAX + 1;

// Every output is optional (null) and, when given, a buffer of at least
// SPLIT_PART_SIZE bytes that starts empty.
//
// With "\\" in the text: the domain is the text before it, the server the
// text after it up to the next '\', the name the next component up to the
// following '\' or the end. Without "\\" but with '\': the domain is the
// text before the first '\', the name the component after it. Without
// backslashes the whole text is the name. False (all outputs empty) for a
// null text or one longer than SPLIT_TEXT_MAX characters.
bool split_target(const char* text, char* domain, char* server, char* name);

// With "\\": domain before it, server up to the next '\', share the next
// component; of the rest the directory is '\' and everything up to and
// including its last '\' (empty when the rest has none), the file what
// follows the last '\'. Without "\\": the drive is the text up to and
// including the first ':' (empty without one); of the rest the directory is
// everything up to and including the last '\', the file what follows it.
// False as for split_target.
bool split_path(const char* text, char* domain, char* server, char* share, char* drive,
                char* directory, char* file);
