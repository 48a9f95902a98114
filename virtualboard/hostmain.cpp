// kavro-board-host: one simulated network card without a window, for scripts and tests.
//   kavro-board-host [--address A] [--port P] [--no-udp] [--verbose]
// Prints "listening A:P" once it listens, reads "in <bit> <0|1>" lines from standard input
// and prints "out <bit> <0|1>" for every output change. Ends on end of input, SIGINT or
// SIGTERM.
#include "boardhost.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTextStream>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

void printLine(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavro-board-host"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A simulated KAVRO network card."));
    parser.addHelpOption();
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Address to listen on."),
                                           QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port; 0 picks a free one."),
                                        QStringLiteral("port"), QStringLiteral("8088"));
    const QCommandLineOption noUdpOption(QStringLiteral("no-udp"),
                                         QStringLiteral("Do not answer UDP configuration."));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Log every frame and client to standard error."));
    parser.addOptions({addressOption, portOption, noUdpOption, verboseOption});
    parser.process(app);
    if (!parser.isSet(verboseOption)) {
        // The link's log has a line per frame; a host under load keeps quiet.
        QLoggingCategory::setFilterRules(QStringLiteral("kavro.board.debug=false"));
    }

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk, 10);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "kavro-board-host: not a port: %s\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char c;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &c, 1);
        QCoreApplication::quit();
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    BoardHost host;
    QObject::connect(&host, &BoardHost::outputChanged, &app, [](int bit, bool on) {
        printLine(QStringLiteral("out %1 %2").arg(bit).arg(on ? 1 : 0));
    });

    const QString address = parser.value(addressOption);
    if (!host.open(address, quint16(port), !parser.isSet(noUdpOption))) {
        std::fprintf(stderr, "kavro-board-host: cannot listen on %s:%u\n", qPrintable(address),
                     port);
        return 1;
    }
    printLine(QStringLiteral("listening %1:%2").arg(address).arg(host.port()));

    // Standard input is read on a thread of its own; each line reaches the host queued.
    std::thread reader([&host] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const QString text = QString::fromStdString(line).trimmed();
            QMetaObject::invokeMethod(&host, [&host, text] {
                const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                bool bitOk = false;
                const int bit = parts.value(1).toInt(&bitOk);
                const QString level = parts.value(2);
                if (parts.size() == 3 && parts[0] == QLatin1String("in") && bitOk && bit >= 0 &&
                    bit < 32 && (level == QLatin1String("0") || level == QLatin1String("1")))
                    host.setInput(bit, level == QLatin1String("1"));
                else if (!text.isEmpty())
                    std::fprintf(stderr, "kavro-board-host: ignored: %s\n", qPrintable(text));
            });
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    reader.detach();

    const int rc = app.exec();
    host.close();
    // The input reader may still sit in a blocking read; end here, without tearing down
    // objects it could still post to.
    std::fflush(stdout);
    std::_Exit(rc);
}
