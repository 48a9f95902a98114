// The network board library and the board host, measured in one run on one machine:
//  1. confirmed output writes through the library, beside two references of the same run: a
//     plain TCP ping-pong of 16-byte requests and 17-byte replies (this machine's loopback
//     ceiling) and a libmodbus write-coil plus read-coils pair (when libmodbus is installed);
//  2. input-change latency: an input set on the host until the library's callback;
//  3. a host with 30 clients: the frames each one receives, and the host's processor time;
//  4. idle hosts of 1, 16, 64 and 256 cards with one client each: processor time and memory;
//  5. input-change latency on one card of a 64-card host;
//  6. a 10-second flood from one client: the host's memory growth, frames sent and executed.
// Prints figures and ratios; asserts nothing.
#include "hostprocess.h"
#include "kavro_iolb.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifdef KAVRO_HAVE_LIBMODBUS
#include <modbus.h>
#endif

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

// A server on 127.0.0.1 for one client, on a thread of its own: it accepts, turns Nagle off and
// hands the connection to serve. Joined when it goes out of scope.
class LoopbackServer
{
public:
    explicit LoopbackServer(std::function<void(int fd)> serve)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(m_listener, 1);
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this, serve = std::move(serve)] {
            const int c = ::accept(m_listener, nullptr, nullptr);
            if (c < 0)
                return;
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            serve(c);
            ::close(c);
        });
    }
    ~LoopbackServer()
    {
        // Wakes an accept still waiting for a client that never came.
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    unsigned short port() const { return m_port; }

private:
    int m_listener = -1;
    unsigned short m_port = 0;
    std::thread m_thread;
};

int connectTo(unsigned short port, std::uint32_t address = INADDR_LOOPBACK)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(address);
    a.sin_port = htons(port);
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

