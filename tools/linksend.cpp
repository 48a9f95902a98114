// kavro-link-send: sends board link commands to a card and prints the card frames it answers.
//   kavro-link-send HOST:PORT COMMAND...
// Commands: set N, clear N, word HEX, read, pulse N COUNT SET_MS CLEAR_MS, stop, refresh.
// For scripts and demos; the testers speak the link through the board library.
#include "link/cardframereader.h"
#include "link/commandframe.h"

#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTcpSocket>

using kavro::link::Command;
using kavro::link::CommandFrame;

namespace {

bool parseCommands(const QStringList &args, std::vector<CommandFrame> &out)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &c = args[i];
        bool ok = true;
        auto number = [&](int base = 10) {
            if (++i >= args.size()) {
                ok = false;
                return 0u;
            }
            bool good = false;
            const uint v = args[i].toUInt(&good, base);
            ok = ok && good;
            return v;
        };
        if (c == QLatin1String("set")) {
            out.push_back(CommandFrame::make(Command::SetOutBit, 0, number()));
        } else if (c == QLatin1String("clear")) {
            out.push_back(CommandFrame::make(Command::ClearOutBit, 0, number()));
        } else if (c == QLatin1String("word")) {
            out.push_back(CommandFrame::make(Command::WriteOutWord, 0, 0, number(16)));
        } else if (c == QLatin1String("read")) {
            out.push_back(CommandFrame::make(Command::ReadGroup));
        } else if (c == QLatin1String("refresh")) {
            out.push_back(CommandFrame::make(Command::Refresh));
        } else if (c == QLatin1String("stop")) {
            out.push_back(CommandFrame::make(Command::StopAll));
        } else if (c == QLatin1String("pulse")) {
            const uint n = number();
            const uint count = number();
            const uint setMs = number();
            const uint clearMs = number();
            out.push_back(CommandFrame::makePulser(std::uint8_t(0x10 | (n & 7)),
                                                   std::uint16_t(count), std::uint16_t(setMs),
                                                   std::uint16_t(clearMs), 0));
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kavro-link-send: bad command near '%s'\n", qPrintable(c));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || !args[0].contains(QLatin1Char(':'))) {
        std::fprintf(stderr, "usage: kavro-link-send HOST:PORT COMMAND...\n");
        return 2;
    }
    const QString host = args[0].section(QLatin1Char(':'), 0, 0);
    const quint16 port = quint16(args[0].section(QLatin1Char(':'), 1).toUInt());
    std::vector<CommandFrame> commands;
    if (!parseCommands(args.mid(1), commands))
        return 2;

    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(2000)) {
        std::fprintf(stderr, "kavro-link-send: %s\n", qPrintable(socket.errorString()));
        return 1;
    }
    kavro::link::CardFrameReader reader;
    for (const CommandFrame &cmd : commands) {
        const auto wire = cmd.encode();
        socket.write(reinterpret_cast<const char *>(wire.data()), int(wire.size()));
        socket.flush();
        // Print what the card answers within a short while: until it has been quiet for
        // 150 ms, and never longer than a second, since a card whose inputs or pulse trains
        // keep changing is never quiet.
        QElapsedTimer listening;
        listening.start();
        while (listening.elapsed() < 1000 &&
               socket.waitForReadyRead(int(qMin<qint64>(150, 1000 - listening.elapsed())))) {
            const QByteArray data = socket.readAll();
            reader.feed(reinterpret_cast<const std::uint8_t *>(data.constData()),
                        std::size_t(data.size()), [](const kavro::link::CardFrame &f) {
                            std::printf("frame seq %u status 0x%02x param %u in %08x out %08x\n",
                                        f.sequence, f.status, f.param, f.inputWord(),
                                        f.outputWord());
                        });
        }
    }
    std::fflush(stdout);
    return 0;
}
