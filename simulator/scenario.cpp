#include "scenario.h"

#include "discovery/addresses.h"

#include <fstream>
#include <set>
#include <sstream>
#include <yaml-cpp/yaml.h>

namespace kavro::sim {

namespace {

constexpr int kInputs = 32;
constexpr int kMaxCards = 1024;

const std::pair<Fault::Kind, const char *> kFaultNames[] = {
    {Fault::Kind::Drop, "drop"},           {Fault::Kind::Refuse, "refuse"},
    {Fault::Kind::Silent, "silent"},       {Fault::Kind::Delay, "delay"},
    {Fault::Kind::Corrupt, "corrupt"},     {Fault::Kind::Bytewise, "bytewise"},
    {Fault::Kind::Duplicate, "duplicate"}, {Fault::Kind::Stall, "stall"},
    {Fault::Kind::Restart, "restart"},
};

// Reads one YAML file; every complaint names the file, the line and the field.
class Reader
{
public:
    explicit Reader(std::string name) : name_(std::move(name)) {}

    [[noreturn]] void fail(const YAML::Node &at, const std::string &field,
                           const std::string &what) const
    {
        std::ostringstream text;
        text << name_ << ":" << at.Mark().line + 1 << ": " << field << ": " << what;
        throw ScenarioError(text.str());
    }

    // A map with only the given keys.
    void onlyKeys(const YAML::Node &map, const std::string &field,
                  std::initializer_list<const char *> keys) const
    {
        if (!map.IsMap())
            fail(map, field, "expected a mapping");
        for (const auto &entry : map) {
            const std::string key = entry.first.as<std::string>();
            bool known = false;
            for (const char *k : keys)
                known = known || key == k;
            if (!known)
                fail(entry.first, field + "." + key, "unknown field");
        }
    }

    template <typename T>
    T number(const YAML::Node &node, const std::string &field, T low, T high) const
    {
        if (!node.IsScalar())
            fail(node, field, "expected a number");
        long double value = 0;
        try {
            value = node.as<long double>();
        } catch (const YAML::Exception &) {
            fail(node, field, "not a number: " + node.Scalar());
        }
        if (value < static_cast<long double>(low) || value > static_cast<long double>(high))
            fail(node, field,
                 node.Scalar() + " is outside " + std::to_string(low) + " to " +
                     std::to_string(high));
        if (std::is_integral<T>::value && value != static_cast<long double>(static_cast<T>(value)))
            fail(node, field, "expected a whole number, not " + node.Scalar());
        return static_cast<T>(value);
    }

    bool level(const YAML::Node &node, const std::string &field) const
    {
        if (node.IsScalar()) {
            const std::string s = node.Scalar();
            if (s == "1" || s == "true" || s == "on")
                return true;
            if (s == "0" || s == "false" || s == "off")
                return false;
        }
        fail(node, field, "expected a level: 0 or 1");
    }

    std::string text(const YAML::Node &node, const std::string &field) const
    {
        if (!node.IsScalar())
            fail(node, field, "expected a text");
        return node.Scalar();
    }

