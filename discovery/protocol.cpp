#include "discovery/protocol.h"

namespace kavro::discovery {

std::vector<std::string_view> splitFields(std::string_view message)
{
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t end = message.find(';');
        fields.push_back(message.substr(0, end));
        if (end == std::string_view::npos)
            return fields;
        message.remove_prefix(end + 1);
    }
}

std::string_view fieldAt(const std::vector<std::string_view> &fields, std::size_t n)
{
    return n < fields.size() ? fields[n] : std::string_view();
}

} // namespace kavro::discovery
