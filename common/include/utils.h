// Text, file and process utilities: token reader, string store and path
// helpers, file access and lookup, reporting and process exits.
#pragma once

#include <cstdio>

// ---- token reader ----
// The cursor readers' first argument: a text starts reading it, nullptr
// continues, TOKEN_LINEMODE continues in line mode.
inline char* const TOKEN_LINEMODE = reinterpret_cast<char*>(-1);

// ---- string store and string helpers ----

// ---- file access and lookup ----

// ---- reporting and process exits ----
