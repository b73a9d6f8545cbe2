#pragma once

#include "resources/tool_run.h"

#include <string>
#include <string_view>

// The lines of `text` (or its parts between `separator`s), without the separators.
Words lines(std::string_view text, char separator = '\n');

bool contains(const Words& words, std::string_view word);

// The package a relation names: "bash" of "bash:any (>= 1.0)".
std::string_view packageOf(std::string_view relation);

// The package names a relation field lists, versions, qualifiers and alternatives aside.
Words namesIn(std::string_view field);

// A relation as apt writes it, with Debian's << and >> that apt writes as < and >,
// printable.
std::string debianRelations(std::string_view relation);

// A file or package name as text to show on one line: its bytes as valid UTF-8, with each
// control character (a newline in a file name) as "?".
std::string printable(std::string_view name);
