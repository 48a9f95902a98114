#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QTcpServer;
class QTimer;
class QTcpSocket;

// The board link's TCP side: accepts any number of clients, hands every received byte on with
// dataReceived and writes every card frame to all clients. Lives on the GUI thread.
//
// With an intake limit, bytes are read only while the card holds fewer than the bound
// unconsumed; the rest waits in the socket, where TCP holds the sender back, and is read as
// the card drains. Nothing is dropped, and a client that floods waits its turn with the others.
class TcpServer : public QObject
{
    Q_OBJECT
public:
    explicit TcpServer(QObject *parent = nullptr);
    ~TcpServer() override;

    bool startServer(const QString &address, quint16 port, int maxPendingConnections);
    void stopServer();
    bool broadcast(const QByteArray &data);
    bool sendToClient(const QByteArray &data, QTcpSocket *socket);

    bool isListening() const;
    quint16 serverPort() const;
    int clientCount() const { return clients.size(); }

    // pendingBytes tells how many received bytes the card has not consumed yet.
    void setIntakeLimit(std::function<quint64()> pendingBytes, quint64 bound);

signals:
    void dataReceived(QByteArray data);
    void errorOccurred(QString error);
    void serverStarted();
    void serverClosed();
    void clientConnected(QTcpSocket *socket);
    void clientDisconnected(QTcpSocket *socket);

private slots:
    void handleNewConnection();
    void handleReadyRead();
    void handleDisconnected();
    void handleError(QAbstractSocket::SocketError socketError);

private:
    void readFrom(QTcpSocket *socket);
    void readHeldBack();

    QTcpServer *server;
    QList<QTcpSocket *> clients;
    std::function<quint64()> intakePending;
    quint64 intakeBound = 0;
    QTimer *heldBackTimer = nullptr;
    int nextHeldBack = 0;
};
