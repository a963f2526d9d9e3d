#include "OrvexApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    COrvexApp theApp;
    return theApp.InitInstance(QApplication::arguments());
}
