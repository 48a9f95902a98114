#pragma once

#include "link/cardframe.h"
#include "link/cardframereader.h"
#include "link/commandframe.h"

#include <QTcpSocket>
#include <QVector>

// A board link client for tests: sends command frames, collects the card frames it reads.
class LinkClient : public QObject
{
    Q_OBJECT
public:
    explicit LinkClient(QObject *parent = nullptr) : QObject(parent)
    {
        connect(&socket, &QTcpSocket::readyRead, this, [this] {
            const QByteArray data = socket.readAll();
            reader.feed(reinterpret_cast<const std::uint8_t *>(data.constData()),
                        std::size_t(data.size()),
                        [this](const kavro::link::CardFrame &f) { frames.push_back(f); });
        });
    }

    bool connectTo(quint16 port)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return socket.waitForConnected(3000);
    }

    void send(const kavro::link::CommandFrame &cmd)
    {
        const auto w = cmd.encode();
        socket.write(reinterpret_cast<const char *>(w.data()), int(w.size()));
        socket.flush();
    }

    // The last group report that shows this output word, or none.
    bool sawOutputWord(std::uint32_t word) const
    {
        for (const auto &f : frames)
            if (f.kind() == kavro::link::CardFrameKind::GroupReport && f.outputWord() == word)
                return true;
        return false;
    }

    QTcpSocket socket;
    kavro::link::CardFrameReader reader;
    QVector<kavro::link::CardFrame> frames;
};
