#pragma once

#include "boardlib/include/kavro_iolb.h"

namespace kavro::boardlib {

// The result codes the libraries return, by the interface's names; their texts belong to the
// testers.
enum ResultCode : int {
    Ok = IOLB_OK,
    BadCardNumber = IOLB_ERR_COMNO,
    OpenFailed = IOLB_ERR_OPEN,
    NotOpen = IOLB_ERR_NOT_OPEN,
    BadDelayOff = IOLB_ERR_DELAYOFF,
    AlreadyOpen = IOLB_ERR_IN_USE,
    Timeout = IOLB_ERR_TIMEOUT,
    BadBit = IOLB_ERR_BITNO,
    BadPulser = IOLB_ERR_PULSER_LIMIT,
    NotReady = IOLB_ERR_NOT_READY,
    WriteFailed = IOLB_ERR_WRITE,
    WriteTimeout = IOLB_ERR_WRITE_TIMEOUT,
};

} // namespace kavro::boardlib
