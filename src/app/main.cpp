#include "app/StartModule.h"
#include "support/SupportFunctions.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VarnexConfig"));
    StartModule::Main();
    int status = 0;
    if (SupportFunctions::IsFormLoaded(QStringLiteral("CommSetup")))
        status = QApplication::exec();
    // Windows unloaded on the way out are deleted before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
