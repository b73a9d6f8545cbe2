#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Whether `bytes` is text GTK+ 2 accepts: valid UTF-8 without NUL bytes, the same
// verdict as g_utf8_validate, which goes byte by byte. Agreements are mostly ASCII, and
// this skips ASCII a word at a time: a 10 MB agreement is checked in a few milliseconds.
bool isValidUtf8(std::string_view bytes);

// Where to cut `text` at or before `at` without splitting a character: `at` moved back
// over UTF-8 continuation bytes.
std::size_t characterBoundary(std::string_view text, std::size_t at);

// GTK+ 2 silently refuses text that is not valid UTF-8, which would leave an agreement
// area empty. This returns `bytes` as valid UTF-8 of at most `maxSize` bytes, cut only
// between characters: valid input comes back unchanged; a NUL byte or a C1 control byte
// becomes U+FFFD, and any other byte that is not part of a valid sequence is read as
// ISO-8859-1, the usual encoding of texts that were not saved as UTF-8.
std::string toValidUtf8(std::string_view bytes, std::size_t maxSize);
