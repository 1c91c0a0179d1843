#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "receiver_config/FlashProgram.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

using SupportFunctions::ClearStatus;
using SupportFunctions::ShowStatus;

namespace VarnexCommsRoutines {
namespace {

// The rate the flashing program expects to find the receiver at.
constexpr std::int32_t kFlashingRate = 57600;

// How a hand-over to the flashing program ended.
enum class FlashRun {
    Good,       // ran as long as a good reflash does
    Failed,     // too short or too long; already reported to the operator
    NotStarted, // the port could not be closed or the program not started; not yet reported
};

// Hands the port to the flashing program, runs it and judges the run by its
// length alone, since the program reports nothing back.
FlashRun HandOverAndFlash(std::int32_t comPort)
{
    // The flashing program opens the port itself; it stays closed afterwards.
    if (!CommsFrm::SerialPort().SetPortOpen(false))
        return FlashRun::NotStarted;
    const QString folder = FlashProgram::CommandFolder(FlashProgram::ApplicationFolder());

    const double start = Clock::Now();
    FlashProgram::Run run;
    if (!run.Start(folder, comPort))
        return FlashRun::NotStarted;
    EventPump::PumpEvents();
    if (run.OpenForWait()) {
        ShowStatus(QStringLiteral("Reflashing! it should take about 30s"));
        // No time-out and no event loop: the windows freeze until the
        // program has ended, so nothing else can reach for the port.
        run.WaitForEnd();
        ClearStatus();
    }

    if (Timing::Seconds(Clock::Now() - start) < Timing::kReflashShortest) {
        MessageBox::Show(QStringLiteral("The reflash failed, please cycle the power and try again"));
        return FlashRun::Failed;
    }
    if (Timing::Seconds(Clock::Now() - start) <= Timing::kReflashLongest)
        return FlashRun::Good;
    MessageBox::Show(QStringLiteral("The reflash may have failed, please cycle the power and try again"));
    return FlashRun::Failed;
}

} // namespace

bool ReflashGps(std::int32_t comPort)
{
    if (!OpenPortAtBaud(kFlashingRate)) {
        SerialControl& port = CommsFrm::SerialPort();
        if (port.PortOpen())
            port.SetPortOpen(false);
        MessageBox::Show(QStringLiteral("Failed to open port"));
        return false;
    }
    const FlashRun run = HandOverAndFlash(comPort);
    if (run == FlashRun::NotStarted)
        MessageBox::Show(QStringLiteral("The GPS reflash failed"));
    return run == FlashRun::Good;
}

} // namespace VarnexCommsRoutines
