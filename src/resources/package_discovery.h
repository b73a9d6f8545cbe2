#pragma once

#include <string>
#include <string_view>

// Collects every entry of the working directory whose name contains "i386.deb" into
// installerState.rpmPath, in directory order, as shell-quoted absolute paths.
// Prints "opendir failed!" when the directory cannot be listed.
void initRPMPath();

// Appends the entry for `directory`/`name` to `list`: the path quoted for the shell, then
// one blank.
void appendPackageEntry(std::string& list, std::string_view directory, std::string_view name);

// Appends `path` quoted for the shell, then one blank, to `list`.
void appendQuotedPath(std::string& list, const std::string& path);
