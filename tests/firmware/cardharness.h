#pragma once

#include "firmware/cardlevels.h"
#include "firmware/firmwareengine.h"
#include "link/cardframe.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"

#include <array>
#include <cstdint>
#include <vector>

// A simulated card on a synthetic clock, with the pins played by the card's levels and the
// client's side by a frame reader, so tests read what a client would read.
class CardHarness : public kavro::firmware::CardLevels
{
public:
    struct OutputEvent
    {
        std::uint8_t group;
        std::uint8_t bit;
        bool on;
        bool operator==(const OutputEvent &o) const
        {
            return group == o.group && bit == o.bit && on == o.on;
        }
    };

    CardHarness();

    bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) override;
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) override;
    void SendBuf(kavro::link::CardWireFrame frame) override;

    // Start-up at elapsed time 0 of a new run.
    void startCard();
    // Hands the command over and runs passes at the current time until it is executed.
    void send(const kavro::link::CommandFrame &cmd);
    void sendBytes(const std::vector<std::uint8_t> &bytes);
    void drain();
    // Moves the clock on in steps of one tick, one pass per step.
    void advanceMs(double ms);
    void clearRecords();

    // Counted reports show as group reports whose sequence moved; callers filter by kind.
    std::vector<kavro::link::CardFrame> framesOf(kavro::link::CardFrameKind kind) const;
    bool outputOn(int bit) const { return (engine.outputWord() >> bit) & 1u; }
    // Sets an input as the window would; the engine sees it at its next scan.
    void setInput(int bit, bool on)
    {
        CardLevels::setInput(bit, on);
        engine.noteInputsChanged();
    }

    kavro::firmware::FirmwareEngine engine{*this};
    std::vector<OutputEvent> outputEvents;
    std::vector<kavro::link::CardFrame> frames;
    std::uint64_t inputQueries = 0;
    std::uint64_t nowNs = 0;

private:
    kavro::link::CardFrameReader reader_;
};
