// kavro-panel-preview: one card panel on a scripted stand-in card, for looking at it.
//   kavro-panel-preview [--type N] [--version N] [--inputs HEX] [--outputs HEX] [--zh]
//                       [--pcie] [--save FILE.png]
// With --save it renders the panel into the file and exits; otherwise it stays open.
#include "fakeboard.h"
#include "panel/kavrowidget.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption type(QStringLiteral("type"), QStringLiteral("Card type code."),
                                  QStringLiteral("code"), QStringLiteral("7"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Firmware version."),
                                     QStringLiteral("n"), QStringLiteral("12"));
    const QCommandLineOption inputs(QStringLiteral("inputs"), QStringLiteral("Input word, hex."),
                                    QStringLiteral("hex"), QStringLiteral("0"));
    const QCommandLineOption outputs(QStringLiteral("outputs"), QStringLiteral("Output word, hex."),
                                     QStringLiteral("hex"), QStringLiteral("0"));
    const QCommandLineOption zh(QStringLiteral("zh"), QStringLiteral("Chinese texts."));
    const QCommandLineOption pcieOption(QStringLiteral("pcie"), QStringLiteral("The PCIe panel."));
    const QCommandLineOption save(QStringLiteral("save"), QStringLiteral("Render into a PNG file."),
                                  QStringLiteral("file"));
    parser.addOptions({type, version, inputs, outputs, zh, pcieOption, save});
    parser.process(app);

    QTranslator translator;
    if (parser.isSet(zh) &&
        translator.load(QCoreApplication::applicationDirPath() + "/kavro_panel_zh_CN.qm"))
        QCoreApplication::installTranslator(&translator);

    auto &fake = kavro::fake::FakeBoard::instance();
    fake.setBoardInfo(std::uint8_t(parser.value(version).toUInt()),
                      std::uint8_t(parser.value(type).toUInt()));
    fake.setWords(0, 0, parser.value(inputs).toUInt(nullptr, 16),
                  parser.value(outputs).toUInt(nullptr, 16));
    fake.setFrameNumber(42);
    iolb_board_open("127.0.0.1:8088", 0);

    PanelVariant variant;
    variant.pcie = parser.isSet(pcieOption);
    KAVROWidget panel(0, variant);
    panel.show();
    if (parser.isSet(save)) {
        QTimer::singleShot(300, &panel, [&] {
            panel.grab().save(parser.value(save));
            QCoreApplication::quit();
        });
    }
    return app.exec();
}