    InputBehaviour input(const YAML::Node &node, const std::string &field, int cards) const
    {
        onlyKeys(node, field, {"input", "level", "square", "sequence", "repeat", "follows"});
        InputBehaviour b;
        if (!node["input"])
            fail(node, field + ".input", "missing");
        b.input = number<int>(node["input"], field + ".input", 0, kInputs - 1);
        const int kinds = (node["level"] ? 1 : 0) + (node["square"] ? 1 : 0) +
                          (node["sequence"] ? 1 : 0) + (node["follows"] ? 1 : 0);
        if (kinds != 1)
            fail(node, field, "give exactly one of level, square, sequence, follows");
        if (node["repeat"] && !node["sequence"])
            fail(node["repeat"], field + ".repeat", "only a sequence repeats");
        if (const YAML::Node n = node["level"]) {
            b.kind = InputBehaviour::Kind::Fixed;
            b.level = level(n, field + ".level");
        } else if (const YAML::Node sq = node["square"]) {
            const std::string f = field + ".square";
            onlyKeys(sq, f, {"period_ms", "duty", "start_ms"});
            b.kind = InputBehaviour::Kind::Square;
            if (!sq["period_ms"])
                fail(sq, f + ".period_ms", "missing");
            b.periodMs = number<std::uint32_t>(sq["period_ms"], f + ".period_ms", 2, 3600000);
            if (sq["duty"])
                b.duty = number<double>(sq["duty"], f + ".duty", 0.0, 1.0);
            if (sq["start_ms"])
                b.startMs = number<std::uint32_t>(sq["start_ms"], f + ".start_ms", 0, 86400000);
        } else if (const YAML::Node seq = node["sequence"]) {
            const std::string f = field + ".sequence";
            b.kind = InputBehaviour::Kind::Sequence;
            if (!seq.IsSequence() || seq.size() == 0)
                fail(seq, f, "expected a list of [time_ms, level] pairs");
            std::uint32_t last = 0;
            for (std::size_t i = 0; i < seq.size(); ++i) {
                const YAML::Node step = seq[i];
                const std::string sf = f + "[" + std::to_string(i) + "]";
                if (!step.IsSequence() || step.size() != 2)
                    fail(step, sf, "expected [time_ms, level]");
                const auto at = number<std::uint32_t>(step[0], sf + ".time_ms", 0, 86400000);
                if (i > 0 && at <= last)
                    fail(step, sf + ".time_ms", "times must rise from step to step");
                last = at;
                b.steps.emplace_back(at, level(step[1], sf + ".level"));
            }
            if (node["repeat"])
                b.repeat = level(node["repeat"], field + ".repeat");
            if (b.repeat && last == 0)
                fail(seq, f, "a repeated sequence needs a last step after 0 ms");
        } else {
            const YAML::Node w = node["follows"];
            const std::string f = field + ".follows";
            onlyKeys(w, f, {"card", "output", "delay_ms"});
            b.kind = InputBehaviour::Kind::Wire;
            if (!w["output"])
                fail(w, f + ".output", "missing");
            if (w["card"])
                b.fromCard = number<int>(w["card"], f + ".card", 0, cards - 1);
            else
                b.fromCard = -1; // the card itself
            b.output = number<int>(w["output"], f + ".output", 0, kInputs - 1);
            if (w["delay_ms"])
                b.delayMs = number<std::uint32_t>(w["delay_ms"], f + ".delay_ms", 0, 3600000);
        }
        return b;
    }

    Fault fault(const YAML::Node &node, const std::string &field) const
    {
        onlyKeys(node, field,
                 {"fault", "at_ms", "after_frames", "on_command", "for_ms", "delay_ms", "every"});
        if (!node["fault"])
            fail(node, field + ".fault", "missing");
        Fault f;
        const std::string name = text(node["fault"], field + ".fault");
        const auto kind = faultKind(name);
        if (!kind)
            fail(node["fault"], field + ".fault",
                 "unknown fault " + name +
                     " (drop, refuse, silent, delay, corrupt, bytewise, duplicate, stall, "
                     "restart)");
        f.kind = *kind;
        const int triggers =
            (node["at_ms"] ? 1 : 0) + (node["after_frames"] ? 1 : 0) + (node["on_command"] ? 1 : 0);
        if (triggers > 1)
            fail(node, field, "give at most one of at_ms, after_frames, on_command");
        if (node["at_ms"])
            f.atMs = number<std::uint32_t>(node["at_ms"], field + ".at_ms", 0, 86400000);
        if (node["after_frames"])
            f.afterFrames =
                number<std::uint64_t>(node["after_frames"], field + ".after_frames", 1, 1u << 31);
        if (node["on_command"])
            f.onCommand = number<std::uint8_t>(node["on_command"], field + ".on_command", 0, 255);
        if (node["for_ms"]) {
            if (f.kind == Fault::Kind::Drop || f.kind == Fault::Kind::Restart)
                fail(node["for_ms"], field + ".for_ms", std::string(name) + " has no duration");
            f.forMs = number<std::uint32_t>(node["for_ms"], field + ".for_ms", 1, 86400000);
        }
        if (node["delay_ms"]) {
            if (f.kind != Fault::Kind::Delay)
                fail(node["delay_ms"], field + ".delay_ms", "only a delay has delay_ms");
            f.delayMs = number<std::uint32_t>(node["delay_ms"], field + ".delay_ms", 1, 60000);
        } else if (f.kind == Fault::Kind::Delay) {
            fail(node, field + ".delay_ms", "missing");
        }
        if (node["every"]) {
            if (f.kind != Fault::Kind::Corrupt && f.kind != Fault::Kind::Duplicate)
                fail(node["every"], field + ".every", "only corrupt and duplicate have every");
            f.every = number<std::uint32_t>(node["every"], field + ".every", 1, 1000000);
        }
        return f;
    }

