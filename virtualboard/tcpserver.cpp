#include "tcpserver.h"

#include "boardlog.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// What Qt may buffer per client beyond the card's intake; past it Qt leaves the bytes to the
// system's socket and TCP's flow control.
constexpr qint64 kSocketReadBuffer = 16 * 1024;

} // namespace

TcpServer::TcpServer(QObject *parent)
    : QObject(parent), server(new QTcpServer(this)), heldBackTimer(new QTimer(this))
{
    connect(server, &QTcpServer::newConnection, this, &TcpServer::handleNewConnection);
    // While bytes wait for room, look again every millisecond: the card consumes about a
    // frame in that time, and no signal tells when it has.
    heldBackTimer->setInterval(1);
    connect(heldBackTimer, &QTimer::timeout, this, &TcpServer::readHeldBack);
}

void TcpServer::setIntakeLimit(std::function<quint64()> pendingBytes, quint64 bound)
{
    intakePending = std::move(pendingBytes);
    intakeBound = bound;
}

TcpServer::~TcpServer()
{
    stopServer();
}

bool TcpServer::isListening() const
{
    return server->isListening();
}

quint16 TcpServer::serverPort() const
{
    return server->serverPort();
}

bool TcpServer::startServer(const QString &address, quint16 port, int maxPendingConnections)
{
    if (server->isListening())
        stopServer();
    server->setMaxPendingConnections(maxPendingConnections);

    if (server->listen(QHostAddress(address), port)) {
        emit serverStarted();
        qCDebug(boardLog) << "TCP server started on"
                          << address + ":" + QString::number(server->serverPort());
        return true;
    }
    const QString error =
        QStringLiteral("Failed to start TCP server: %1").arg(server->errorString());
    emit errorOccurred(error);
    qCDebug(boardLog).noquote() << error;
    return false;
}

void TcpServer::handleNewConnection()
{
    QTcpSocket *socket = server->nextPendingConnection();
    if (!socket)
        return;
    // Card frames are small and answer commands: send them at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (intakePending)
        socket->setReadBufferSize(kSocketReadBuffer);
    connect(socket, &QTcpSocket::readyRead, this, &TcpServer::handleReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &TcpServer::handleDisconnected);
    connect(socket, &QAbstractSocket::errorOccurred, this, &TcpServer::handleError);
    clients.append(socket);
    emit clientConnected(socket);
    qCDebug(boardLog) << "New client connected:"
                      << socket->peerAddress().toString() + ":" +
                             QString::number(socket->peerPort());
}

void TcpServer::handleReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    readFrom(socket);
}

void TcpServer::readFrom(QTcpSocket *socket)
{
    QByteArray data;
    if (intakePending) {
        const quint64 pending = intakePending();
        const quint64 room = pending < intakeBound ? intakeBound - pending : 0;
        data = socket->read(qint64(qMin<quint64>(room, quint64(socket->bytesAvailable()))));
        if (socket->bytesAvailable() > 0 && !heldBackTimer->isActive())
            heldBackTimer->start();
    } else {
        data = socket->readAll();
    }
    if (data.isEmpty())
        return;
    emit dataReceived(data);
    qCDebug(boardLog) << "Received data from"
                      << socket->peerAddress().toString() + ":" +
                             QString::number(socket->peerPort()) + ":" +
                             QString::fromLatin1(data.toHex(' '));
}

// Clients whose bytes waited for room take turns, so one that floods delays another by no
// more than the card takes to drain one bound.
void TcpServer::readHeldBack()
{
    bool waiting = false;
    const int n = clients.size();
    for (int i = 0; i < n; ++i) {
        QTcpSocket *socket = clients.at((nextHeldBack + i) % n);
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
        waiting = waiting || socket->bytesAvailable() > 0;
    }
    nextHeldBack = n > 0 ? (nextHeldBack + 1) % n : 0;
    if (!waiting)
        heldBackTimer->stop();
}

void TcpServer::handleDisconnected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    clients.removeOne(socket);
    emit clientDisconnected(socket);
    qCDebug(boardLog) << "Client disconnected:"
                      << socket->peerAddress().toString() + ":" +
                             QString::number(socket->peerPort());
    socket->deleteLater();
}

void TcpServer::handleError(QAbstractSocket::SocketError)
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    const QString error = QStringLiteral("Socket error for client %1:%2 - %3")
                              .arg(socket->peerAddress().toString())
                              .arg(socket->peerPort())
                              .arg(socket->errorString());
    emit errorOccurred(error);
    qCDebug(boardLog).noquote() << error;
}

bool TcpServer::broadcast(const QByteArray &data)
{
    bool all = true;
    // A failed send may drop the client from the list; walk a snapshot.
    const QList<QTcpSocket *> snapshot = clients;
    for (QTcpSocket *socket : snapshot)
        if (clients.contains(socket))
            all = sendToClient(data, socket) && all;
    return all;
}

bool TcpServer::sendToClient(const QByteArray &data, QTcpSocket *socket)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        emit errorOccurred(QStringLiteral("Cannot send data: client is not connected"));
        return false;
    }
    const qint64 written = socket->write(data);
    if (written < 0) {
        emit errorOccurred(QStringLiteral("Failed to write data: %1").arg(socket->errorString()));
        return false;
    }
    if (written < data.size()) {
        emit errorOccurred(QStringLiteral("Failed to write all data"));
        return false;
    }
    if (socket->bytesToWrite() > 0 && !socket->waitForBytesWritten(1000)) {
        emit errorOccurred(QStringLiteral("Write timeout"));
        return false;
    }
    qCDebug(boardLog) << "Data sent successfully to"
                      << socket->peerAddress().toString() + ":" +
                             QString::number(socket->peerPort()) + ":" +
                             QString::fromLatin1(data.toHex(' '));
    return true;
}

void TcpServer::stopServer()
{
    const QList<QTcpSocket *> snapshot = clients;
    for (QTcpSocket *socket : snapshot) {
        // A socket that disconnects at once leaves the list through handleDisconnected,
        // which deletes it later; only what is still listed is ours to delete.
        if (clients.contains(socket) && socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost();
    }
    const QList<QTcpSocket *> remaining = clients;
    clients.clear();
    for (QTcpSocket *socket : remaining) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
    if (server->isListening()) {
        server->close();
        emit serverClosed();
    }
}
