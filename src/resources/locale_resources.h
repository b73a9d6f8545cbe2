#pragma once

#include <cstdio>

// Prints LANG and reads the six localized texts and the agreement text from
// ./locale/<LANG>/strings.txt and ./locale/<LANG>/license.txt into installerState.
// Each file falls back to the en_US.UTF-8 locale on its own. Uses nothing of GTK.
void initialzeLocalStrings();

// Reads a strings file line by line, applying each line.
void readStringLines(std::FILE* file);

// Stores the value of one strings-file line in every key the line names.
void applyStringsLine(const char* line);