    Scenario scenario(const YAML::Node &root) const
    {
        Scenario s;
        if (!root || root.IsNull())
            fail(root, "cards", "the scenario is empty");
        onlyKeys(root, "scenario", {"cards"});
        const YAML::Node cards = root["cards"];
        if (!cards)
            fail(root, "cards", "missing");
        if (cards.IsScalar()) {
            s.cards.resize(std::size_t(number<int>(cards, "cards", 1, kMaxCards)));
            return s;
        }
        if (!cards.IsSequence() || cards.size() == 0 || cards.size() > std::size_t(kMaxCards))
            fail(cards, "cards", "expected a number of cards or a list of 1 to 1024 cards");
        const int count = int(cards.size());
        std::set<std::string> macs;
        for (std::size_t i = 0; i < cards.size(); ++i) {
            const YAML::Node c = cards[i];
            const std::string field = "cards[" + std::to_string(i) + "]";
            if (c.IsNull()) {
                s.cards.emplace_back();
                continue;
            }
            onlyKeys(c, field, {"address", "port", "mac", "inputs", "faults"});
            CardScenario card;
            if (c["address"])
                card.address = text(c["address"], field + ".address");
            if (c["port"])
                card.port = number<std::uint16_t>(c["port"], field + ".port", 0, 65535);
            if (c["mac"]) {
                card.mac = text(c["mac"], field + ".mac");
                if (!discovery::isWellFormedMac(*card.mac))
                    fail(c["mac"], field + ".mac", "not a MAC: " + *card.mac);
                if (!macs.insert(*card.mac).second)
                    fail(c["mac"], field + ".mac", "two cards have " + *card.mac);
            }
            if (const YAML::Node inputs = c["inputs"]) {
                if (!inputs.IsSequence())
                    fail(inputs, field + ".inputs", "expected a list");
                std::set<int> seen;
                for (std::size_t k = 0; k < inputs.size(); ++k) {
                    const std::string f = field + ".inputs[" + std::to_string(k) + "]";
                    InputBehaviour b = input(inputs[k], f, count);
                    if (!seen.insert(b.input).second)
                        fail(inputs[k], f + ".input",
                             "input " + std::to_string(b.input) + " is driven twice");
                    if (b.kind == InputBehaviour::Kind::Wire && b.fromCard < 0)
                        b.fromCard = int(i);
                    card.inputs.push_back(b);
                }
            }
            if (const YAML::Node faults = c["faults"]) {
                if (!faults.IsSequence())
                    fail(faults, field + ".faults", "expected a list");
                for (std::size_t k = 0; k < faults.size(); ++k)
                    card.faults.push_back(
                        fault(faults[k], field + ".faults[" + std::to_string(k) + "]"));
            }
            s.cards.push_back(std::move(card));
        }
        return s;
    }

private:
    std::string name_;
};

} // namespace

const char *faultName(Fault::Kind kind)
{
    for (const auto &entry : kFaultNames)
        if (entry.first == kind)
            return entry.second;
    return "?";
}

std::optional<Fault::Kind> faultKind(const std::string &name)
{
    for (const auto &entry : kFaultNames)
        if (name == entry.second)
            return entry.first;
    return std::nullopt;
}

Scenario parseScenario(const std::string &text, const std::string &name)
{
    const Reader reader(name);
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::Exception &e) {
        throw ScenarioError(name + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg);
    }
    try {
        return reader.scenario(root);
    } catch (const YAML::Exception &e) {
        throw ScenarioError(name + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg);
    }
}

Scenario loadScenario(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        throw ScenarioError(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenario(text.str(), path);
}

} // namespace kavro::sim
