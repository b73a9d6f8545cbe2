#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>

// Prints LANG and reads the six localized texts and the agreement text from
// ./locale/<LANG>/strings.txt and ./locale/<LANG>/license.txt into installerState.
// Each file falls back to the en_US.UTF-8 locale on its own. Uses nothing of GTK.
void initialzeLocalStrings();

// Reads a strings file line by line, applying each line.
void readStringLines(std::FILE* file);

// Stores the value of one strings-file line in every key the line names.
void applyStringsLine(const char* line);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading only if it is a regular file of at most `maxSize` bytes, whose
// size it stores in `size`. A plain fopen would open a directory, and would block on a FIFO
// until some writer appeared; O_NONBLOCK makes that open return at once.
File openRegularFile(const char* path, off_t maxSize, off_t& size);
