#include "mcu.h"

#include "firmware/firmwareengine.h"
#include "worker.h"

// Turns the engine's calls into the MCU's signals. The frame is copied into the byte array
// here, on the firmware thread, before the engine builds its next frame.
class MCU::Port : public kavro::firmware::FirmwarePort
{
public:
    explicit Port(MCU *owner) : mcu(owner) {}

    bool GetInBitLevel(std::uint8_t group, std::uint8_t nBit) override
    {
        return emit mcu->GetInBitLevel(group, nBit);
    }
    void SetOutBitLevel(std::uint8_t group, std::uint8_t nBit, bool bH) override
    {
        emit mcu->SetOutBitLevel(group, nBit, bH);
    }
    void SendBuf(kavro::link::CardWireFrame frame) override
    {
        emit mcu->SendBuf(
            QByteArray(reinterpret_cast<const char *>(frame.data()), int(frame.size())));
    }

private:
    MCU *mcu;
};

MCU *MCU::instance()
{
    static MCU mcu;
    return &mcu;
}

MCU::MCU()
    : port(std::make_unique<Port>(this)),
      engine(std::make_unique<kavro::firmware::FirmwareEngine>(*port)), worker(new Worker)
{
}

MCU::~MCU()
{
    stopFirmware();
    delete worker;
}

void MCU::startFirmware()
{
    if (running)
        return;
    worker->moveToThread(&thread);
    if (!startConnected) {
        // Made once, so each start runs the loop exactly once.
        connect(&thread, &QThread::started, worker, &Worker::executeMcu);
        startConnected = true;
    }
    stop = false;
    thread.start(QThread::InheritPriority);
    startedUp.acquire();
    running = true;
}

void MCU::stopFirmware()
{
    if (!running)
        return;
    stop = true;
    thread.quit();
    thread.wait();
    running = false;
}

void MCU::runFirmware()
{
    ++runs;
    engine->start();
    startedUp.release();
    engine->runLoop(stop);
}

quint64 MCU::pendingBytes() const
{
    return engine->pendingBytes();
}

quint64 MCU::intakeHighWater() const
{
    return engine->intakeHighWater();
}

void MCU::ReciveData(const QByteArray &data)
{
    engine->ReciveData(reinterpret_cast<const std::uint8_t *>(data.constData()),
                       std::size_t(data.size()));
}
