#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The board link's TCP side: accepts any number of clients, hands every received byte on with
// dataReceived and writes every card frame to all clients. Lives on the GUI thread.
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
    QTcpServer *server;
    QList<QTcpSocket *> clients;
};
