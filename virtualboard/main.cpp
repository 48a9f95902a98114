#include "mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_DisableWindowContextHelpButton);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/image/KAVROVirtualBoard.ico")));

    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
