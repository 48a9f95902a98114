#include "worker.h"

#include "mcu.h"

void Worker::executeMcu()
{
    MCU::instance()->runFirmware();
}
