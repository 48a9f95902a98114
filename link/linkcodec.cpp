#include "linkcodec.h"

namespace kavro::link {

namespace {

using u8 = std::uint8_t;

inline u8 inv(u8 x)
{
    return u8(~x);
}

// The 12-byte key window that a selector picks: K[sel % 3] .. K[sel % 3 + 11].
inline const u8 *keyWindow(const KeyTable &key, u8 selector)
{
    return key.data() + selector % 3;
}

// Masks of the card-to-client direction. Each depends only on the selector, the key and
// transmitted bytes 0, 1, 2 and 5, so the receiver recomputes them from what it got.
// Scrambling writes the transmitted bytes into out, so the masks read them back from there;
// descrambling reads them from in.
void applyCardMasks(const u8 *in, u8 *out, const KeyTable &key, bool scrambling)
{
    const u8 a = in[4];
    const u8 *k = keyWindow(key, a);
    auto x = [&](int i, u8 mask) { out[i] = u8(in[i] ^ mask); };
    const u8 *s = scrambling ? out : in;
    x(0, u8(a + k[0]));
    x(1, u8(inv(a) - k[1]));
    x(2, u8(s[0] ^ k[2]));
    x(3, u8(inv(k[3]) + inv(s[0])));
    out[4] = a;
    x(5, u8(inv(k[5]) ^ s[2]));
    x(6, u8(k[4] - s[1]));
    x(7, u8(k[5] * s[5]));
    x(8, u8(a + k[5]));
    x(9, u8(inv(a) - k[6]));
    x(10, u8(s[0] ^ k[7]));
    x(11, u8(inv(k[8]) + inv(s[0])));
    x(12, u8(inv(k[9]) ^ s[2]));
    x(13, u8(k[10] - s[1]));
    x(14, u8(k[11] - s[1]));
}

// Masks of the client-to-card direction, selector in byte 5.
void applyCommandMasks(const u8 *in, u8 *out, const KeyTable &key, bool scrambling)
{
    const u8 s = in[5];
    const u8 *k = keyWindow(key, s);
    auto x = [&](int i, u8 mask) { out[i] = u8(in[i] ^ mask); };
    const u8 *r = scrambling ? out : in;
    x(0, u8(k[0] + s));
    x(1, u8(inv(s) - k[1]));
    x(2, u8(r[0] ^ k[2]));
    x(3, u8(inv(k[3]) + inv(r[0])));
    x(4, u8(k[4] - r[1]));
    out[5] = s;
    x(6, u8(inv(k[5]) ^ r[2]));
    x(7, u8(k[5] * s));
    x(8, u8(s + k[5]));
    x(9, u8(inv(s) - k[6]));
    x(10, u8(r[0] ^ k[7]));
    x(11, u8(inv(k[8]) + inv(r[0])));
    x(12, u8(k[9] - r[1]));
    x(13, u8(inv(k[10]) ^ r[2]));
    x(14, u8(inv(k[11]) ^ r[2]));
}

} // namespace

u8 checksum(const u8 *bytes15)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < kPlainSize; ++i)
        sum += bytes15[i];
    return u8(sum);
}

bool checksumMatches(const u8 *frame16)
{
    return checksum(frame16) == frame16[15];
}

WireFrame scrambleCardFrame(const PlainFrame &plain, const KeyTable &key)
{
    WireFrame wire{};
    applyCardMasks(plain.data(), wire.data(), key, true);
    wire[15] = checksum(wire.data());
    return wire;
}

PlainFrame descrambleCardFrame(const u8 *wire16, const KeyTable &key)
{
    PlainFrame plain{};
    applyCardMasks(wire16, plain.data(), key, false);
    return plain;
}

WireFrame scrambleCommandFrame(const PlainFrame &plain, const KeyTable &key)
{
    WireFrame wire{};
    applyCommandMasks(plain.data(), wire.data(), key, true);
    wire[15] = checksum(wire.data());
    return wire;
}

PlainFrame descrambleCommandFrame(const u8 *wire16, const KeyTable &key)
{
    PlainFrame plain{};
    applyCommandMasks(wire16, plain.data(), key, false);
    return plain;
}

} // namespace kavro::link
