// The network tester's loop-output test and lamps end to end, with the real network board
// library and a card in a kavro-board-host process: on a card whose outputs are wired back to
// its inputs, and on a card whose link garbles frames.
#include "hostprocess.h"
#include "panel/kavrowidget.h"
#include "panel/ledbutton.h"
#include "panel/ledwidget.h"
#include "shelltesthelpers.h"
#include "tester/devicemanager.h"
#include "tester/mainwindow.h"

#include <cstdio>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kOutputs = IOLB_CHANNELS_PER_GROUP;

// A card whose output i drives its input i 1 ms later.
QString writeWiredScenario(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("wired.yaml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("cards:\n  - inputs:\n");
    for (int i = 0; i < kOutputs; ++i)
        file.write(QStringLiteral("      - {input: %1, follows: {output: %1, delay_ms: 1}}\n")
                       .arg(i)
                       .toLatin1());
    return path;
}

KAVROWidget *openCard(MainWindow &w, const HostProcess &host)
{
    child<QComboBox>(&w, "comboBoxIP")->setEditText(QStringLiteral("127.0.0.1"));
    child<QLineEdit>(&w, "lineEditPort")->setText(QString::number(host.port()));
    child<QPushButton>(&w, "pushButtonOpen")->click();
    return w.panelFor(0);
}

int fieldNumber(KAVROWidget *panel, const char *name)
{
    return child<QLineEdit>(panel, name)->text().toInt();
}

// Runs the loop-output test at 1 ms for `steps` writes. A running event loop lets the
// panel's timer keep its pace, which polling from a test would slow down.
bool runLoop(KAVROWidget *panel, int steps)
{
    child<QLineEdit>(panel, "lineEditSpanTime")->setText(QStringLiteral("1"));
    auto *button = child<QPushButton>(panel, "pushButtonCycleOutput");
    QEventLoop loop;
    QObject::connect(child<QLineEdit>(panel, "lineEditTotalCount"), &QLineEdit::textChanged, &loop,
                     [&](const QString &text) {
                         if (text.toInt() >= steps)
                             loop.quit();
                     });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    button->click();
    loop.exec();
    button->click();
    return fieldNumber(panel, "lineEditTotalCount") >= steps;
}

bool lampsShow(KAVROWidget *panel, quint32 in, quint32 out)
{
    for (int i = 0; i < kOutputs; ++i) {
        if (panel->inputLed(i)->ledButton()->isChecked() != bool(in >> i & 1u) ||
            panel->outputLed(i)->ledButton()->isChecked() != bool(out >> i & 1u))
            return false;
    }
    return true;
}

} // namespace

class TstE2eNetFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(testerSettingsPath());
        registerSearchTypes();
        DeviceManager::setDiscoveryTargetsForTest({{QHostAddress::LocalHost, 23456}});
    }

    void loopOutputAndPulsesOnAWiredCard()
    {
        QTemporaryDir dir;
        const QString scenario = writeWiredScenario(dir);
        QVERIFY(!scenario.isEmpty());
        HostProcess host(0, false, {"--scenario", scenario.toStdString()});
        QVERIFY(host.started());
        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
        KAVROWidget *panel = openCard(w, host);
        QVERIFY(panel);
        const auto boxes = answerBoxes();

        QVERIFY(runLoop(panel, 1000));
        QCOMPARE(child<QLineEdit>(panel, "lineEditFailCount")->text(), QStringLiteral("0"));
        // Step n toggled output n % 32, starting from all off.
        const int total = fieldNumber(panel, "lineEditTotalCount");
        quint32 word = 0;
        for (int bit = 0; bit < kOutputs; ++bit)
            if ((total / kOutputs + (bit < total % kOutputs ? 1 : 0)) % 2 == 1)
                word |= 1u << bit;
        QTRY_VERIFY(lampsShow(panel, word, word));

        // An endless train on output 2 blinks input lamp 2 through the wire.
        child<QLineEdit>(panel, "lineEditPulserComno")->setText(QStringLiteral("2"));
        child<QCheckBox>(panel, "checkBoxPulserPN")->setChecked(true);
        child<QLineEdit>(panel, "lineEditPulserCount")->setText(QStringLiteral("65535"));
        child<QLineEdit>(panel, "lineEditPulserPosTime")->setText(QStringLiteral("150"));
        child<QLineEdit>(panel, "lineEditPulserNegTime")->setText(QStringLiteral("150"));
        child<QLineEdit>(panel, "lineEditPulserPreTime")->setText(QStringLiteral("0"));
        child<QPushButton>(panel, "pushButtonPulserStart")->click();
        LedButton *lamp = panel->inputLed(2)->ledButton();
        for (bool lit : {true, false, true, false})
            QTRY_COMPARE_WITH_TIMEOUT(lamp->isChecked(), lit, 5000);
        child<QPushButton>(panel, "pushButtonPulserStop")->click();
        QCOMPARE(boxes->count, 0);
    }

    // With every 20th frame garbled, a write counts as failed only when its answer was hit.
    // The card sends nothing but the answers here (no wires, no heartbeat between steps), so
    // every hit falls on an answer.
    void loopOutputCountsOnlyWritesWhoseAnswersWereHit()
    {
        HostProcess host;
        QVERIFY(host.started());
        MainWindow w(testerVariant());
        w.show();
        QTRY_VERIFY(child<QPushButton>(&w, "pushButtonRefresh")->isEnabled());
        KAVROWidget *panel = openCard(w, host);
        QVERIFY(panel);

        host.sendLine("fault 0 corrupt 20");
        QVERIFY(host.waitForLine("fault 0 corrupt on"));
        QVERIFY(runLoop(panel, 400));
        host.sendLine("fault 0 off");

        int hits = 0;
        quint32 outputs = 0;
        for (;;) {
            const std::string line = host.waitForLineStarting("", std::chrono::milliseconds(5000));
            QVERIFY(!line.empty());
            if (line == "fault 0 corrupt off")
                break;
            if (line.rfind("hit 0 corrupt ", 0) == 0)
                ++hits;
            int bit = 0;
            int level = 0;
            if (std::sscanf(line.c_str(), "out %d %d", &bit, &level) == 2)
                outputs = level ? outputs | 1u << bit : outputs & ~(1u << bit);
        }
        const int failed = fieldNumber(panel, "lineEditFailCount");
        QVERIFY2(hits > 0, "the run was long enough for hits");
        QVERIFY2(failed > 0, qPrintable(QStringLiteral("%1 hits").arg(hits)));
        QVERIFY2(failed <= hits,
                 qPrintable(QStringLiteral("%1 failed, %2 hits").arg(failed).arg(hits)));
        // The lamps show the card's outputs, whichever answers were lost.
        QTRY_VERIFY(lampsShow(panel, 0, outputs));
    }
};

QTEST_MAIN(TstE2eNetFaults)
#include "tst_e2e_netfaults.moc"
