#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/image/KVIO.ico")));
    QApplication::setApplicationVersion(QStringLiteral("6.25.301.1"));

    registerSearchTypes();

    // The variant source linked into this build says which tester this is.
    const TesterVariant variant = testerVariant();
    applySavedLanguage(variant);

    MainWindow window(variant);
    window.show();
    return app.exec();
}
