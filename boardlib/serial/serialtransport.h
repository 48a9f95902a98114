#pragma once

#include "boardlib/core/streamtransport.h"

#include <asio/serial_port.hpp>
#include <memory>
#include <string>

namespace kavro::boardlib {

// The board link over a serial line: 115200 baud, 8 data bits, no parity, 1 stop bit, no flow
// control. The port is named as the system names it ("/dev/ttyUSB0", "COM3"); after the line
// goes away the port is opened again every second.
class SerialLink : public StreamState<SerialLink>
{
public:
    static constexpr unsigned BaudRate = 115200;
    static std::unique_ptr<Transport> transport(const std::string &portName);

    SerialLink(asio::io_context &io, std::string portName);

    void startOpen();
    void closeStream();

    asio::serial_port stream;

private:
    std::string m_portName;
};

} // namespace kavro::boardlib
