#include "hostcommands.h"

#include "cardhost.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace kavro::sim {

namespace {

bool parseNumber(const std::string &text, long limit, long &value)
{
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value <= limit;
}

bool parseLevel(const std::string &text, bool &on)
{
    if (text != "0" && text != "1")
        return false;
    on = text == "1";
    return true;
}

std::string stats(CardHost &host, std::size_t i)
{
    auto &c = host.card(i);
    return "stats " + std::to_string(i) + " received " + std::to_string(c.sim.bytesReceived()) +
           " frames " + std::to_string(c.sim.framesSent()) + " intake-max " +
           std::to_string(c.sim.intakeHighWater()) + " clients " +
           std::to_string(c.server.clientCount());
}

// Reads "CARD BIT" style numbers in order; the first that fails names itself.
class Words
{
public:
    explicit Words(std::vector<std::string> w) : words_(std::move(w)) {}
    std::size_t size() const { return words_.size(); }
    const std::string &operator[](std::size_t i) const { return words_[i]; }

    bool number(std::size_t i, long limit, long &value, const char *what, std::string &error) const
    {
        if (i < words_.size() && parseNumber(words_[i], limit, value))
            return true;
        error = std::string("bad ") + what + (i < words_.size() ? ": " + words_[i] : ": missing") +
                " (0 to " + std::to_string(limit) + ")";
        return false;
    }

private:
    std::vector<std::string> words_;
};

constexpr long kDay = 86400000;

std::string fault(CardHost &host, const Words &w, std::size_t card)
{
    if (w.size() < 3)
        return "fault: what fault?";
    const std::string &name = w[2];
    std::string error;
    if (name == "off" && w.size() == 3) {
        host.faultsOff(card);
        return {};
    }
    const auto kind = faultKind(name);
    if (!kind)
        return "fault: unknown fault " + name;
    Fault f;
    f.kind = *kind;
    long value = 0;
    long forMs = 0;
    switch (f.kind) {
    case Fault::Kind::Drop:
    case Fault::Kind::Restart:
        if (w.size() != 3)
            return "fault " + name + ": takes nothing more";
        break;
    case Fault::Kind::Refuse:
    case Fault::Kind::Silent:
    case Fault::Kind::Stall:
        if (w.size() != 4 || !w.number(3, kDay, value, "milliseconds", error))
            return error.empty() ? "fault " + name + " MS" : error;
        f.forMs = std::uint32_t(value);
        break;
    case Fault::Kind::Delay:
        if (w.size() < 4 || w.size() > 5 || !w.number(3, 60000, value, "delay", error) ||
            value == 0 || (w.size() == 5 && !w.number(4, kDay, forMs, "milliseconds", error)))
            return error.empty() ? "fault delay MS [FOR_MS]" : error;
        f.delayMs = std::uint32_t(value);
        f.forMs = std::uint32_t(forMs);
        break;
    case Fault::Kind::Corrupt:
    case Fault::Kind::Duplicate:
        if (w.size() < 4 || w.size() > 5 || !w.number(3, 1000000, value, "every", error) ||
            value == 0 || (w.size() == 5 && !w.number(4, kDay, forMs, "milliseconds", error)))
            return error.empty() ? "fault " + name + " N [FOR_MS]" : error;
        f.every = std::uint32_t(value);
        f.forMs = std::uint32_t(forMs);
        break;
    case Fault::Kind::Bytewise:
        if (w.size() > 4 || (w.size() == 4 && !w.number(3, kDay, forMs, "milliseconds", error)))
            return error.empty() ? "fault bytewise [FOR_MS]" : error;
        f.forMs = std::uint32_t(forMs);
        break;
    }
    host.addFault(card, f);
    return {};
}

} // namespace

