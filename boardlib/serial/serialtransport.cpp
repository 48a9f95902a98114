#include "serialtransport.h"

namespace kavro::boardlib {

std::unique_ptr<Transport> SerialLink::transport(const std::string &portName)
{
    if (portName.empty())
        return nullptr;
    return std::make_unique<StreamTransport<SerialLink>>(
        std::make_shared<SerialLink>(IoThread::instance().context(), portName));
}

SerialLink::SerialLink(asio::io_context &io, std::string portName)
    : StreamState<SerialLink>(io), stream(io), m_portName(std::move(portName))
{
}

void SerialLink::startOpen()
{
    asio::error_code ec;
    stream.open(m_portName, ec);
    if (!ec) {
        using asio::serial_port_base;
        stream.set_option(serial_port_base::baud_rate(BaudRate), ec);
        if (!ec)
            stream.set_option(serial_port_base::character_size(8), ec);
        if (!ec)
            stream.set_option(serial_port_base::parity(serial_port_base::parity::none), ec);
        if (!ec)
            stream.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one), ec);
        if (!ec)
            stream.set_option(serial_port_base::flow_control(serial_port_base::flow_control::none),
                              ec);
    }
    // Opening is synchronous; the result is handed on like a completed connection.
    auto keep = shared_from_this();
    asio::post(stream.get_executor(), [keep, ec] { keep->opened(ec); });
}

void SerialLink::closeStream()
{
    asio::error_code ignored;
    stream.close(ignored);
}

} // namespace kavro::boardlib
