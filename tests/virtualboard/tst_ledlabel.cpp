#include "virtualboard/ledlabel.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

class TstLedLabel : public QObject
{
    Q_OBJECT

    static QString style(const char *color, const char *opacity)
    {
        return QStringLiteral("QLabel {   background-color: %1;   border-radius: 15px;   border: "
                              "1px solid darkgray;   opacity: %2;}")
            .arg(QLatin1String(color), QLatin1String(opacity));
    }

private slots:
    void looks()
    {
        LEDLabel led;
        QCOMPARE(led.ledStyleSheet(), style("#005500", "0.3"));
        const int updates = led.styleUpdates();
        led.setState(true);
        QCOMPARE(led.ledStyleSheet(), style("#00ff00", "1.0"));
        led.setState(true);
        QCOMPARE(led.styleUpdates(), updates + 1); // an equal state does not restyle
        const auto labels = led.findChildren<QLabel *>();
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->size(), QSize(30, 30));
    }

    void clicks_data()
    {
        QTest::addColumn<bool>("clickable");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("onCaption");
        QTest::addColumn<bool>("releaseOutside");
        QTest::addColumn<bool>("toggles");
        QTest::newRow("left on lamp") << true << int(Qt::LeftButton) << false << false << true;
        QTest::newRow("left on caption") << true << int(Qt::LeftButton) << true << false << true;
        QTest::newRow("right click") << true << int(Qt::RightButton) << false << false << false;
        QTest::newRow("release outside") << true << int(Qt::LeftButton) << false << true << false;
        QTest::newRow("not clickable") << false << int(Qt::LeftButton) << false << false << false;
    }

    void clicks()
    {
        QFETCH(bool, clickable);
        QFETCH(int, button);
        QFETCH(bool, onCaption);
        QFETCH(bool, releaseOutside);
        QFETCH(bool, toggles);

        QWidget window;
        auto *led = new LEDLabel(&window);
        led->setText(QStringLiteral("17"));
        led->setClickable(clickable);
        led->move(20, 20);
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QSignalSpy clicked(led, &LEDLabel::clicked);
        const auto labels = led->findChildren<QLabel *>();
        QWidget *target = onCaption ? labels[1] : labels[0];
        const QPoint inside = target->mapTo(led, target->rect().center());
        const QPoint outside(led->width() + 40, led->height() + 40);
        const auto b = Qt::MouseButton(button);

        QTest::mousePress(led, b, Qt::NoModifier, inside);
        if (b == Qt::LeftButton)
            QVERIFY(led->ledStyleSheet().contains(QLatin1String("opacity: 0.7")));
        QTest::mouseRelease(led, b, Qt::NoModifier, releaseOutside ? outside : inside);

        QCOMPARE(led->state(), toggles);
        QCOMPARE(clicked.count(), toggles ? 1 : 0);
        if (toggles)
            QCOMPARE(clicked.first().first().toBool(), true);
        QVERIFY(!led->ledStyleSheet().contains(QLatin1String("opacity: 0.7")));
    }
};

QTEST_MAIN(TstLedLabel)
#include "tst_ledlabel.moc"
