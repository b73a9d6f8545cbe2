#include "resources/utf8_text.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace {

// Appends the longest part of `run` that fits in `maxSize` without splitting a
// character; returns whether all of it fitted.
bool appendWhole(std::string& out, std::string_view run, std::size_t maxSize)
{
    if (out.size() + run.size() <= maxSize) {
        out.append(run);
        return true;
    }
    out.append(run.substr(0, characterBoundary(run, maxSize - out.size())));
    return false;
}

// Windows-1252, the 8-bit encoding Windows editors save in, agrees with ISO-8859-1 but for
// 0x80 to 0x9F, where it has its quotes, dashes and a few letters. The five bytes it
// leaves undefined there, and NUL, become U+FFFD.
gunichar fromWindows1252(unsigned char byte)
{
    static constexpr char16_t kFrom0x80[] = {
        u'\u20AC', u'\uFFFD', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
        u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\uFFFD', u'\u017D', u'\uFFFD',
        u'\uFFFD', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
        u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\uFFFD', u'\u017E', u'\u0178',
    };
    if (byte == 0)
        return 0xFFFD;
    if (byte >= 0x80 && byte - 0x80U < std::size(kFrom0x80))
        return kFrom0x80[byte - 0x80];
    return byte;
}

}  // namespace

std::size_t characterBoundary(std::string_view text, std::size_t at)
{
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        --at;
    return at;
}

bool isValidUtf8(std::string_view bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
        for (std::uint64_t word = 0; end - p >= 8; p += 8) {
            std::memcpy(&word, p, 8);
            if ((word | ((word - ones) & ~word)) & highs)  // a byte that is not ASCII, or a NUL
                break;
        }
        // GLib judges a short stretch from here; it stops at the start of a character.
        const auto length = std::min<std::ptrdiff_t>(end - p, 64);
        const gchar* stop = nullptr;
        if (g_utf8_validate(p, length, &stop))
            p += length;
        else if (stop > p)
            p = stop;
        else
            return false;
    }
    return true;
}

std::string toValidUtf8(std::string_view bytes, std::size_t maxSize)
{
    std::string out;
    out.reserve(std::min(bytes.size(), maxSize));
    while (!bytes.empty()) {
        const gchar* validEnd = nullptr;
        g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), &validEnd);
        const auto validSize = static_cast<std::size_t>(validEnd - bytes.data());
        if (!appendWhole(out, bytes.substr(0, validSize), maxSize) || validSize == bytes.size())
            break;
        char encoded[6];
        const gint length = g_unichar_to_utf8(
            fromWindows1252(static_cast<unsigned char>(bytes[validSize])), encoded);
        if (!appendWhole(out, {encoded, static_cast<std::size_t>(length)}, maxSize))
            break;
        bytes.remove_prefix(validSize + 1);
    }
    return out;
}

std::string_view withoutCutCharacter(std::string_view text, char next)
{
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 3
           && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return text;
    const auto lead = static_cast<unsigned char>(text[--start]);
    if (lead < 0xC0)
        return text;
    const std::string piece = std::string(text.substr(start)) + next;
    const gunichar c = g_utf8_get_char_validated(piece.data(), static_cast<gssize>(piece.size()));
    const bool cut = c != static_cast<gunichar>(-1)
        && static_cast<std::size_t>(g_utf8_skip[lead]) >= piece.size();
    return cut ? text.substr(0, start) : text;
}
