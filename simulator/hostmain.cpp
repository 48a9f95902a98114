// kavro-board-host: simulated KAVRO network cards without a window, for scripts and tests.
// See --help.
#include "cardhost.h"
#include "hostcommands.h"
#include "scenario.h"

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

With --scenario FILE (YAML; see simulator/scenarios/example.yaml) the file names the cards
(their number, addresses, ports and MACs win over the options), what moves their inputs by
themselves (fixed levels, square waves, timed sequences, wires from outputs to inputs) and
when they fail. A scenario with an error is refused with its file, line and field, and
nothing starts.

Standard input, one command a line:
  in BIT 0|1                    set an input of card 0 (the form of a one-card host)
  in CARD BIT 0|1               set an input; this ends what drove it
  square CARD BIT PERIOD_MS [DUTY]          a square wave from now (duty 0 to 1, 0.5)
  sequence CARD BIT MS:L,MS:L,... [repeat]  levels at times from now
  wire FROM out BIT [TO] in BIT [DELAY_MS]  an input of card TO (FROM when left out)
                                follows an output of card FROM
  release CARD BIT              nothing drives the input any more; it keeps its level
  fault CARD drop               drop every client's connection
  fault CARD restart            restart the card's firmware (restart report, outputs kept)
  fault CARD refuse MS          refuse new connections for MS (0: until off)
  fault CARD silent MS          send no frame at all, heartbeats included, for MS
  fault CARD stall MS           read nothing from clients for MS
  fault CARD delay MS [FOR_MS]  send every frame MS later
  fault CARD corrupt N [FOR_MS] a wrong checksum in every Nth frame
  fault CARD duplicate N [FOR_MS]  every Nth frame twice
  fault CARD bytewise [FOR_MS]  one byte per write
  fault CARD off                end every fault of the card
  stats [CARD]                  print "stats CARD received BYTES frames N intake-max BYTES
                                clients N"
A fault prints "fault CARD NAME on" when it begins and "... off" when it ends; a frame it
touched prints "hit CARD silent|corrupt|duplicate FRAME", FRAME counting the card's frames
from 1, so that a test can tell which answers a fault hit. A line that cannot be carried out
is ignored with a message on standard error.
The host stops at the end of its input, on SIGINT or on SIGTERM; keep the input open
(tail -f /dev/null | kavro-board-host) to run it in the background.

Exit codes: 0 after a stop, 1 when the cards cannot start (port taken, address not
local), 2 on a usage error or a scenario with an error.)";

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
            const bool digits = !text.empty() && text.size() <= 5 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            return digits && std::strtol(text.c_str(), nullptr, 10) <= 65535
                       ? std::string()
                       : "not a port: " + text;
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
    std::string scenarioFile;
    app.add_option("--scenario", scenarioFile,
                   "A scenario file (YAML): the cards, what drives their inputs, their faults");
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

    kavro::sim::Scenario scenario;
    if (!scenarioFile.empty()) {
        try {
            scenario = kavro::sim::loadScenario(scenarioFile);
        } catch (const kavro::sim::ScenarioError &e) {
            std::fprintf(stderr, "kavro-board-host: %s\n", e.what());
            return 2;
        }
    }

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
    host.onFault = [](std::size_t card, kavro::sim::Fault::Kind kind, bool on) {
        printLine("fault " + std::to_string(card) + " " + kavro::sim::faultName(kind) +
                  (on ? " on" : " off"));
    };
    host.onFaultHit = [](std::size_t card, const char *what, std::uint64_t frame) {
        printLine("hit " + std::to_string(card) + " " + what + " " + std::to_string(frame));
    };
    if (const std::string error = host.open(options, scenarioFile.empty() ? nullptr : &scenario);
        !error.empty()) {
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
            asio::post(io, [&host, line] {
                const std::string error = kavro::sim::runHostCommand(host, line, printLine);
                if (!error.empty())
                    std::fprintf(stderr, "kavro-board-host: ignored: %s: %s\n", line.c_str(),
                                 error.c_str());
            });
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
