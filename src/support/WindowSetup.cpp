#include "support/WindowSetup.h"

#include "support/EventPump.h"
#include "support/Forms.h"
#include "support/MessageBox.h"
#include "support/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QWidget>

namespace WindowSetup {

void MakeFixedSize(QWidget* window, const QString& name, const QString& title, int widthTwips, int heightTwips,
                   double pointSize)
{
    window->setObjectName(name);
    window->setWindowTitle(title);
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                           | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(Twips::ToPixels(widthTwips), Twips::ToPixels(heightTwips));
    // The layouts were designed for a small face; the default one would clip
    // the captions of the fixed-size controls.
    QFont small = window->font();
    small.setPointSizeF(pointSize);
    window->setFont(small);
}

ActionGuard::ActionGuard(QWidget* window) : QObject(window), window_(window) {}

bool ActionGuard::Run(const std::function<void()>& action)
{
    if (running_)
        return false;
    QPointer<ActionGuard> self(this);
    running_ = true;
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        // Input reaches this filter during the reply waits too, so a close
        // request is seen at once.
        const EventPump::InputGuarded guarded;
        action();
        // Clicks that queued up during the last reply wait are delivered now,
        // while the action still counts as running, and so dropped.
        EventPump::PumpEvents();
    }
    QApplication::restoreOverrideCursor();
    if (!self)
        return false;
    qApp->removeEventFilter(this);
    running_ = false;
    return window_ != nullptr;
}

bool ActionGuard::ShowOutcome(const QString& text)
{
    QPointer<ActionGuard> self(this);
    if (!text.isEmpty()) {
        // While the message is up the window takes no input, as during the
        // action, and a close waits for OK.
        showingOutcome_ = true;
        qApp->installEventFilter(this);
        {
            const EventPump::InputGuarded guarded;
            MessageBox::Show(text);
        }
        if (!self)
            return false;
        qApp->removeEventFilter(this);
        showingOutcome_ = false;
    }
    CloseIfHeld();
    return self && window_ && !Forms::IsUnloaded(window_);
}

bool ActionGuard::HoldClose(QCloseEvent* event)
{
    if (!running_ && !showingOutcome_)
        return false;
    closeHeld_ = true;
    event->ignore();
    return true;
}

void ActionGuard::CloseIfHeld()
{
    if (!closeHeld_ || running_ || !window_ || Forms::IsUnloaded(window_))
        return;
    closeHeld_ = false;
    window_->close();
}

bool ActionGuard::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        break;
    default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && window_ && widget->window() == window_;
}

} // namespace WindowSetup
