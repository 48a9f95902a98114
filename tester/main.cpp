#include "gqtranslatormanager.h"
#include "mainwindow.h"
#include "simpleprogressdialog.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSettings>
#include <QStandardPaths>

#include <atomic>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/image/KVIO.ico")));
    QApplication::setApplicationVersion(QStringLiteral("6.25.301.1"));

    qRegisterMetaType<std::shared_ptr<std::atomic<bool>>>("std::shared_ptr<std::atomic<bool>>");
    qRegisterMetaType<SimpleProgressDialog *>("SimpleProgressDialog*");

    {
        QSettings settings(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                               QDir::separator() + QStringLiteral("KAVRO.cfg"),
                           QSettings::IniFormat);
        GQTranslatorManager::instance()->setLanguage(
            settings.value(QStringLiteral("Language/CurLan"), QStringLiteral("0")).toInt());
    }

    MainWindow window;
    window.show();
    return app.exec();
}
