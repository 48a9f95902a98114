// A flood of change reports into one card panel: 10,000 reports a second from another thread,
// as a busy card's library would deliver them. Prints how many lamp updates the panel made
// (it coalesces reports to at most one update per 16 ms) and the GUI thread's processor share.
// Runs offscreen unless a platform is given.
#include "panel/kavrowidget.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include <QApplication>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

using Clock = std::chrono::steady_clock;

namespace {

double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int perSecond = argc > 1 ? std::atoi(argv[1]) : 10000;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    const int total = int(perSecond * seconds);

    KAVROWidget panel(0, PanelVariant{}); // the network tester's panel
    panel.show();
    auto *frameNo = panel.findChild<QLineEdit *>(QStringLiteral("lineEditFrameNo"));
    QCoreApplication::processEvents();

    const int updatesBefore = panel.lampUpdates();
    const double cpuBefore = threadCpuSeconds();
    const auto start = Clock::now();
    std::atomic<bool> sent{false};
    std::thread flood([&] {
        const auto period = std::chrono::nanoseconds(1000000000 / perSecond);
        std::uint32_t lastIn = 0, lastOut = 0;
        for (int i = 0; i < total; ++i) {
            std::this_thread::sleep_until(start + period * i);
            const std::uint32_t in = std::uint32_t(i) * 2654435761u;
            const std::uint32_t out = ~in;
            emit panel.Signal_IOChange(0, 0, in, out, lastIn, lastOut, quint8(i));
            lastIn = in;
            lastOut = out;
        }
        sent = true;
    });
    // Ends once every report has been taken in and the last one is shown.
    const QString last = QString::number(quint8(total - 1));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (sent && frameNo->text() == last)
            app.quit();
    });
    poll.start(5);
    app.exec();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = threadCpuSeconds() - cpuBefore;
    flood.join();
    const int updates = panel.lampUpdates() - updatesBefore;

    std::printf("%d reports in %.2f s (%.0f per second) into one panel\n", total, wall,
                total / wall);
    std::printf("lamp updates: %d, %.1f per second\n", updates, updates / wall);
    std::printf("GUI thread processor time: %.1f%% of one core\n", 100.0 * cpu / wall);
    return 0;
}
