#pragma once

#include "profiles/ProfileFile.h"
#include "receiver_config/ReceiverVersion.h"

#include <memory>
#include <string>

class SerialControl;

namespace Reading {

// Reads the configuration of the receiver on the open port, at the rate the
// port is set to, into a profile that rebuilds it on a fresh unit: the reset,
// the measurement period and navigation rate, the navigation parameter block,
// the time pulse, the rate on every port of every message the reset list and
// the built-in devices know (those that are on somewhere, and the devices'
// messages the reset leaves alone), both UART ports' rates (the port the PC is
// wired to last, so that the link moves once) and the save. Its NMEA port is
// the UART port that outputs NMEA messages, else port 1.
// Only polls go out; with `saved`, the receiver first loads its saved
// configuration into the running one (CFG-CFG, load mask only) and the link
// is followed if that moved it. Null when the receiver does not answer.
// The unit's MON-VER is asked first, and its generation decides what is
// read (u-blox 9 and 10: their key-value items); `version`, when given, gets
// its identity (left empty when it did not tell).
std::unique_ptr<ProfileFile::LoadedProfile> ReadReceiver(SerialControl& port, bool saved, const std::string& name = "Clone",
                                                         VarnexCommsRoutines::ReceiverVersion* version = nullptr);

} // namespace Reading
