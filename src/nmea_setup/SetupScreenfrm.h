#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

namespace WindowSetup {
class ActionGuard;
}
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The "NMEA Setup" window: the output rate of nine NMEA sentences on one
// receiver port, the live view of the text the receiver sends, the port's
// baud rate and the save to flash. It works on the port that is already open
// when it loads, and hands the main window back when it closes.
class SetupScreenfrm final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSentences = 9;

    // Creates the window for receiver port `nmeaTarget` and runs its loading,
    // which polls the receiver. A window that is already loaded only takes
    // the new port.
    static SetupScreenfrm* Load(std::int32_t nmeaTarget);

    // Receiver port (UBX port identifier) of every exchange the window starts.
    std::int32_t NmeaTarget = 0;

    void DisableControls();
    void EnableControls();
    void UpdateRate_Click(int index);
    void Timer1_Timer();
    void OutputBaud_Click();
    void ReflashBtn_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit SetupScreenfrm(std::int32_t nmeaTarget);
    void BuildControls();
    void BuildMessageTable();
    void ConnectControls();
    void SetFocusOrder();
    void SetTimerInterval(int milliseconds);
    void Form_Load();
    void Form_Unload();
    // Runs one exchange with the receiver started by `control`, gives that
    // control the focus back, then shows the message the exchange returns
    // (none when empty) with the window usable and the live view running. A
    // close request made meanwhile goes through once both are over.
    void RunExchange(QWidget* control, const std::function<QString()>& exchange);

    QGroupBox* Frame3 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* OutputBaud = nullptr;
    QGroupBox* Frame2 = nullptr;
    std::array<QComboBox*, kSentences> UpdateRate{};
    std::array<QLabel*, kSentences> MessageDescTxt{};
    QPushButton* ReflashBtn = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    QTimer* Timer1 = nullptr;

    // The window's controls in the order they were made, each array element
    // one entry, the timer included: what DisableControls and EnableControls sweep.
    QList<QObject*> controls_;
    // The raw text shown in Text1, carriage returns included.
    QString viewText_;
    WindowSetup::ActionGuard* actions_ = nullptr;
};
