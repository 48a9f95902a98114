// kavro-board-host: simulated KAVRO network cards without a window, for scripts and tests.
// See --help.
#include "cardhost.h"

#include <CLI/CLI.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

using kavro::sim::CardHost;
using kavro::sim::HostOptions;

const char *const kDescription = R"(A simulated KAVRO network card, or many, without a window.

Each card speaks the board link over TCP and runs the card's firmware on events, so an idle
card costs almost nothing. Card i listens on the address plus i (127.0.0.1, 127.0.0.2, ...)
at the same port, so that every card keeps the testers' default port 8088; with
--consecutive-ports all cards listen on one address at port, port + 1, ... One UDP responder
answers the configuration protocol for all cards: a discovery request is answered once per
card, a set command reaches the card whose MAC it names. Each card has its own MAC, its
listening address as IP, mask 255.255.255.0 and its address with the last number 1 as
gateway.

Standard output, once the cards listen: "listening ADDRESS:PORT" for each card in order,
then "udp ADDRESS:PORT" when the responder runs; then a line for every output change:
"out BIT 0|1" in a one-card host, "out CARD BIT 0|1" with more cards.

Standard input, one command a line:
  in BIT 0|1          set an input of card 0 (the form of a one-card host)
  in CARD BIT 0|1     set an input of a card
  stats [CARD]        print "stats CARD received BYTES frames N intake-max BYTES clients N"
The host stops at the end of its input, on SIGINT or on SIGTERM; keep the input open
(tail -f /dev/null | kavro-board-host) to run it in the background.

Exit codes: 0 after a stop, 1 when the cards cannot start (port taken, address not
local), 2 on a usage error.)";

asio::io_context *outputContext = nullptr;
bool flushPosted = false;

// Lines leave at the end of the round of events that made them: a burst of output changes
// costs one write, not one each.
void printLine(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    if (!outputContext) {
        std::fflush(stdout);
        return;
    }
    if (!flushPosted) {
        flushPosted = true;
        asio::post(*outputContext, [] {
            flushPosted = false;
            std::fflush(stdout);
        });
    }
}

std::string hex(const std::uint8_t *data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (i)
            out += ' ';
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

bool parseLevel(const std::string &text, bool &on)
{
    if (text != "0" && text != "1")
        return false;
    on = text == "1";
    return true;
}

bool parseNumber(const std::string &text, long limit, long &value)
{
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value <= limit;
}

void printStats(CardHost &host, std::size_t i)
{
    auto &c = host.card(i);
    printLine("stats " + std::to_string(i) + " received " + std::to_string(c.sim.bytesReceived()) +
              " frames " + std::to_string(c.sim.framesSent()) + " intake-max " +
              std::to_string(c.sim.intakeHighWater()) + " clients " +
              std::to_string(c.server.clientCount()));
}

void handleLine(CardHost &host, const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    if (words.empty())
        return;
    const long lastCard = long(host.cardCount()) - 1;
    long card = 0;
    long bit = 0;
    bool on = false;
    if (words[0] == "in" && words.size() == 3 && parseNumber(words[1], 31, bit) &&
        parseLevel(words[2], on)) {
        host.card(0).sim.setInput(int(bit), on);
        return;
    }
    if (words[0] == "in" && words.size() == 4 && parseNumber(words[1], lastCard, card) &&
        parseNumber(words[2], 31, bit) && parseLevel(words[3], on)) {
        host.card(std::size_t(card)).sim.setInput(int(bit), on);
        return;
    }
    if (words[0] == "stats" && words.size() <= 2) {
        if (words.size() == 2) {
            if (parseNumber(words[1], lastCard, card)) {
                printStats(host, std::size_t(card));
                return;
            }
        } else {
            for (std::size_t i = 0; i < host.cardCount(); ++i)
                printStats(host, i);
            return;
        }
    }
    std::fprintf(stderr, "kavro-board-host: ignored: %s\n", line.c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    HostOptions options;
    std::string portText = std::to_string(kavro::link::kDefaultLinkPort);
    std::string udpPortText = std::to_string(kavro::discovery::kDiscoveryPort);
    bool noUdp = false;
    bool verbose = false;
    CLI::App app{kDescription, "kavro-board-host"};
    app.add_option("--cards", options.cards, "Number of cards, 1 to 1024")
        ->check(CLI::Range(1, HostOptions::MaxCards));
    app.add_option("--address", options.address, "IPv4 address of card 0")->capture_default_str();
    const CLI::Validator portNumber(
        [](std::string &text) -> std::string {
            long value = 0;
            return parseNumber(text, 65535, value) ? std::string() : "not a port: " + text;
        },
        "PORT");
    app.add_option("--port", portText, "TCP port; 0 lets each card pick a free one")
        ->check(portNumber)
        ->capture_default_str();
    app.add_flag("--consecutive-ports", options.consecutivePorts,
                 "All cards on one address, at port, port + 1, ...");
    app.add_flag("--no-udp", noUdp, "Do not answer the UDP configuration protocol");
    app.add_option("--udp-port", udpPortText, "UDP port of the configuration protocol")
        ->check(portNumber)
        ->capture_default_str();
    app.add_flag("--verbose", verbose, "Log clients and every frame to standard error");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    options.udp = !noUdp;
#ifndef _WIN32
    // Every card is a listener and each client a socket: take all the handles we may.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
#endif
    options.port = std::uint16_t(std::strtol(portText.c_str(), nullptr, 10));
    options.udpPort = std::uint16_t(std::strtol(udpPortText.c_str(), nullptr, 10));

    CardHost host;
    // Before anything listens, so that a stop asked for at once is a clean one.
    asio::signal_set signals(host.context(), SIGINT, SIGTERM);
    signals.async_wait([&host](const std::error_code &, int) { host.context().stop(); });

    host.onOutput = [&host](std::size_t card, int bit, bool on) {
        if (host.cardCount() == 1)
            printLine("out " + std::to_string(bit) + (on ? " 1" : " 0"));
        else
            printLine("out " + std::to_string(card) + " " + std::to_string(bit) +
                      (on ? " 1" : " 0"));
    };
    if (const std::string error = host.open(options); !error.empty()) {
        std::fprintf(stderr, "kavro-board-host: %s\n", error.c_str());
        return 1;
    }
    for (std::size_t i = 0; i < host.cardCount(); ++i) {
        auto &card = host.card(i);
        const auto at = card.server.endpoint();
        printLine("listening " + at.address().to_string() + ":" + std::to_string(at.port()));
        if (verbose) {
            card.sim.onFrame = [&card, i](const kavro::link::CardWireFrame &f) {
                std::fprintf(stderr, "card %zu sent %s\n", i, hex(f.data(), f.size()).c_str());
                card.server.broadcast(f);
            };
        }
    }
    if (host.responder().running())
        printLine("udp " + options.udpAddress + ":" + std::to_string(host.responder().port()));

    asio::io_context &io = host.context();
    outputContext = &io;

    // Standard input is read on a thread of its own; each line reaches the cards posted.
    std::thread reader([&io, &host] {
        std::string line;
        while (std::getline(std::cin, line))
            asio::post(io, [&host, line] { handleLine(host, line); });
        asio::post(io, [&io] { io.stop(); });
    });
    reader.detach();

    io.run();
    host.close();
    // The input reader may still sit in a blocking read; end here, without tearing down
    // objects it could still post to.
    std::fflush(stdout);
    std::_Exit(0);
}