std::string runHostCommand(CardHost &host, const std::string &line,
                           const std::function<void(const std::string &)> &print)
{
    std::istringstream in(line);
    std::vector<std::string> list;
    for (std::string word; in >> word;)
        list.push_back(word);
    if (list.empty())
        return {};
    const Words w(std::move(list));
    const long lastCard = long(host.cardCount()) - 1;
    long card = 0;
    long bit = 0;
    bool on = false;
    std::string error;
    const std::string &verb = w[0];

    if (verb == "in" && (w.size() == 3 || w.size() == 4)) {
        const std::size_t at = w.size() == 4 ? 1 : 0;
        if ((at && !w.number(1, lastCard, card, "card", error)) ||
            !w.number(at + 1, 31, bit, "input", error))
            return error;
        if (!parseLevel(w[at + 2], on))
            return "bad level: " + w[at + 2] + " (0 or 1)";
        InputBehaviour b;
        b.input = int(bit);
        b.level = on;
        host.driveInput(std::size_t(card), b);
        return {};
    }
    if (verb == "stats" && w.size() <= 2) {
        if (w.size() == 2) {
            if (!w.number(1, lastCard, card, "card", error))
                return error;
            print(stats(host, std::size_t(card)));
        } else {
            for (std::size_t i = 0; i < host.cardCount(); ++i)
                print(stats(host, i));
        }
        return {};
    }
    if (verb == "square" && (w.size() == 4 || w.size() == 5)) {
        long period = 0;
        if (!w.number(1, lastCard, card, "card", error) || !w.number(2, 31, bit, "input", error) ||
            !w.number(3, 3600000, period, "period", error))
            return error;
        if (period < 2)
            return "bad period: " + w[3] + " (2 ms or more)";
        InputBehaviour b;
        b.kind = InputBehaviour::Kind::Square;
        b.input = int(bit);
        b.periodMs = std::uint32_t(period);
        b.startMs = host.elapsedMs();
        if (w.size() == 5) {
            char *end = nullptr;
            b.duty = std::strtod(w[4].c_str(), &end);
            if (end == w[4].c_str() || *end || b.duty < 0 || b.duty > 1)
                return "bad duty: " + w[4] + " (0 to 1)";
        }
        host.driveInput(std::size_t(card), b);
        return {};
    }
    if (verb == "sequence" && (w.size() == 4 || (w.size() == 5 && w[4] == "repeat"))) {
        if (!w.number(1, lastCard, card, "card", error) || !w.number(2, 31, bit, "input", error))
            return error;
        InputBehaviour b;
        b.kind = InputBehaviour::Kind::Sequence;
        b.input = int(bit);
        b.startMs = host.elapsedMs();
        b.repeat = w.size() == 5;
        std::istringstream steps(w[3]);
        long last = -1;
        for (std::string step; std::getline(steps, step, ',');) {
            const auto colon = step.find(':');
            long at = 0;
            if (colon == std::string::npos || !parseNumber(step.substr(0, colon), kDay, at) ||
                !parseLevel(step.substr(colon + 1), on) || at <= last)
                return "bad step: " + step + " (MS:LEVEL, times rising)";
            last = at;
            b.steps.emplace_back(std::uint32_t(at), on);
        }
        if (b.steps.empty() || (b.repeat && last == 0))
            return "bad sequence: " + w[3];
        host.driveInput(std::size_t(card), b);
        return {};
    }
    if (verb == "wire" && w.size() >= 5 && w.size() <= 8) {
        // wire FROM out BIT [TO] in BIT [DELAY]
        long from = 0;
        long output = 0;
        long delay = 0;
        if (!w.number(1, lastCard, from, "card", error))
            return error;
        if (w[2] != "out" || !w.number(3, 31, output, "output", error))
            return error.empty() ? "wire FROM out BIT [TO] in BIT [DELAY_MS]" : error;
        std::size_t at = 4;
        card = from;
        if (at < w.size() && w[at] != "in" && !w.number(at++, lastCard, card, "card", error))
            return error;
        if (at >= w.size() || w[at] != "in" || !w.number(at + 1, 31, bit, "input", error))
            return error.empty() ? "wire FROM out BIT [TO] in BIT [DELAY_MS]" : error;
        at += 2;
        if (at < w.size() && !w.number(at++, 3600000, delay, "delay", error))
            return error;
        if (at != w.size())
            return "wire FROM out BIT [TO] in BIT [DELAY_MS]";
        InputBehaviour b;
        b.kind = InputBehaviour::Kind::Wire;
        b.input = int(bit);
        b.fromCard = int(from);
        b.output = int(output);
        b.delayMs = std::uint32_t(delay);
        host.driveInput(std::size_t(card), b);
        return {};
    }
    if (verb == "release" && w.size() == 3) {
        if (!w.number(1, lastCard, card, "card", error) || !w.number(2, 31, bit, "input", error))
            return error;
        host.releaseInput(std::size_t(card), int(bit));
        return {};
    }
    if (verb == "fault" && w.size() >= 2) {
        if (!w.number(1, lastCard, card, "card", error))
            return error;
        return fault(host, w, std::size_t(card));
    }
    return "unknown command";
}

} // namespace kavro::sim
