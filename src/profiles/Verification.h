#pragma once

#include "link/UbxFrame.h"
#include "link/UbxMessages.h"
#include "profiles/SetupOutputs.h"

#include <QByteArray>
#include <QString>

class SerialControl;

#include <cstdint>
#include <optional>
#include <vector>

// Proving a receiver's configuration: reading it back and comparing it with
// what a device's run sets. The expected state is derived from the values
// the device's steps ask for, field by field, on a path of its own: a frame
// builder that encodes a value wrongly is caught, not replayed.
namespace Verification {

// One field a poll should read back, and its value.
struct Want {
    const UbxMessages::Field* field;
    QString label;       // "mode", "port 2", "measRate"
    std::int64_t value;
    // The bits that carry meaning: a bit field is judged by its defined
    // fields only, never by reserved bits a unit may set.
    std::int64_t mask = -1;
    // A key-value item: the want is found in a VALGET reply by this key
    // (its field only sizes it); 0 for a field of a fixed layout.
    std::uint32_t key = 0;
};

// What one poll should read back.
struct Expectation {
    QString name;                          // "CFG-PRT port 2", "CFG-MSG F0 04", "CFG-RATE"
    uBloxLowLevelComms::UbxBuffer poll;    // the whole request, checksum filled
    const UbxMessages::Message* message;   // of the reply
    std::vector<Want> wants;               // the fields compared
    int port = -1;                         // CFG-PRT: the receiver port it reads
    // Key-value items of the UART the PC is on (its rate, its character
    // format): read where the unit answers, before the proof moves its link.
    bool linkItems = false;
};

// Which configuration an item was read from: the one the receiver runs, or
// the one saved in its flash, which it starts with at its next power-up.
enum class State { Running, Saved };

// One compared field: "CFG-MSG F0 04 port 2", wanted 5, read 0. `read` is
// empty when the receiver did not answer the poll; `rate` is the PC's rate
// (bit/s) the item was read at.
struct Item {
    QString name;
    std::int64_t want = 0;
    std::optional<std::int64_t> read;
    bool equal = false;
    State state = State::Running;
    std::int32_t rate = 0;
};

// How a proof ended: every item compared (equal or not); the port vanished
// under it (an adapter pulled); the receiver stopped answering, before or
// after it loaded its saved configuration; or it refused to load it.
enum class ReadBackEnd { Compared, PortLost, LinkLost, LinkLostAfterLoad, LoadRefused };

struct ReadBack {
    ReadBackEnd end = ReadBackEnd::Compared;
    std::vector<Item> items;
    // True once the receiver loaded its saved configuration and answered after it.
    bool savedRead = false;
    // The receiver's MON-VER reply, read on the way; empty when it gave none.
    QByteArray version;
    // A load's acknowledgement never came (lost, or damaged on the line)
    // while the receiver answered after it: what it held then was read and
    // judged, as after an acknowledged load.
    bool loadUnanswered = false;
    // Whether the proof left the receiver as it found it (running what it
    // saved, once loaded): false where that could not be done, its link then
    // left at `leftAt` bit/s (0 when where it is left is unknown).
    bool putBack = true;
    std::int32_t leftAt = 0;
};

// The configuration a run of `profile` leaves in the receiver: CFG-PRT of
// ports 0 to 3 (mode, rate and protocol masks on the UART ports 1 and 2; the
// protocol masks only on DDC and USB, which have no rate), CFG-RATE, CFG-NAV, CFG-TP, and CFG-MSG of every message the
// reset and the profile touch (reset order, then the profile's others).
std::vector<Expectation> ExpectedState(const SetupOutputs::Profile& profile);
// The rate `port` is expected to run at (its saved baudRate), when expected.
std::optional<std::int32_t> SavedRate(const std::vector<Expectation>& expected, int port);
// The rates a configured unit's link can be found at: the saved rates of the
// UART ports, port 1's (where a bench usually wires the PC) first.
std::vector<std::int32_t> LinkRates(const std::vector<Expectation>& expected);
// Opens `port` and looks for a unit to be proven where its profile leaves its
// link (LinkRates first). Asked at port 1's saved rate, the unit is polled
// for port 1 and that port moved to the proof's reading rate in the same
// breath: on a slow, busy line one wait behind its output instead of two.
// The link as SetupOutputs::FindReceiver gives it, ready for Prove.
std::optional<SetupOutputs::FoundLink> FindForProof(SerialControl& port, const std::vector<Expectation>& expected);

// Undoes what FindForProof changed (a port its search moved, the link with
// it) for a proof that does not go on. False where that could not be done.
bool PutBackFound(SerialControl& port, const SetupOutputs::FoundLink& found);

// Compares a reply payload with an expectation, field by field. A payload too
// short for the fields (no reply) gives items with nothing read.
std::vector<Item> Compare(const Expectation& expectation, const std::vector<std::uint8_t>& reply);

// True when every item is equal (and there is at least one).
bool AllEqual(const std::vector<Item>& items);

// "running CFG-MSG F0 04 port 2: want 5, read 0"; "saved ...: want 5, no reply".
QString Describe(const Item& item);
// "running" or "saved".
QString StateName(State state);
// What the end of a proof means, for the operator: "link lost after the load".
QString EndName(ReadBackEnd end);

// Where a proof starts: a receiver just found by the search (`link` as the
// search told it, the port open at its rate), or one just configured and
// saved by a run (the port open at the rate the run left it at), whose
// running configuration is what was sent, so only the saved one is read.
enum class Start { Found, JustConfigured };

// Proves the configuration over `port`. Each state is read the same way:
// the link port's own settings at the rate the receiver answers, then, on a
// UART link, the running link moved to 115200 with those same settings and
// every other item read there. The saved state is read after CFG-CFG loads
// it (what the next power-up does), and a last load leaves the receiver
// running exactly what it saved. Only polls, the link moves and the loads go
// out: nothing is set for good, cleared or saved. Whatever way the proof
// ends, what it changed is undone where the receiver still answers: the link
// moved back (a refused load), or a last load (ReadBack::putBack).
// The receiver's MON-VER is read on the way (ReadBack::version) unless
// `askVersion` is false (its identity known already).
ReadBack Prove(SerialControl& port, const std::vector<Expectation>& expected, Start start,
               const SetupOutputs::FoundLink& link = {}, bool askVersion = true);

} // namespace Verification
