#include "hostprocess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

std::string programDirectory()
{
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return ".";
    std::string path(buf.data(), std::size_t(n));
    return path.substr(0, path.rfind('/'));
}

HostProcess::HostProcess(unsigned short port, bool udp,
                         const std::vector<std::string> &extraArguments)
{
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return;
    const std::string host = programDirectory() + "/kavro-board-host";
    const std::string portArg = std::to_string(port);
    // Made before the fork: the child of a threaded process must not allocate.
    std::vector<std::string> args{host, "--port", portArg};
    if (!udp)
        args.push_back("--no-udp");
    args.insert(args.end(), extraArguments.begin(), extraArguments.end());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::execv(host.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    ::fcntl(m_stdin, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_stdout, F_SETFD, FD_CLOEXEC);
    m_drain = std::thread([this] { drain(); });

    std::string line;
    if (readLine(line, std::chrono::milliseconds(10000)) && line.rfind("listening ", 0) == 0)
        m_port = static_cast<unsigned short>(std::atoi(line.substr(line.rfind(':') + 1).c_str()));
}

HostProcess::~HostProcess()
{
    if (m_stdin >= 0)
        ::close(m_stdin);
    if (m_pid > 0) {
        // End of input stops the host; a host that does not stop is killed.
        for (int i = 0; i < 300; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            ::usleep(10000);
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    // The host has ended, so its output reaches its end and the drain stops.
    if (m_drain.joinable())
        m_drain.join();
    if (m_stdout >= 0)
        ::close(m_stdout);
}

void HostProcess::drain()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_stdout, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (n <= 0) {
            m_ended = true;
            m_more.notify_all();
            return;
        }
        m_pending.append(buf, std::size_t(n));
        m_more.notify_all();
    }
}

void HostProcess::setInput(int bit, bool on)
{
    sendLine("in " + std::to_string(bit) + (on ? " 1" : " 0"));
}

void HostProcess::sendLine(const std::string &text)
{
    const std::string line = text + "\n";
    [[maybe_unused]] auto n = ::write(m_stdin, line.data(), line.size());
}

void HostProcess::kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool HostProcess::readLine(std::string &line, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool whole = m_more.wait_for(
        lock, timeout, [&] { return m_pending.find('\n') != std::string::npos || m_ended; });
    const auto nl = m_pending.find('\n');
    if (!whole || nl == std::string::npos)
        return false;
    line = m_pending.substr(0, nl);
    m_pending.erase(0, nl + 1);
    return true;
}

bool HostProcess::waitForLine(const std::string &wanted, std::chrono::milliseconds timeout)
{
    return waitForMatch([&](const std::string &line) { return line == wanted; }, timeout)
        .has_value();
}

std::string HostProcess::waitForLineStarting(const std::string &prefix,
                                             std::chrono::milliseconds timeout)
{
    return waitForMatch([&](const std::string &line) { return line.rfind(prefix, 0) == 0; },
                        timeout)
        .value_or(std::string());
}

std::optional<std::string>
HostProcess::waitForMatch(const std::function<bool(const std::string &)> &match,
                          std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (!readLine(line, left))
            return std::nullopt;
        if (match(line))
            return line;
    }
    return std::nullopt;
}
