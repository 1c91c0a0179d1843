#include "support/MessageBox.h"

#include <QLoggingCategory>
#include <QMessageBox>

Q_LOGGING_CATEGORY(lcMessage, "varnexconfig.message")

namespace MessageBox {
namespace {

Observer& CurrentObserver()
{
    static Observer observer;
    return observer;
}

Observer& ConsoleSink()
{
    static Observer sink;
    return sink;
}

bool NonInteractive() { return qEnvironmentVariableIntValue("VARNEXCONFIG_NONINTERACTIVE") == 1; }

} // namespace

void Show(const QString& text)
{
    qCInfo(lcMessage).noquote() << text;
    if (CurrentObserver()) {
        CurrentObserver()(text);
        return;
    }
    if (ConsoleSink()) {
        ConsoleSink()(text);
        return;
    }
    if (NonInteractive())
        return;
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kTitle), text, QMessageBox::Ok);
    box.exec();
}

void SetObserver(Observer observer) { CurrentObserver() = std::move(observer); }

void SetConsoleSink(Observer sink) { ConsoleSink() = std::move(sink); }

} // namespace MessageBox
