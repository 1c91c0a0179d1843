#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QCloseEvent;
class QWidget;

// What the program's windows share: a fixed-size frame with a close box only,
// and the state "an action is running" with the operator's input ignored,
// the close held and the busy cursor shown.
namespace WindowSetup {

// Gives `window` its object name and title, a close box but no minimise or
// maximise button, a fixed client size in twips and a font of `pointSize`.
void MakeFixedSize(QWidget* window, const QString& name, const QString& title, int widthTwips, int heightTwips,
                   double pointSize);

// One per window. The window's action runs through Run; its closeEvent asks
// HoldClose first.
class ActionGuard final : public QObject {
    Q_OBJECT
public:
    explicit ActionGuard(QWidget* window);

    bool Running() const { return running_; }

    // Runs `action` unless one is running already (a click delivered during a
    // pause of the running one). Meanwhile the busy cursor shows, and clicks,
    // keys and wheel turns aimed at the window are dropped: a list opened or a
    // button pressed during a pause must not act on the port under the action.
    // False when the action was not run or the window went away during it.
    bool Run(const std::function<void()>& action);

    // Shows `text` (nothing when empty) once an action is over, with the
    // window live again; the close held during the action, or one requested
    // while the box is up, goes through once the operator has confirmed it.
    // False when the window went away.
    bool ShowOutcome(const QString& text);

    // For the window's closeEvent: while an action runs the close would pull
    // the port from under it, and while its outcome is shown the operator
    // has not yet confirmed it, so the event is ignored and remembered. True
    // when the close was held.
    bool HoldClose(QCloseEvent* event);
    bool CloseHeld() const { return closeHeld_; }
    // Closes the window now if a close was held and no action runs.
    void CloseIfHeld();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> window_;
    bool running_ = false;
    bool showingOutcome_ = false;
    bool closeHeld_ = false;
};

} // namespace WindowSetup
