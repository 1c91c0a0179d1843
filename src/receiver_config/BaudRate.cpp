#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

using namespace uBloxLowLevelComms;
using SupportFunctions::Delay;

namespace VarnexCommsRoutines {
namespace {

constexpr int kMaxReopenCycles = 10;

} // namespace

QString SetBaudRateStatus(std::int32_t baudRate, std::int32_t receiverPort)
{
    return QStringLiteral("Setting Baud Rate=%1 Port=%2").arg(baudRate).arg(receiverPort);
}

bool SetBaudRate(std::int32_t baudRate, BaudMode mode, std::int32_t receiverPort)
{
    return SetBaudRate(CommsFrm::SerialPort(), baudRate, mode, receiverPort);
}

bool SetBaudRate(SerialControl& port, std::int32_t baudRate, BaudMode mode, std::int32_t receiverPort)
{
    SupportFunctions::ShowStatus(SetBaudRateStatus(baudRate, receiverPort));
    UbxBuffer frame = Payloads::CfgPrt(baudRate, receiverPort);
    bool answered = true;
    if (mode == BaudMode::SendOnly) {
        SendUbxMessage(port, frame);
    } else {
        FlushSerialInput(port);
        SendUbxMessage(port, frame);
        // The receiver does not acknowledge reliably across its own rate
        // change, so success is judged by a poll. A poll at the old rate that
        // goes unanswered means the link itself moved: the PC follows.
        int cycles = 0;
        for (;;) {
            answered = ReadConfiguration(port).has_value();
            if (answered || cycles >= kMaxReopenCycles)
                break;
            ++cycles;
            port.SetPortOpen(false);
            port.SetSettings(QStringLiteral("%1,N,8,1").arg(baudRate));
            Delay(Timing::kBaudClosePause);
            port.SetPortOpen(true);
            Delay(Timing::kBaudReopenPause);
        }
    }
    SupportFunctions::ClearStatus();
    return answered;
}

} // namespace VarnexCommsRoutines
