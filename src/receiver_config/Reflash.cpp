#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "receiver_config/FlashProgram.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

#include <optional>

using SupportFunctions::ClearStatus;
using SupportFunctions::ShowStatus;

namespace VarnexCommsRoutines {
namespace {

// The rate the flashing program expects to find the receiver at.
constexpr std::int32_t kFlashingRate = 57600;

// Hands the port to the flashing program, runs it and judges the run by its
// length alone, since the program reports nothing back: true for a good run,
// false for a run too short or too long (already reported), nothing when the
// program could not be closed off its port or started (the caller reports it).
std::optional<bool> HandOverAndFlash(std::int32_t comPort)
{
    // The flashing program opens the port itself; it stays closed afterwards.
    if (!CommsFrm::SerialPort().SetPortOpen(false))
        return std::nullopt;
    const QString folder = FlashProgram::CommandFolder(FlashProgram::ApplicationFolder());

    const double start = Clock::Now();
    FlashProgram::Run run;
    if (!run.Start(folder, comPort))
        return std::nullopt;
    EventPump::PumpEvents();
    if (run.OpenForWait()) {
        ShowStatus(QStringLiteral("Reflashing! it should take about 30s"));
        // No time-out and no event loop: the windows freeze until the
        // program has ended, so nothing else can reach for the port.
        run.WaitForEnd();
        ClearStatus();
    }

    if (Clock::Now() - start < Timing::kReflashShortest) {
        MessageBox::Show(QStringLiteral("The reflash failed, please cycle the power and try again"));
        return false;
    }
    if (Clock::Now() - start <= Timing::kReflashLongest)
        return true;
    MessageBox::Show(QStringLiteral("The reflash may have failed, please cycle the power and try again"));
    return false;
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
    const std::optional<bool> good = HandOverAndFlash(comPort);
    if (!good)
        MessageBox::Show(QStringLiteral("The GPS reflash failed"));
    return good.value_or(false);
}

} // namespace VarnexCommsRoutines
