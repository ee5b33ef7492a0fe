#include "common/Log.h"

#include <QApplication>

int main(int argc, char** argv)
{
    palaverly::log::installHandler();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("palaverly"));
    QApplication::setApplicationName(QStringLiteral("palaverly"));
    QApplication::setQuitOnLastWindowClosed(false);
    return 0;
}
