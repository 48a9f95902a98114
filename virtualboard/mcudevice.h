#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

// A MAC for a new virtual board: "02:DE:" followed by two random bytes interleaved with the
// two low bytes of the current time in milliseconds (R1:T1:R2:T0), upper-case hexadecimal;
// kavro::discovery::generateMac for callers that speak Qt.
QString generateMac();

// The card's UDP configuration service: answers discovery and the four set commands on the
// given port. The identity lives in memory only. Lives on the thread that created it.
class MCUDevice : public QObject
{
    Q_OBJECT
public:
    MCUDevice(const QString &mac, const QString &ip, const QString &subnetMask,
              const QString &gateway, quint16 port, QObject *parent = nullptr);
    ~MCUDevice() override;

    bool start(const QString &ip);
    void stop();
    bool isRunning() const;

    QString mac() const;
    QString ip() const;
    QString subnetMask() const;
    QString gateway() const;

    // Called with the current MAC after every set command that succeeded, after its reply.
    std::function<void(const QString &mac)> onChanged;

public slots:
    void handleReadyRead();

private:
    void handleCommand(const QByteArray &message, const QHostAddress &sender, quint16 senderPort);

    struct Private;
    std::unique_ptr<Private> d;
};
