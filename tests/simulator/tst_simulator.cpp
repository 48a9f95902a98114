// The simulator as a library: a CardHost runs its context on a thread of its own and is reached
// only by posting to it; board-link and UDP clients run on the test's own context. All traffic
// stays on loopback addresses, and every port is picked by the system.
#include "discovery/inforeply.h"
#include "discovery/protocol.h"
#include "simtestsupport.h"

#include <algorithm>
#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using asio::ip::make_address;
using asio::ip::tcp;
using asio::ip::udp;
using kavro::link::CardFrame;
using kavro::link::Command;
using kavro::link::CommandFrame;
using kavro::sim::CardHost;
using kavro::sim::HostOptions;
using kavro::sim::SimCard;
using kavro::simtest::append;
using kavro::simtest::HostThread;
using kavro::simtest::kTimeout;
using kavro::simtest::LinkClient;
using kavro::simtest::loopbackHost;
using kavro::simtest::runUntil;
using kavro::simtest::writeWord;

namespace {

class UdpClient
{
public:
    explicit UdpClient(asio::io_context &io) : socket_(io, {make_address("127.0.0.1"), 0})
    {
        receive();
    }
    void send(const std::string &text, std::uint16_t port)
    {
        socket_.send_to(asio::buffer(text), {make_address("127.0.0.1"), port});
    }
    std::vector<std::string> replies;

private:
    void receive()
    {
        socket_.async_receive_from(asio::buffer(buffer_), sender_,
                                   [this](const std::error_code &ec, std::size_t n) {
                                       if (ec == asio::error::operation_aborted)
                                           return;
                                       if (!ec)
                                           replies.emplace_back(buffer_.data(), n);
                                       receive();
                                   });
    }
    udp::socket socket_;
    udp::endpoint sender_;
    std::array<char, 2048> buffer_{};
};

// Counted reports must carry the output words 1..last in order, each with the sequence after
// the one before: 1, 2, ... 255, then 1 again, never 0.
::testing::AssertionResult countsOneTo(const std::vector<CardFrame> &counted, std::uint32_t last)
{
    std::uint8_t sequence = 0;
    for (std::size_t i = 0; i < counted.size(); ++i) {
        sequence = sequence == 255 ? 1 : std::uint8_t(sequence + 1);
        if (counted[i].outputWord() != i + 1 || counted[i].sequence != sequence)
            return ::testing::AssertionFailure()
                   << "report " << i << " has word " << counted[i].outputWord() << " sequence "
                   << int(counted[i].sequence) << ", expected " << i + 1 << " and "
                   << int(sequence);
    }
    if (counted.size() != last)
        return ::testing::AssertionFailure()
               << counted.size() << " counted reports for " << last << " words";
    return ::testing::AssertionSuccess();
}

TEST(SimulatorLink, BurstIsExecutedWholeAndInOrder)
{
    HostThread host;
    ASSERT_EQ(host.open(loopbackHost(1)), "");
    asio::io_context io;
    LinkClient client(io);
    client.connect(host.endpoint(0));

    constexpr std::uint32_t kFrames = 16000;
    std::vector<std::uint8_t> burst;
    for (std::uint32_t w = 1; w <= kFrames; ++w)
        append(burst, writeWord(w));
    ASSERT_EQ(burst.size(), 256000u);
    client.send(burst);

    ASSERT_TRUE(runUntil(
        io,
        [&] { return !client.counted.empty() && client.counted.back().outputWord() == kFrames; }))
        << client.counted.size() << " reports";
    EXPECT_TRUE(countsOneTo(client.counted, kFrames));
    EXPECT_TRUE(client.readBacks.empty());

    struct Stats
    {
        std::uint64_t received, highWater;
        std::uint32_t outputs;
    };
    const Stats s = host.call([](CardHost &h) {
        const SimCard &card = h.card(0).sim;
        return Stats{card.bytesReceived(), card.intakeHighWater(), card.outputs()};
    });
    EXPECT_EQ(s.received, 256000u);
    EXPECT_GT(s.highWater, 0u);
    EXPECT_LE(s.highWater, SimCard::IntakeBound);
    EXPECT_EQ(s.outputs, kFrames);
}

// TCP may split a client's frame anywhere; another client's frame arriving in the gap must not
// cost either of them.
TEST(SimulatorLink, FrameSplitAcrossReadsSurvivesAnotherClientsFrame)
{
    HostThread host;
    ASSERT_EQ(host.open(loopbackHost(1)), "");
    const tcp::endpoint at = host.endpoint(0);
    asio::io_context io;
    LinkClient first(io);
    LinkClient second(io);
    first.connect(at);
    second.connect(at);
    ASSERT_TRUE(runUntil(io, [&] { return host.clients(0) == 2; }));

    const auto frame = writeWord(0x11110000u).encode();
    first.send(std::vector<std::uint8_t>(frame.begin(), frame.begin() + 8));
    // Two answered reads later the card's server has long taken the first half.
    for (std::size_t n = 1; n <= 2; ++n) {
        second.send(CommandFrame::make(Command::ReadGroup));
        ASSERT_TRUE(runUntil(io, [&] { return second.readBacks.size() == n; }));
    }
    first.send(std::vector<std::uint8_t>(frame.begin() + 8, frame.end()));
    ASSERT_TRUE(runUntil(io, [&] { return !first.counted.empty(); }));
    EXPECT_EQ(first.counted[0].outputWord(), 0x11110000u);
}

TEST(SimulatorLink, FloodIsHeldBackInTcpWhileAnotherClientIsAnswered)
{
    HostThread host;
    ASSERT_EQ(host.open(loopbackHost(1)), "");
    const tcp::endpoint at = host.endpoint(0);
    asio::io_context io;
    LinkClient watcher(io);
    LinkClient flooder(io);
    watcher.connect(at);
    flooder.connect(at, false);
    // The watcher must be there for the flood's first report.
    ASSERT_TRUE(runUntil(io, [&] { return host.clients(0) == 2; }));

    std::uint32_t nextWord = 1;
    flooder.flood([&nextWord](std::vector<std::uint8_t> &out) {
        for (int i = 0; i < 4096; ++i)
            append(out, writeWord(nextWord++));
    });
    ASSERT_TRUE(runUntil(io, [&] { return watcher.counted.size() >= 1000; }));
    watcher.send(CommandFrame::make(Command::ReadGroup));
    ASSERT_TRUE(runUntil(
        io, [&] { return !watcher.readBacks.empty(); }, 10s));

    struct Stats
    {
        std::uint64_t received, highWater, dropped;
        std::uint32_t outputWord;
        std::size_t clients;
    };
    const auto stats = [&host] {
        return host.call([](CardHost &h) {
            const auto &c = h.card(0);
            return Stats{c.sim.bytesReceived(), c.sim.intakeHighWater(), c.server.clientsDropped(),
                         c.sim.engine().outputWord(), c.server.clientCount()};
        });
    };
    // Held back: the card stops taking bytes while the flooder still waits to write more.
    Stats s = stats();
    int quietRounds = 0;
    for (const auto deadline = std::chrono::steady_clock::now() + kTimeout;
         quietRounds < 5 && std::chrono::steady_clock::now() < deadline;) {
        io.restart();
        io.run_for(100ms);
        const Stats now = stats();
        quietRounds = now.received == s.received && flooder.writePending() ? quietRounds + 1 : 0;
        s = now;
    }
    ASSERT_EQ(quietRounds, 5) << "the card kept taking the flood: " << s.received << " bytes";
    EXPECT_LT(s.received, flooder.accepted) << "nothing waits in TCP";
    EXPECT_LE(s.highWater, SimCard::IntakeBound);
    EXPECT_EQ(s.dropped, 0u);
    EXPECT_EQ(s.clients, 2u);

    // Nothing read was lost: besides the watcher's one frame, every 16 bytes the card took are
    // a command it carried out, each with its own report.
    const auto executed = std::uint32_t((s.received - 16) / 16);
    EXPECT_EQ(s.outputWord, executed);
    ASSERT_TRUE(runUntil(io, [&] {
        return !watcher.counted.empty() && watcher.counted.back().outputWord() == s.outputWord;
    }));
    EXPECT_TRUE(countsOneTo(watcher.counted, s.outputWord));

    // The flooder leaves; the card serves a newcomer as before.
    flooder.close();
    ASSERT_TRUE(runUntil(io, [&] { return host.clients(0) == 1; }));
    LinkClient late(io);
    late.connect(at);
    late.send(writeWord(0xC0DE0000u));
    ASSERT_TRUE(runUntil(io, [&] {
        return !late.counted.empty() && late.counted.back().outputWord() == 0xC0DE0000u;
    }));
}

class SixtyFourCards : public ::testing::Test
{
protected:
    static constexpr int kCards = 64;

