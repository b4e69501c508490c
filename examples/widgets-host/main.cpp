#include "MainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvane-widgets-host"));
    MainWindow window;
    window.show();
    return app.exec();
}
