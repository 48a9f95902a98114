// Confirmed output writes through the network board library against a board host, beside a
// plain TCP ping-pong of 16-byte requests and 17-byte replies measured in the same run: the
// ceiling of this machine's loopback. Prints figures and their ratio; asserts nothing.
#include "hostprocess.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"
#include "kavro_iolb.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

struct Figures
{
    double perSecond;
    double p50us;
    double p99us;
};

Figures summarise(std::vector<double> latenciesUs, double seconds)
{
    std::sort(latenciesUs.begin(), latenciesUs.end());
    const auto at = [&](double q) {
        return latenciesUs[std::size_t(q * double(latenciesUs.size() - 1))];
    };
    return {double(latenciesUs.size()) / seconds, at(0.50), at(0.99)};
}

bool readExactly(int fd, char *buf, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buf + got, n - got);
        if (r <= 0)
            return false;
        got += std::size_t(r);
    }
    return true;
}

Figures pingPong(int rounds)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&a), &len);

    std::thread server([listener] {
        const int c = ::accept(listener, nullptr, nullptr);
        int one = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char req[16];
        char reply[17] = {};
        while (readExactly(c, req, sizeof req))
            if (::write(c, reply, sizeof reply) != ssize_t(sizeof reply))
                break;
        ::close(c);
    });

    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    char req[16] = {};
    char reply[17];
    std::vector<double> lat;
    lat.reserve(std::size_t(rounds));
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        if (::write(s, req, sizeof req) != ssize_t(sizeof req) ||
            !readExactly(s, reply, sizeof reply))
            break;
        lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(s);
    server.join();
    ::close(listener);
    return summarise(lat, seconds);
}

int connectTo(unsigned short port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// The board host alone: one command frame out, its card frame back, no library between.
Figures rawLinkRoundTrips(unsigned short port, int rounds)
{
    using namespace kavro::link;
    const int s = connectTo(port);
    if (s < 0)
        return {0, 0, 0};
    CardFrameReader reader;
    std::uint8_t buf[256];
    auto awaitFrame = [&] {
        bool got = false;
        while (!got) {
            pollfd pfd{s, POLLIN, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                return false;
            const ssize_t r = ::read(s, buf, sizeof buf);
            if (r <= 0)
                return false;
            reader.feed(buf, std::size_t(r), [&](const CardFrame &) { got = true; });
        }
        return true;
    };
    std::vector<double> lat;
    lat.reserve(std::size_t(rounds));
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto cmd = CommandFrame::make(i % 2 ? Command::ClearOutBit : Command::SetOutBit, 0,
                                            std::uint32_t((i / 2) % 32));
        const auto wire = cmd.encode();
        const auto t0 = Clock::now();
        if (::write(s, wire.data(), wire.size()) != ssize_t(wire.size()))
            break;
        if (!awaitFrame()) {
            std::printf("  (round %d: no answer within a second)\n", i);
            continue;
        }
        lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(s);
    return summarise(lat, seconds);
}

Figures confirmedWrites(const std::string &port, int rounds)
{
    if (iolb_board_open(port.c_str(), 0) != 0) {
        std::fprintf(stderr, "cannot open %s\n", port.c_str());
        std::exit(1);
    }
    for (int i = 0; i < 100; ++i)
        iolb_write_outbit(0, 5, i % 2);
    std::vector<double> lat;
    lat.reserve(std::size_t(rounds));
    int failures = 0;
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        failures += iolb_write_outbit(0, i % 32, (i / 32) % 2 == 0) != 0;
        lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    iolb_board_close(0);
    if (failures)
        std::printf("  (%d writes not confirmed)\n", failures);
    return summarise(lat, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
    HostProcess host;
    if (!host.started()) {
        std::fprintf(stderr, "kavro-board-host did not start\n");
        return 1;
    }
    const Figures ping = pingPong(rounds);
    const Figures raw = rawLinkRoundTrips(host.port(), rounds);
    const Figures writes = confirmedWrites(host.portText(), rounds);

    std::printf("%-36s %12s %10s %10s\n", "", "per second", "p50 us", "p99 us");
    std::printf("%-36s %12.0f %10.1f %10.1f\n", "TCP ping-pong 16/17 bytes", ping.perSecond,
                ping.p50us, ping.p99us);
    std::printf("%-36s %12.0f %10.1f %10.1f\n", "board host, raw command and answer",
                raw.perSecond, raw.p50us, raw.p99us);
    std::printf("%-36s %12.0f %10.1f %10.1f\n", "confirmed iolb_write_outbit", writes.perSecond,
                writes.p50us, writes.p99us);
    std::printf("confirmed writes / ping-pong: %.2f  (%d rounds each)\n",
                writes.perSecond / ping.perSecond, rounds);
    return 0;
}
