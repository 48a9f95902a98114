#pragma once

#include <string>
#include <sys/types.h>

// socat joining a pseudo-terminal to a TCP port on this machine, as a serial cable to a card
// would be; the terminal is reached through a link in a folder of its own.
class PtyBridge
{
public:
    explicit PtyBridge(unsigned short tcpPort);
    ~PtyBridge();
    PtyBridge(const PtyBridge &) = delete;
    PtyBridge &operator=(const PtyBridge &) = delete;

    bool ready() const { return m_ready; }
    const std::string &port() const { return m_link; }

private:
    std::string m_dir;
    std::string m_link;
    pid_t m_pid = -1;
    bool m_ready = false;
};
