#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kavro::sim {

// What drives one input of a card by itself.
struct InputBehaviour
{
    enum class Kind { Fixed, Square, Sequence, Wire };
    Kind kind = Kind::Fixed;
    int input = 0;
    // Fixed.
    bool level = false;
    // Square wave: on for duty of each period, starting at startMs after the host started.
    std::uint32_t periodMs = 0;
    double duty = 0.5;
    std::uint32_t startMs = 0;
    // Sequence: levels at times since startMs; with repeat it starts over after the last step,
    // the last step's time being the length of one round.
    std::vector<std::pair<std::uint32_t, bool>> steps;
    bool repeat = false;
    // Wire: the input follows an output of this or another card, delayMs later.
    int fromCard = 0;
    int output = 0;
    std::uint32_t delayMs = 0;
};

// A fault of a card's link or firmware, and when it begins.
struct Fault
{
    enum class Kind { Drop, Refuse, Silent, Delay, Corrupt, Bytewise, Duplicate, Stall, Restart };
    Kind kind = Kind::Drop;
    // When: at a time since the host started, once the card has sent so many frames, or when
    // a command with this code arrives; none of them means at once.
    std::optional<std::uint32_t> atMs;
    std::optional<std::uint64_t> afterFrames;
    std::optional<std::uint8_t> onCommand;
    // How long it lasts; 0 until it is switched off. Drop and restart happen once.
    std::uint32_t forMs = 0;
    // Delay: how late each frame goes out. Corrupt, duplicate: every Nth frame.
    std::uint32_t delayMs = 0;
    std::uint32_t every = 1;
};

struct CardScenario
{
    std::optional<std::string> address;
    std::optional<std::uint16_t> port;
    std::optional<std::string> mac;
    std::vector<InputBehaviour> inputs;
    std::vector<Fault> faults;
};

struct Scenario
{
    std::vector<CardScenario> cards;
};

// A scenario that cannot be used: what names the file, the line and the field.
class ScenarioError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

Scenario loadScenario(const std::string &path);
// name stands for the file in messages.
Scenario parseScenario(const std::string &text, const std::string &name);

const char *faultName(Fault::Kind kind);
std::optional<Fault::Kind> faultKind(const std::string &name);

} // namespace kavro::sim
