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
    // Unload reason of a close made by the operator (close box or system menu).
    static constexpr int kClosedByOperator = 0;
    static constexpr int kClosedByProgram = 1;

    // Creates the window and runs its loading; nullptr when loading ended the
    // program because no serial port could be opened.
    static CommSetup* Load();
    // Unloads the window without ending the program (the NMEA setup takes over).
    static void UnloadByProgram();

    void FillPortList();
    void SelectPort_DropDown();
    void Form_QueryUnload(int& cancel, int unloadMode);
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
