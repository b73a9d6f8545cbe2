#pragma once

#include <string>
#include <string_view>

// Collects every entry of the working directory whose name contains "i386.deb" into
// installerState.rpmPath, in directory order, as absolute paths. Prints "opendir failed!"
// when the directory cannot be listed.
void initRPMPath();

// Appends `word` quoted for the shell, then one blank, to `line`: nothing in it is read by
// the shell but as one argument.
void appendQuoted(std::string& line, std::string_view word);
