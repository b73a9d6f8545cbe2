#pragma once

// Prints LANG and reads the six localized texts and the agreement text from
// ./locale/<LANG>/strings.txt and ./locale/<LANG>/license.txt into installerState.
// Each file falls back to the en_US.UTF-8 locale on its own. Uses nothing of GTK.
void initialzeLocalStrings();

// Stores the value of one strings-file line in every key the line names.
void applyStringsLine(const char* line);
