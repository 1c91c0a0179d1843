#pragma once

#include "receiver_config/KeyPayloads.h"
#include "receiver_config/ResetForm.h"

#include <QByteArray>
#include <QString>

class SerialControl;

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <variant>

// The fixed configuration of each target device into which the Varnex module
// is fitted: a table of receiver operations run in order, stopping at the
// first that fails, and ending with one message to the operator.
namespace SetupOutputs {

// The kinds of step, each with its own values. A device read from a file may
// carry bytes of its own (the navigation block, a message's four port rates);
// the built-in tables carry none, and the bytes belong to whoever owns the table.
// Everything a kind does (its operation, frames, texts, file keys) is its
// block in StepKinds.cpp; a kind missing a function there does not build.
using VarnexCommsRoutines::ResetForm;
struct Reset {                              // the known state: link rate, rate, messages off
    ResetForm form = ResetForm::FourTargets;
};
struct Rate {                               // CFG-RATE
    float period = 0;                       // measurement period, ms (every 16-bit value exactly)
    std::uint16_t navRate = 0;              // measurement cycles per navigation solution
};
struct Navigation {                         // CFG-NAV
    std::span<const std::uint8_t> block{};  // a whole 28-byte block, or empty for the fixed one
};
struct TimePulse {                          // CFG-TP, in the unit's own µs
    std::int32_t interval = 0;              // µs between pulses
    std::int32_t length = 0;                // µs
};
// A time pulse given in whole ms, as the built-in tables give it.
constexpr TimePulse PulseMs(std::int32_t intervalMs, std::int32_t lengthMs) { return {intervalMs * 1000, lengthMs * 1000}; }
struct MessageRate {                        // CFG-MSG
    std::uint8_t msgClass = 0, msgId = 0;
    std::uint8_t rate = 0;                  // solutions per output, 0 = off
    std::int32_t port = 0;                  // receiver port 0..3; the message goes off on the others
    std::span<const std::uint8_t> rates{};  // ports 0..3 at once, when it runs on several
};
struct BaudRate {                           // CFG-PRT, confirmed: the PC follows where needed
    std::int32_t rate = 0;                  // bit/s
    std::int32_t port = 0;                  // receiver port 0..3
};
struct Save {};                             // CFG-CFG: everything to flash
// Of later generations, each whole in its step:
struct Navigation5 {                        // CFG-NAV5: the fields its mask names apply
    std::array<std::uint8_t, 36> block{};
};
struct TimePulse5 {                         // CFG-TP5 of one time pulse
    std::array<std::uint8_t, 32> block{};
};
struct Output {                             // CFG-MSG, a rate for each of six ports
    std::uint8_t msgClass = 0, msgId = 0;
    std::array<std::uint8_t, 6> rates{};    // DDC, UART1, UART2, USB, SPI, reserved
};
struct Keys {                               // CFG-VALSET of items into RAM, BBR and flash
    std::span<const Payloads::KeyValue> items{};
};

using Step = std::variant<Reset, Rate, Navigation, TimePulse, MessageRate, BaudRate, Save, Navigation5, TimePulse5,
                          Output, Keys>;

// Everything the program knows about one target device: what the operator
// and scripts call it, the captions of its three buttons, the receiver port
// that carries its NMEA output, its steps and its messages.
struct Profile {
    const char* key;            // command-line name: "sculla", "pemmet", ...
    const char* name;           // "Sculla", "Pemmet", ...
    const char* setupCaption;   // button of "Set up GPS system for" (and "Reflash GPS")
    const char* nmeaCaption;    // button of "Setup NMEA output"
    std::int32_t nmeaPort;      // receiver port of the NMEA setup window
    std::span<const Step> steps;
    const char* connectFailure; // shown when the reset cannot reach the receiver
    const char* success;
    // The receiver generations the steps are written for; empty for the
    // built-in devices, whose steps are judged message by message.
    std::span<const int> generations{};
};

inline constexpr int kDeviceCount = 5;

// The five devices in button order (index 0 is the top button of each group).
std::span<const Profile> Profiles();
// The device whose key or name is `name`, in any case; nullptr when none is.
const Profile* FindProfile(const QString& name);

// Follows a run step by step, for the command line's progress and record.
struct FoundLink;
struct RunObserver {
    std::function<void(std::size_t index, const Step& step)> stepStarted;
    std::function<void(std::size_t index, const Step& step, bool succeeded)> stepEnded;
    // The fast run found the unit on `port` (`link` as found) and has sent
    // it nothing but polls: false stops the run there, the unit unchanged.
    std::function<bool(SerialControl& port, const FoundLink& link)> admit;
    // What the run found out about a step that failed, for the operator:
    // "the receiver does not know CFG-UART2-BAUDRATE".
    std::function<void(const QString& what)> noted;
};

// Runs `profile`'s steps against the receiver on `port` and shows the
// outcome. Returns true when everything was acknowledged and saved. The
// reset opens `port` at its own number (or path), or at `number`: the window
// gives the number its operator chose, since its port list's tries leave the
// control numbered elsewhere.
bool RunProfile(const Profile& profile, SerialControl& port, const RunObserver& observer = {});
bool RunProfile(const Profile& profile, SerialControl& port, int number, const RunObserver& observer = {});
// The same steps, messages and end state (receiver and flash) as RunProfile,
// paced by the line instead of fixed waits: the link is found with short
// polls, each distinct command goes out once, and a link move is confirmed by
// a poll at the new rate. Commands the receiver blind, as RunProfile does,
// only when it answers at no rate of the search in time.
// Works on `port`, which must be numbered (or given its path) as SelectedPort
// is: a receiver that answers no search is brought up by the exact run's
// port opening. `link`, when given, gets the link as the run left it.
bool RunProfileFast(const Profile& profile, SerialControl& port, const RunObserver& observer = {},
                    FoundLink* link = nullptr);

// The receiver as the fast runner's search finds it: the rate its link runs
// at, and the receiver port (0..3) the PC is wired to when the receiver told.
struct FoundLink {
    std::int32_t rate = 0;
    std::optional<int> receiverPort;
    // The receiver's CFG-PRT reply for that port (its settings), when it told.
    QByteArray settings;
    // A port the search moved on as it asked (MoveOn), and its CFG-PRT reply
    // read just before the move: its settings as the search found them. When
    // it is the link's port, the port is left open at the new rate, and
    // `rate` is still the one the receiver answered at.
    std::optional<int> movedPort;
    QByteArray movedPortSettings;
    // The receiver refused the CFG-PRT poll (a generation without it): it
    // answers at `rate`, its port not told.
    bool portPollRefused = false;
};
// A port the search moves on at the first rate it tries: read, then moved to
// `rate` with the reset's mode and protocols, right behind the link poll.
// With `below` set, the move goes out instead at every rate tried below it,
// and the port is neither read nor recorded: for a run whose reset sets every
// port afterwards, the move its link needs rides with the search.
struct MoveOn {
    int receiverPort = 1;
    std::int32_t rate = 0;
    std::int32_t below = 0;
};
// Opens `port` and looks for the receiver at each rate of the fast
// runner's search with CFG-PRT polls, which change nothing in the receiver.
// On success the port stays open at the rate found; otherwise it is closed.
// Nothing when the port does not open or no rate answers. The rates in
// `first` (where the receiver is expected) are tried before the others;
// `moveOn` goes out with the poll at the first of them.
std::optional<FoundLink> FindReceiver(SerialControl& port, std::span<const std::int32_t> first = {},
                                      std::optional<MoveOn> moveOn = std::nullopt);

// The message shown when `step` fails in `profile`'s run.
const char* FailureMessage(const Profile& profile, const Step& step);
// The one step loop of both runners: runs each step through `runStep`,
// telling `observer`, stops at the first that fails with its message, and
// ends with the device's success message.
// With `declined` set once the run ends, the failure message is not shown:
// the run stopped because the observer's admit said no.
bool RunSteps(const Profile& profile, const RunObserver& observer, const std::function<bool(const Step&)>& runStep,
              const bool* declined = nullptr);

} // namespace SetupOutputs
