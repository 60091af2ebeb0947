#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareHighDpiScaling();
    QApplication a(argc, argv);
    MainWindow w;
    w.show();
    return a.exec();
}
