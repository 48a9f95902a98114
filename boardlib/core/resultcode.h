#pragma once

namespace kavro::boardlib {

// The result codes the libraries return; their texts belong to the testers.
enum ResultCode : int {
    Ok = 0,
    BadCardNumber = 1, // comno above 15
    OpenFailed = 2,    // no such port, bad port text, connection refused or timed out
    NotOpen = 4,
    BadDelayOff = 5, // time base other than 18, 19, 20, or a multiple outside 1 to 9
    AlreadyOpen = 6,
    Timeout = 15,      // the card did not answer in time
    BadBit = 16,       // bit number above 31
    BadPulser = 17,    // pulse generator for an output of 8 or above
    NotReady = 21,     // the link is down
    WriteFailed = 22,  // the read-back does not show the written level
    WriteTimeout = 24, // no read-back in time
};

} // namespace kavro::boardlib
