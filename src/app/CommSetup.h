#pragma once

#include "profiles/SetupOutputs.h"

#include <QWidget>

#include <array>
#include <functional>

class DropDownList;
namespace WindowSetup {
class ActionGuard;
}
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;

// The main window: the PC port list, the three groups of five target buttons
// and the status bar that shows what the receiver operations are doing.
class CommSetup final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kButtons = SetupOutputs::kDeviceCount;

    // Creates the window and runs its loading; nullptr when loading ended the
    // program because no serial port could be opened.
    static CommSetup* Load();

    void FillPortList();
    void SelectPort_DropDown();
    // The operator closes the window (close box or system menu): the serial
    // control goes with it. When the NMEA setup takes over, the window is
    // unloaded without a close event, so the control and its open port stay.
    void Form_QueryUnload();
    void SetAllOutputs_Click(int index);
    void SetNmeaOuputBtn_Click(int index);
    void ReflashBtn_Click(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CommSetup();
    void BuildControls();
    void BuildButtonGroup(QGroupBox* frame, std::array<QPushButton*, kButtons>& buttons,
                          const char* name, const char* (*caption)(const SetupOutputs::Profile&));
    void SetFocusOrder();
    void Form_Load();
    void NoPortsCanOpen();
    // Runs `action` unless another action is running; a close request made
    // meanwhile goes through once the action has ended.
    void RunAction(const std::function<void()>& action);

    DropDownList* SelectPort = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<QPushButton*, kButtons> ReflashBtn{};
    std::array<QPushButton*, kButtons> SetAllOutputs{};
    std::array<QPushButton*, kButtons> SetNmeaOuputBtn{};
    QStatusBar* StatusBar = nullptr;
    QLabel* Panel1 = nullptr;
    WindowSetup::ActionGuard* actions_ = nullptr;
};
