#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// Collects every entry of the working directory whose name contains "i386.deb" into
// installerState.rpmPath, in directory order, as shell-quoted absolute paths.
// Prints "opendir failed!" when the directory cannot be listed.
void initRPMPath();

// `text` quoted for the POSIX shell: in single quotes, an embedded ' written as '\''.
std::string shellQuoted(std::string_view text);

// Appends the entry for `directory`/`name` (quoted, then one blank) to the
// NUL-terminated list in `list`, whose text is `used` bytes long. An entry that does not
// fit whole is not written at all; returns whether it was.
bool appendPackageEntry(std::span<char> list, std::size_t& used, std::string_view directory, std::string_view name);
