#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Whether `bytes` is text GTK+ 2 accepts: valid UTF-8 without NUL bytes, the same
// verdict as g_utf8_validate, which goes byte by byte. Agreements are mostly ASCII, and
// this skips ASCII a word at a time, so that a long agreement does not slow start-up.
bool isValidUtf8(std::string_view bytes);

// Where to cut `text` at or before `at` without splitting a character: `at` moved back
// over UTF-8 continuation bytes.
std::size_t characterBoundary(std::string_view text, std::size_t at);

// GTK+ 2 silently refuses text that is not valid UTF-8, which would leave an agreement
// area empty. This returns `bytes` as valid UTF-8 of at most `maxSize` bytes, cut only
// between characters: valid input comes back unchanged, and every other byte that is not
// part of a valid sequence is read as Windows-1252, the usual encoding of texts that were
// not saved as UTF-8; NUL and the bytes Windows-1252 leaves undefined become U+FFFD.
std::string toValidUtf8(std::string_view bytes, std::size_t maxSize);

// `text` less its last character when that was cut short: when it is the start of a
// multi-byte character that `next`, the byte that followed it, continues. A line read in
// pieces, or less its last byte, can end that way.
std::string_view withoutCutCharacter(std::string_view text, char next);