    void SetUp() override { ASSERT_EQ(host.open(loopbackHost(kCards, true)), ""); }

    static std::string addressOf(int card) { return "127.0.0." + std::to_string(card + 1); }

    // The discovery replies by IP, after one request.
    std::map<std::string, kavro::discovery::InfoReply> discover(UdpClient &udp, std::uint16_t port)
    {
        std::map<std::string, kavro::discovery::InfoReply> byIp;
        udp.replies.clear();
        udp.send(std::string(kavro::discovery::kDiscoveryRequest), port);
        const auto infos = [&udp] {
            return std::count_if(udp.replies.begin(), udp.replies.end(), [](const std::string &r) {
                return kavro::discovery::parseInfoReply(r).has_value();
            });
        };
        EXPECT_TRUE(runUntil(io, [&] { return infos() >= kCards; }));
        // A reply too many would already be waiting.
        io.restart();
        io.poll();
        EXPECT_EQ(infos(), kCards);
        for (const std::string &r : udp.replies)
            if (const auto info = kavro::discovery::parseInfoReply(r))
                byIp[info->ip] = *info;
        return byIp;
    }

    HostThread host;
    asio::io_context io;
};

TEST_F(SixtyFourCards, EachCardOnItsOwnAddressAndACommandReachesOnlyItsCard)
{
    for (int i = 0; i < kCards; ++i)
        EXPECT_EQ(host.endpoint(std::size_t(i)).address().to_string(), addressOf(i));

    LinkClient five(io);
    LinkClient six(io);
    five.connect(host.endpoint(5));
    six.connect(host.endpoint(6));
    ASSERT_TRUE(runUntil(io, [&] { return host.clients(5) == 1 && host.clients(6) == 1; }));

    five.send(writeWord(0x5A5A0005u));
    ASSERT_TRUE(runUntil(io, [&] { return !five.counted.empty(); }));
    EXPECT_EQ(five.counted.back().outputWord(), 0x5A5A0005u);
    // Card 6's answer to a read comes after anything the write could have caused there.
    six.send(CommandFrame::make(Command::ReadGroup));
    ASSERT_TRUE(runUntil(io, [&] { return !six.readBacks.empty(); }));
    EXPECT_TRUE(six.counted.empty());
    EXPECT_EQ(six.readBacks.back().outputWord(), 0u);

    const auto outputs = host.call([](CardHost &h) {
        std::vector<std::uint32_t> words;
        for (std::size_t i = 0; i < h.cardCount(); ++i)
            words.push_back(h.card(i).sim.outputs());
        return words;
    });
    for (int i = 0; i < kCards; ++i)
        EXPECT_EQ(outputs[std::size_t(i)], i == 5 ? 0x5A5A0005u : 0u) << "card " << i;
}

TEST_F(SixtyFourCards, DiscoveryAnswersForEveryCardAndASetCommandReachesOne)
{
    const auto port = host.call([](CardHost &h) { return h.responder().port(); });
    ASSERT_NE(port, 0);
    UdpClient udp(io);

    auto byIp = discover(udp, port);
    std::set<std::string> ips;
    std::set<std::string> macs;
    for (const auto &[ip, info] : byIp) {
        ips.insert(ip);
        macs.insert(info.mac);
        EXPECT_EQ(info.gateway, "127.0.0.1") << ip;
    }
    std::set<std::string> expected;
    for (int i = 0; i < kCards; ++i)
        expected.insert(addressOf(i));
    EXPECT_EQ(ips, expected);
    EXPECT_EQ(macs.size(), std::size_t(kCards));

    const std::string mac = host.call([](CardHost &h) { return h.card(7).identity.mac; });
    EXPECT_EQ(byIp[addressOf(7)].mac, mac);
    udp.send("CMD:SET_GATEWAY;" + mac + ";10.0.7.254", port);
    // The set's replies come before those of the discovery sent after it.
    byIp = discover(udp, port);
    const auto setReplies =
        std::count_if(udp.replies.begin(), udp.replies.end(),
                      [](const std::string &r) { return r.rfind("RESP:SET_GATEWAY", 0) == 0; });
    EXPECT_EQ(setReplies, 1);
    EXPECT_NE(std::find(udp.replies.begin(), udp.replies.end(),
                        "RESP:SET_GATEWAY;" + mac + ";10.0.7.254;SUCCESS"),
              udp.replies.end());
    ASSERT_EQ(byIp.size(), std::size_t(kCards));
    for (int i = 0; i < kCards; ++i)
        EXPECT_EQ(byIp[addressOf(i)].gateway, i == 7 ? "10.0.7.254" : "127.0.0.1") << "card " << i;
}

// Every refused start names its problem, leaves no card and no responder, and lets go of every
// port it had already listened on.
TEST(SimulatorHost, RefusedStartNamesTheProblemAndLeavesNothingListening)
{
    asio::io_context io;
    tcp::acceptor taken(io, {make_address("127.0.0.3"), 0}, false);
    const std::uint16_t takenPort = taken.local_endpoint().port();
    udp::socket takenUdp(io, {make_address("127.0.0.1"), 0});
    const std::uint16_t takenUdpPort = takenUdp.local_endpoint().port();
    // Where the UDP rows' one card listens before the responder fails: a port known in use
    // elsewhere, so no one else holds it here.
    const tcp::endpoint udpRowCard{make_address("127.0.0.9"), takenPort};

    struct Row
    {
        const char *name;
        HostOptions options;
        std::string names;
        std::vector<tcp::endpoint> released;
    };
    const auto options = [](auto change) {
        HostOptions o = loopbackHost(1);
        change(o);
        return o;
    };
    const std::vector<Row> rows = {
        {"port taken at card 2",
         options([&](HostOptions &o) {
             o.cards = 3;
             o.port = takenPort;
         }),
         "127.0.0.3:" + std::to_string(takenPort),
         {{make_address("127.0.0.1"), takenPort}, {make_address("127.0.0.2"), takenPort}}},
        {"address of three numbers",
         options([](HostOptions &o) { o.address = "1.2.3"; }),
         "not an IPv4 address: 1.2.3",
         {}},
        {"IPv6 address",
         options([](HostOptions &o) { o.address = "::1"; }),
         "not an IPv4 address: ::1",
         {}},
        {"no cards", options([](HostOptions &o) { o.cards = 0; }), "not 0", {}},
        {"too many cards", options([](HostOptions &o) { o.cards = 1025; }), "not 1025", {}},
        {"consecutive ports past 65535",
         options([](HostOptions &o) {
             o.cards = 7;
             o.port = 65530;
             o.consecutivePorts = true;
         }),
         "65530 to 65536",
         {}},
        {"addresses run out",
         options([](HostOptions &o) {
             o.address = "255.255.255.250";
             o.cards = 7;
         }),
         "run out",
         {}},
        {"UDP port taken",
         options([&](HostOptions &o) {
             o.address = udpRowCard.address().to_string();
             o.port = takenPort;
             o.udp = true;
             o.udpPort = takenUdpPort;
         }),
         "port " + std::to_string(takenUdpPort),
         {udpRowCard}},
        {"UDP address no address",
         options([&](HostOptions &o) {
             o.address = udpRowCard.address().to_string();
             o.port = takenPort;
             o.udp = true;
             o.udpAddress = "nowhere";
         }),
         "nowhere",
         {udpRowCard}},
    };

    CardHost host;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string error = host.open(row.options);
        EXPECT_NE(error.find(row.names), std::string::npos) << error;
        EXPECT_EQ(host.cardCount(), 0u);
        EXPECT_FALSE(host.responder().running());
        for (const tcp::endpoint &at : row.released) {
            tcp::acceptor probe(io);
            std::error_code ec;
            probe.open(at.protocol(), ec);
            if (!ec)
                probe.bind(at, ec);
            if (!ec)
                probe.listen(1, ec);
            EXPECT_FALSE(ec) << at << " still held: " << ec.message();
        }
    }
    // Nothing is left half open either: the same host starts as asked.
    EXPECT_EQ(host.open(loopbackHost(2, true)), "");
    EXPECT_EQ(host.cardCount(), 2u);
    EXPECT_TRUE(host.responder().running());
}

} // namespace
