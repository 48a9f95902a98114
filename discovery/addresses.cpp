#include "discovery/addresses.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kavro::discovery {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// White space of the Latin-1 range as the toolkit sees it, NEL and no-break space included.
bool isSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x85 || c == 0xA0;
}

// Trimmed, every inner run of white space made one ' ' (QString::simplified).
std::string simplified(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (const char c : text) {
        if (isSpace(static_cast<unsigned char>(c))) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out += ' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

struct Number
{
    std::uint32_t value;
    std::size_t end; // where reading stopped
};

// One part the way strtoull reads it with base 0. No digits, a '-' or a value beyond 32 bits
// fail the whole address, whatever follows.
std::optional<Number> readNumber(std::string_view s, std::size_t at)
{
    while (at < s.size() && s[at] == ' ')
        ++at;
    if (at < s.size() && s[at] == '+')
        ++at;
    int base = 10;
    if (at < s.size() && s[at] == '0') {
        base = 8;
        if (at + 1 < s.size() && (s[at + 1] == 'x' || s[at + 1] == 'X')) {
            // "0x" without a hexadecimal digit after it is no number here either way.
            if (at + 2 >= s.size() || !isHexDigit(s[at + 2]))
                return std::nullopt;
            base = 16;
            at += 2;
        }
    }
    const std::size_t first = at;
    std::uint64_t value = 0;
    while (at < s.size() && digitValue(s[at]) < base) {
        value = value * std::uint64_t(base) + std::uint64_t(digitValue(s[at]));
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        ++at;
    }
    if (at == first)
        return std::nullopt;
    return Number{std::uint32_t(value), at};
}

} // namespace

bool isWellFormedMac(std::string_view text)
{
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2 ? text[i] != ':' : !isHexDigit(text[i]))
            return false;
    }
    return true;
}

bool isIPv4Address(std::string_view text)
{
    const std::string whole = simplified(text);
    if (whole.empty())
        return false;
    for (const char c : whole) {
        if (static_cast<unsigned char>(c) >= 0x7F)
            return false;
    }
    // The parser reads a C string, so a NUL ends the address. A ':' before it makes the text
    // no IPv4 address; one after it is never read.
    const std::string_view s(whole.c_str());

    // The last part fills what the ones before it left: 4, 3, 2 or 1 bytes.
    static constexpr std::uint32_t kLastPartMax[] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    std::size_t at = 0;
    for (int dots = 0;; ++dots) {
        const std::optional<Number> part = readNumber(s, at);
        if (!part)
            return false;
        if (part->end == s.size())
            return part->value <= kLastPartMax[dots];
        if (dots == 3 || s[part->end] != '.' || part->value > 0xFFu)
            return false;
        at = part->end + 1;
    }
}

} // namespace kavro::discovery
