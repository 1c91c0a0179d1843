#include "support/MessageBox.h"

#include "support/EventPump.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>

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

} // namespace

void Show(const QString& text)
{
    // The command line has no windows: its messages are lines on stderr.
    if (ConsoleSink() && !CurrentObserver()) {
        ConsoleSink()(text);
        return;
    }
    // The operator is asked to press OK: a running action's busy cursor gives
    // way to the normal one until the box is confirmed.
    const bool busy = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                      && QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    if (CurrentObserver()) {
        CurrentObserver()(text);
    } else {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kTitle), text, QMessageBox::Ok);
        if (EventPump::InputIsGuarded()) {
            // A window's action guard drops every input aimed at the window and
            // holds its close until OK. The box is not modal then: a window
            // blocked by a modal box never receives the close box's request
            // (the system drops it), so a close made while the message is up
            // would be lost.
            box.setWindowModality(Qt::NonModal);
            QEventLoop loop;
            QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
            box.show();
            loop.exec();
        } else {
            box.exec();
        }
    }
    if (busy)
        QGuiApplication::restoreOverrideCursor();
}

void SetObserver(Observer observer) { CurrentObserver() = std::move(observer); }

void SetConsoleSink(Observer sink) { ConsoleSink() = std::move(sink); }

} // namespace MessageBox
