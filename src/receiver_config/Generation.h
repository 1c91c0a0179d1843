#pragma once

#include "link/UbxFrame.h"
#include "receiver_config/ReceiverVersion.h"

#include <QString>

#include <optional>
#include <span>

// Which generation of u-blox receiver answers, told by its MON-VER, and what
// each generation does with each configuration message this tool sends. A
// later generation takes other forms than the older set the built-in devices
// use; knowing the unit first lets a run that cannot work on it be refused
// before it changes anything.
namespace VarnexCommsRoutines {

// u-blox numbers its generations: 4 is ANTARIS 4, then u-blox 5 to 10; the
// X20 is 20. 0 when the hardware version names none of them.
struct ReceiverKind {
    int generation = 0;
    // The protocol version, 18.00 as 1800: from the PROTVER extension, or for
    // older firmware that sends none, from the start of the software version.
    std::optional<int> protocol;
    bool protocolFromFirmware = false;
};

ReceiverKind KindOf(const ReceiverVersion& version);
// "u-blox 8", "ANTARIS 4", "u-blox X20"; "an unknown generation" for 0.
QString GenerationName(int generation);
// "18.00"; empty when the protocol is not known.
QString ProtocolText(const ReceiverKind& kind);
// For the operator: "u-blox 8 (ROM CORE 3.01 (107888), protocol 18.00)".
QString Describe(const ReceiverKind& kind, const ReceiverVersion& version);

// The forms of configuration message this tool knows, as a generation sees
// them: CFG-MSG in the older four-target form and in the form of later
// generations (a rate for each port, or for the current one) are different
// messages to a receiver, and so are the two navigation blocks.
enum class Form {
    CfgPrt,
    CfgMsgFourTargets, // 6 bytes a message: class, id, four target rates
    CfgMsgPorts,       // 8 bytes (six ports) or 3 (the current port)
    CfgRate,
    CfgCfg,
    CfgTp,             // 20 bytes, with cable and RF group delays
    CfgTp5,
    CfgNav5,
    CfgNavBlock,       // 0x06 0x03, the older 28-byte navigation block
    KeyValue,          // CFG-VALSET, VALGET, VALDEL
};

// What a generation does with a form: takes it, is known to refuse it, or
// is not known to do either (then a run goes on and the unit's own answer
// decides).
enum class Support { Takes, Refuses, Unsure };

Support SupportOf(Form form, int generation);
// "CFG-TP", "CFG-MSG (four-target form)".
const char* FormName(Form form);
// The form of a configuration command or poll; nothing for a frame of
// another kind (MON-VER, an output message) or one too short to tell.
std::optional<Form> FormOf(std::span<const std::uint8_t> frame);

} // namespace VarnexCommsRoutines
