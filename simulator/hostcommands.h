#pragma once

#include <functional>
#include <string>

namespace kavro::sim {

class CardHost;

// The board host's control lines, as its standard input takes them:
//   in [CARD] BIT 0|1                      a fixed level (ends what drove the input)
//   square CARD BIT PERIOD_MS [DUTY]       a square wave from now
//   sequence CARD BIT MS:L,MS:L,... [repeat]   levels at times from now
//   wire FROM out BIT [TO] in BIT [DELAY_MS]    an input follows an output
//   release CARD BIT                       nothing drives the input any more
//   fault CARD drop|restart
//   fault CARD refuse|silent|stall MS      for MS, 0 until "fault CARD off"
//   fault CARD delay MS [FOR_MS]
//   fault CARD corrupt|duplicate N [FOR_MS]    every Nth frame
//   fault CARD bytewise [FOR_MS]
//   fault CARD off                         every fault of the card ends
//   stats [CARD]
// Returns an empty text when the line was carried out, else what is wrong with it. Lines
// for the user go to print.
std::string runHostCommand(CardHost &host, const std::string &line,
                           const std::function<void(const std::string &)> &print);

} // namespace kavro::sim
