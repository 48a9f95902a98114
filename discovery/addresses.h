#pragma once

#include <string_view>

namespace kavro::discovery {

// Six pairs of hexadecimal digits of either case joined by ':', 17 characters in all.
bool isWellFormedMac(std::string_view text);

// Whether the toolkit's host-address parser (QHostAddress::setAddress of the text read as
// Latin-1) takes the text for an IPv4 address. That parser is lenient: it trims and collapses
// white space, reads each part like strtoull with base 0 (a '+', "0x" hexadecimal, a leading
// '0' octal) and lets the last part fill the remaining bytes, so "1.2" is 1.0.0.2 and
// "4294967295" is 255.255.255.255. The whole text counts, a NUL included.
bool isIPv4Address(std::string_view text);

} // namespace kavro::discovery