Figures pingPong(int rounds)
{
    LoopbackServer server([](int c) {
        char req[16];
        char reply[17] = {};
        while (readExactly(c, req, sizeof req))
            if (::write(c, reply, sizeof reply) != ssize_t(sizeof reply))
                break;
    });
    const unsigned short port = server.port();

    const int s = connectTo(port);
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
    return summarise(lat, seconds);
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

#ifdef KAVRO_HAVE_LIBMODBUS
// What many would use instead: a libmodbus server and client, one write-coil and one
// read-coils request per confirmed write.
Figures modbusPairs(int rounds)
{
    LoopbackServer server([](int c) {
        modbus_t *ctx = modbus_new_tcp("127.0.0.1", 502);
        modbus_mapping_t *map = modbus_mapping_new(32, 0, 0, 0);
        modbus_set_socket(ctx, c);
        std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        for (;;) {
            const int n = modbus_receive(ctx, query);
            if (n > 0)
                modbus_reply(ctx, query, n, map);
            else if (n < 0)
                break;
        }
        modbus_mapping_free(map);
        // The connection is the server's to close.
        modbus_set_socket(ctx, -1);
        modbus_free(ctx);
    });
    const unsigned short port = server.port();
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    std::vector<double> lat;
    lat.reserve(std::size_t(rounds));
    double seconds = 0;
    if (modbus_connect(ctx) == 0) {
        std::uint8_t bits[32];
        int failures = 0;
        const auto start = Clock::now();
        for (int i = 0; i < rounds; ++i) {
            const int bit = i % 32;
            const int on = (i / 32) % 2 == 0;
            const auto t0 = Clock::now();
            if (modbus_write_bit(ctx, bit, on) != 1 || modbus_read_bits(ctx, 0, 32, bits) != 32 ||
                bits[bit] != on)
                ++failures;
            lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (failures)
            std::printf("  (%d libmodbus pairs failed)\n", failures);
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return lat.empty() ? Figures{0, 0, 0} : summarise(lat, seconds);
}
#endif

// An input set on the host (through its standard input) until the library's callback shows
// it. The card scans its inputs every 6 ms, so the start of each sample is spread at random
// over that period.
Figures inputLatency(HostProcess &host, int samples, const std::string &cardPrefix = "")
{
    struct Seen
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::uint32_t in = 0;
        Clock::time_point at;
    } seen;
    const auto callback = [](void *ctx, unsigned short, unsigned short, unsigned in, unsigned,
                             unsigned, unsigned, unsigned char) {
        auto *s = static_cast<Seen *>(ctx);
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(s->mutex);
        if (s->in != in) {
            s->in = in;
            s->at = now;
            s->changed.notify_all();
        }
    };
    if (iolb_board_open(host.portText().c_str(), 1) != 0)
        return {0, 0, 0};
    iolb_board_setcallback(1, callback, &seen);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(0, 6000);
    std::vector<double> lat;
    int missed = 0;
    const auto start = Clock::now();
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        const bool on = i % 2 == 0;
        const std::uint32_t want = on ? 1u << 12 : 0u;
        const auto t0 = Clock::now();
        host.sendLine("in " + cardPrefix + "12" + (on ? " 1" : " 0"));
        std::unique_lock<std::mutex> lock(seen.mutex);
        if (!seen.changed.wait_for(lock, std::chrono::seconds(1),
                                   [&] { return seen.in == want; })) {
            ++missed;
            continue;
        }
        lat.push_back(std::chrono::duration<double, std::micro>(seen.at - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    iolb_board_setcallback(1, nullptr, nullptr);
    iolb_board_close(1);
    if (missed)
        std::printf("  (%d input changes not seen)\n", missed);
    return lat.empty() ? Figures{0, 0, 0} : summarise(lat, seconds);
}

// Processor time of a process, in seconds, from its statistics.
double cpuSeconds(const std::string &statPath)
{
    std::ifstream f(statPath);
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

struct FanOut
{
    int clients = 0;
    int commands = 0;
    long minFrames = 0;
    long maxFrames = 0;
    double seconds = 0;
    double hostCpu = 0;  // share of one processor
    double eventCpu = 0; // the host's event thread alone
};

// Thirty clients on one host: one of them switches outputs, every client receives every card
// frame. Each client counts the whole frames it gets.
FanOut thirtyClients(HostProcess &host, int commands)
{
    using namespace kavro::link;
    FanOut r;
    r.clients = 30;
    r.commands = commands;
    // All outputs off first, so that every command below changes one.
    {
        const int s = connectTo(host.port());
        for (const auto &cmd : {CommandFrame::make(Command::WriteOutWord, 0, 0, 0),
                                CommandFrame::make(Command::ReadGroup)}) {
            const auto wire = cmd.encode();
            [[maybe_unused]] auto n = ::write(s, wire.data(), wire.size());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(s);
    }
    std::vector<int> fds;
    for (int i = 0; i < r.clients; ++i) {
        const int fd = connectTo(host.port());
        if (fd < 0)
            break;
        fds.push_back(fd);
    }
    if (int(fds.size()) != r.clients) {
        for (int fd : fds)
            ::close(fd);
        r.clients = int(fds.size());
        return r;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // all accepted
    std::vector<long> frames(fds.size(), 0);
    std::vector<CardFrameReader> readers(fds.size());
    std::atomic<bool> done{false};
    std::thread reader([&] {
        std::vector<pollfd> p;
        for (int fd : fds)
            p.push_back({fd, POLLIN, 0});
        std::uint8_t buf[4096];
        while (!done) {
            if (::poll(p.data(), p.size(), 50) <= 0)
                continue;
            for (std::size_t i = 0; i < p.size(); ++i) {
                if (!(p[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                if (n > 0)
                    readers[i].feed(buf, std::size_t(n), [&](const CardFrame &) { ++frames[i]; });
            }
        }
    });
    // The sender paces itself on its own answers, as a client waiting for confirmations does.
    const int sender = connectTo(host.port());
    CardFrameReader senderReader;
    const std::string proc = "/proc/" + std::to_string(host.pid());
    const std::string eventThread = proc + "/task/" + std::to_string(host.pid()) + "/stat";
    const double cpu0 = cpuSeconds(proc + "/stat");
    const double event0 = cpuSeconds(eventThread);
    const auto start = Clock::now();
    std::uint8_t buf[256];
    for (int i = 0; i < commands; ++i) {
        const auto cmd = CommandFrame::make(i % 2 ? Command::ClearOutBit : Command::SetOutBit, 0,
                                            std::uint32_t((i / 2) % 32));
        const auto wire = cmd.encode();
        if (::write(sender, wire.data(), wire.size()) != ssize_t(wire.size()))
            break;
        bool got = false;
        while (!got) {
            pollfd pfd{sender, POLLIN, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                break;
            const ssize_t n = ::read(sender, buf, sizeof buf);
            if (n <= 0)
                break;
            senderReader.feed(buf, std::size_t(n), [&](const CardFrame &) { got = true; });
        }
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.hostCpu = (cpuSeconds(proc + "/stat") - cpu0) / r.seconds;
    r.eventCpu = (cpuSeconds(eventThread) - event0) / r.seconds;
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the last frames arrive
    done = true;
    reader.join();
    ::close(sender);
    for (int fd : fds)
        ::close(fd);
    r.minFrames = *std::min_element(frames.begin(), frames.end());
    r.maxFrames = *std::max_element(frames.begin(), frames.end());
    return r;
}

} // namespace

long residentKb(pid_t pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

std::string statPath(pid_t pid)
{
    return "/proc/" + std::to_string(pid) + "/stat";
}

// A host of n cards, card i on 127.0.0.1 + i, and one connected client per card.
struct CardsHost
{
    explicit CardsHost(int n) : host(0, false, {"--cards", std::to_string(n)})
    {
        if (!host.started())
            return;
        ports.push_back(host.port());
        for (int i = 1; i < n; ++i) {
            const std::string line = host.waitForLineStarting("listening ");
            ports.push_back(
                static_cast<unsigned short>(std::atoi(line.substr(line.rfind(':') + 1).c_str())));
        }
        for (int i = 0; i < n; ++i) {
            const int fd = connectTo(ports[std::size_t(i)], INADDR_LOOPBACK + std::uint32_t(i));
            if (fd >= 0)
                clients.push_back(fd);
        }
    }
    ~CardsHost()
    {
        for (int fd : clients)
            ::close(fd);
    }
    HostProcess host;
    std::vector<unsigned short> ports;
    std::vector<int> clients;
};

struct IdleFigures
{
    int cards = 0;
    int clients = 0;
    double cpuShare = 0;
    long residentKb = 0;
};

IdleFigures idleHost(int cards, double seconds)
{
    CardsHost h(cards);
    IdleFigures f;
    f.cards = cards;
    f.clients = int(h.clients.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu0 = cpuSeconds(statPath(h.host.pid()));
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    f.cpuShare = (cpuSeconds(statPath(h.host.pid())) - cpu0) / wall;
    f.residentKb = residentKb(h.host.pid());
    return f;
}

struct FloodFigures
{
    long sent = 0;
    long answered = 0;
    long executed = 0;
    long growthKb = 0;
    long peakGrowthKb = 0;
};

// One client sends read commands as fast as the card takes them and reads its answers, for
// the given time; then it waits for every answer. Each executed command is answered by
// exactly one read-back.
FloodFigures flood(double seconds)
{
    using namespace kavro::link;
    FloodFigures f;
    HostProcess host;
    const int fd = connectTo(host.port());
    if (!host.started() || fd < 0)
        return f;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long before = residentKb(host.pid());
    CardFrameReader reader;
    std::vector<std::uint8_t> out;
    std::size_t outAt = 0;
    char in[65536];
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    auto lastSample = Clock::now();
    std::uint32_t word = 0;
    bool sending = true;
    auto quietSince = Clock::now();
    for (;;) {
        const auto now = Clock::now();
        if (sending && now >= end)
            sending = false;
        if (!sending && f.answered >= f.sent)
            break;
        if (!sending && now - quietSince > std::chrono::seconds(3))
            break; // answers missing
        if (sending && outAt == out.size()) {
            out.clear();
            outAt = 0;
            for (int i = 0; i < 256; ++i) {
                const auto w =
                    CommandFrame::make(Command::ReadGroup, 0, 0, 0, std::uint8_t(++word)).encode();
                out.insert(out.end(), w.begin(), w.end());
            }
        }
        pollfd p{fd, short(POLLIN | (sending && outAt < out.size() ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        if (p.revents & POLLOUT) {
            const ssize_t n = ::send(fd, out.data() + outAt, out.size() - outAt, MSG_DONTWAIT);
            if (n > 0) {
                // Whole frames only count as sent.
                const std::size_t before16 = outAt / 16;
                outAt += std::size_t(n);
                f.sent += long(outAt / 16 - before16);
            }
        }
        if (p.revents & POLLIN) {
            const ssize_t n = ::recv(fd, in, sizeof in, MSG_DONTWAIT);
            if (n <= 0)
                break;
            reader.feed(reinterpret_cast<const std::uint8_t *>(in), std::size_t(n),
                        [&](const CardFrame &frame) {
                            if (frame.kind() == CardFrameKind::GroupReport) {
                                ++f.answered;
                                quietSince = Clock::now();
                            }
                        });
        }
        if (now - lastSample > std::chrono::milliseconds(200)) {
            lastSample = now;
            f.peakGrowthKb = std::max(f.peakGrowthKb, residentKb(host.pid()) - before);
        }
    }
    // An unfinished frame at the end was never a command.
    f.growthKb = residentKb(host.pid()) - before;
    f.peakGrowthKb = std::max(f.peakGrowthKb, f.growthKb);
    host.sendLine("stats 0");
    const std::string stats = host.waitForLineStarting("stats 0 ", std::chrono::seconds(10));
    const auto at = stats.find("received ");
    if (at != std::string::npos)
        f.executed = std::atol(stats.c_str() + at + 9) / 16;
    ::close(fd);
    return f;
}

void printFlood(double seconds)
{
    std::printf("\n== 6. one client floods one card for %.0f s ==\n", seconds);
    const FloodFigures f = flood(seconds);
    std::printf("frames sent %ld, executed %ld, answered %ld (%s)\n", f.sent, f.executed,
                f.answered,
                f.sent == f.executed && f.sent == f.answered ? "none lost" : "MISMATCH");
    std::printf("host memory growth: %.1f MB at the end, %.1f MB at most\n",
                double(f.growthKb) / 1024, double(f.peakGrowthKb) / 1024);
}

int main(int argc, char **argv)
{
    // "flood SECONDS" runs the last part alone.
    if (argc > 2 && std::string(argv[1]) == "flood") {
        printFlood(std::atof(argv[2]));
        return 0;
    }
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
    HostProcess host;
    if (!host.started()) {
        std::fprintf(stderr, "kavro-board-host did not start\n");
        return 1;
    }
    const auto row = [](const char *name, const Figures &f) {
        std::printf("%-40s %12.0f %10.1f %10.1f\n", name, f.perSecond, f.p50us, f.p99us);
    };

    std::printf("== 1. confirmed output writes (%d rounds each) ==\n", rounds);
    const Figures ping = pingPong(rounds);
    const Figures raw = rawLinkRoundTrips(host.port(), rounds);
    const Figures writes = confirmedWrites(host.portText(), rounds);
    std::printf("%-40s %12s %10s %10s\n", "", "per second", "p50 us", "p99 us");
    row("TCP ping-pong 16/17 bytes", ping);
#ifdef KAVRO_HAVE_LIBMODBUS
    const Figures modbus = modbusPairs(rounds);
    row("libmodbus write-coil + read-coils", modbus);
#endif
    row("board host, raw command and answer", raw);
    row("confirmed iolb_write_outbit", writes);
    std::printf("confirmed writes / ping-pong:        %.2f\n", writes.perSecond / ping.perSecond);
#ifdef KAVRO_HAVE_LIBMODBUS
    if (modbus.perSecond > 0)
        std::printf("confirmed writes / libmodbus pairs:  %.2f\n",
                    writes.perSecond / modbus.perSecond);
#else
    std::printf("(libmodbus not installed: no libmodbus reference)\n");
#endif

    std::printf("\n== 2. input-change latency, host input to library callback ==\n");
    const Figures input = inputLatency(host, 300);
    std::printf("p50 %.2f ms, p99 %.2f ms (input scan every 6 ms; 300 changes)\n",
                input.p50us / 1000, input.p99us / 1000);

    std::printf("\n== 3. one host, 30 clients ==\n");
    const FanOut fan = thirtyClients(host, 2000);
    if (fan.clients < 30) {
        std::printf("only %d clients connected\n", fan.clients);
        return 1;
    }
    std::printf("%d commands in %.2f s: every client received %ld to %ld frames (%s)\n",
                fan.commands, fan.seconds, fan.minFrames, fan.maxFrames,
                fan.minFrames == fan.maxFrames && fan.minFrames >= fan.commands ? "none lost"
                                                                                : "LOST FRAMES");
    std::printf("host processor time: %.0f%% of one core, of which %.0f%% on its event thread\n",
                fan.hostCpu * 100, fan.eventCpu * 100);

    std::printf("\n== 4. idle hosts, one client on each card, 10 s each ==\n");
    std::printf("%8s %8s %14s %12s\n", "cards", "clients", "cpu % of core", "memory MB");
    long oneCardKb = 0;
    for (int cards : {1, 16, 64, 256}) {
        const IdleFigures f = idleHost(cards, 10.0);
        if (cards == 1)
            oneCardKb = f.residentKb;
        std::printf("%8d %8d %14.2f %12.1f", f.cards, f.clients, f.cpuShare * 100,
                    double(f.residentKb) / 1024);
        if (cards > 1)
            std::printf("   (%.1f KB per card beyond the first)",
                        double(f.residentKb - oneCardKb) / double(cards - 1));
        std::printf("\n");
    }

    std::printf("\n== 5. input-change latency on card 0 of a 64-card host ==\n");
    {
        CardsHost many(64);
        const Figures f = inputLatency(many.host, 300, "0 ");
        std::printf("p50 %.2f ms, p99 %.2f ms (%zu clients connected; input scan every 6 ms)\n",
                    f.p50us / 1000, f.p99us / 1000, many.clients.size());
    }

    std::printf("\n== 6. one client floods one card for 10 s ==\n");
    const FloodFigures f = flood(10.0);
    std::printf("frames sent %ld, executed %ld, answered %ld (%s)\n", f.sent, f.executed,
                f.answered,
                f.sent == f.executed && f.sent == f.answered ? "none lost" : "MISMATCH");
    std::printf("host memory growth: %.1f MB at the end, %.1f MB at most\n",
                double(f.growthKb) / 1024, double(f.peakGrowthKb) / 1024);
    return 0;
}
