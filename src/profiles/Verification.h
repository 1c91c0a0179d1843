#pragma once

#include "link/UbxFrame.h"
#include "profiles/SetupOutputs.h"

#include <QString>

class SerialControl;

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Reading a receiver's configuration back and comparing it with what a
// device's run sets. The expected state is derived from the same step table
// and reset list the run sends, by replaying the frames they produce, so it
// cannot drift from what the run does.
namespace Verification {

// One compared field of a configuration payload, little-endian, unsigned.
struct Field {
    const char* name;
    int offset;
    int size;
};

// What one poll should read back.
struct Expectation {
    QString name;                          // "CFG-PRT port 2", "CFG-MSG F0 04", "CFG-RATE"
    uBloxLowLevelComms::UbxBuffer poll;    // the whole request, checksum filled
    std::uint8_t msgClass = 0;             // of the reply
    std::uint8_t msgId = 0;
    std::vector<std::uint8_t> payload;     // what the reply should carry
    std::span<const Field> fields;         // the fields compared
};

// Which configuration an item was read from: the one the receiver runs, or
// the one saved in its flash, which it starts with at its next power-up.
enum class State { Running, Saved };

// One compared field: "CFG-MSG F0 04 port 2", wanted 5, read 0. `read` is
// empty when the receiver did not answer the poll.
struct Item {
    QString name;
    std::int64_t want = 0;
    std::optional<std::int64_t> read;
    bool equal = false;
    State state = State::Running;
};

// How a read-back ended: every item compared (equal or not), or the port
// vanished under it (an adapter pulled), which ends it at once.
enum class ReadBackEnd { Compared, PortLost };

struct ReadBack {
    ReadBackEnd end = ReadBackEnd::Compared;
    std::vector<Item> items;
    // False when the receiver did not load its saved configuration, or did
    // not answer after the load: every saved item is then unread.
    bool savedRead = false;
};

// The configuration a run of `profile` leaves in the receiver: CFG-PRT of
// ports 0 to 3 (mode, rate and protocol masks on the UART ports 1 and 2; the
// protocol masks only on DDC and USB, which have no rate), CFG-RATE, CFG-NAV, CFG-TP, and CFG-MSG of every message the
// reset and the profile touch (reset order, then the profile's others).
std::vector<Expectation> ExpectedState(const SetupOutputs::Profile& profile);

// Compares a reply payload with an expectation, field by field. A payload too
// short for the fields (no reply) gives items with nothing read.
std::vector<Item> Compare(const Expectation& expectation, const std::vector<std::uint8_t>& reply);

// True when every item is equal (and there is at least one).
bool AllEqual(const std::vector<Item>& items);

// "running CFG-MSG F0 04 port 2: want 5, read 0"; "saved ...: want 5, no reply".
QString Describe(const Item& item);
// "running" or "saved".
QString StateName(State state);

// Reads the configuration back over `port`, open, at the rate it is set to:
// each expectation's poll, compared with its reply; then CFG-CFG loads the
// saved configuration into the running one (what the next power-up does),
// the link is followed if that moved it, and every poll is sent again. Only
// polls and the load go out: nothing is set, cleared or saved.
ReadBack ReadBackRunningAndSaved(SerialControl& port, const std::vector<Expectation>& expected);

} // namespace Verification
