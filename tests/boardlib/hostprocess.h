#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A kavro-board-host process, driven the way a script drives it: its listening line, "in"
// lines to its standard input, "out" lines from its standard output.
class HostProcess
{
public:
    // port 0 lets the host pick one. The host answers UDP configuration only when asked.
    explicit HostProcess(unsigned short port = 0, bool udp = false,
                         const std::vector<std::string> &extraArguments = {});
    ~HostProcess();
    HostProcess(const HostProcess &) = delete;
    HostProcess &operator=(const HostProcess &) = delete;

    bool started() const { return m_port != 0; }
    unsigned short port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    std::string portText() const { return "127.0.0.1:" + std::to_string(m_port); }

    void setInput(int bit, bool on);
    // Waits for this exact line on the host's output; lines before it are consumed.
    bool waitForLine(const std::string &line,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // Waits for a line that begins with prefix and returns it, or an empty text.
    std::string
    waitForLineStarting(const std::string &prefix,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    // Sends one line to the host's standard input.
    void sendLine(const std::string &line);
    // Ends the host abruptly, as a pulled cable or a crash would.
    void kill();

private:
    bool readLine(std::string &line, std::chrono::milliseconds timeout);
    // The first line that matches, consuming those before it; none when the time runs out.
    std::optional<std::string> waitForMatch(const std::function<bool(const std::string &)> &match,
                                            std::chrono::milliseconds timeout);

    void drain();

    pid_t m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    unsigned short m_port = 0;
    // The host's output is read all the time on a thread of its own, so that a host with many
    // output changes never blocks on a full pipe while nobody waits for a line.
    std::thread m_drain;
    std::mutex m_mutex;
    std::condition_variable m_more;
    std::string m_pending; // guarded by m_mutex
    bool m_ended = false;  // guarded by m_mutex
};

// Directory of the running test program, where the build puts the host too.
std::string programDirectory();
