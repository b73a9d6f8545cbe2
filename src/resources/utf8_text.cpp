#include "resources/utf8_text.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

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

gunichar replacementFor(unsigned char byte)
{
    return byte == 0 || (byte >= 0x80 && byte < 0xA0) ? 0xFFFD : byte;
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
        const gint length = g_unichar_to_utf8(replacementFor(static_cast<unsigned char>(bytes[validSize])), encoded);
        if (!appendWhole(out, {encoded, static_cast<std::size_t>(length)}, maxSize))
            break;
        bytes.remove_prefix(validSize + 1);
    }
    return out;
}
