#pragma once

#include "profiles/SetupOutputs.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A device table kept in a TOML file, so that a golden unit can be cloned and
// a device added without rebuilding the program. The format is told key by
// key in docs/PROFILE_FILES.md. A loaded file runs through the same runners
// and the same verification as the built-in table.
namespace ProfileFile {

// One device read from a file (or from a receiver): it owns every string, the
// steps and their payload bytes, and lends them out as a SetupOutputs::Profile.
// Neither copied nor moved, so that the lent pointers stay valid.
class LoadedProfile {
public:
    // Captions and the key come from `name`; empty messages get the defaults
    // DefaultConnectFailure() and DefaultSuccess(name).
    LoadedProfile(std::string name, std::int32_t nmeaPort, std::string connectFailure = {}, std::string success = {});
    LoadedProfile(const LoadedProfile&) = delete;
    LoadedProfile& operator=(const LoadedProfile&) = delete;

    // Appends a step; the bytes it carries (a navigation block, four port
    // rates, key-value items) are copied.
    void Add(SetupOutputs::Step step);
    // The receiver generations the profile is written for.
    void SetGenerations(std::vector<int> generations);
    // A translated profile's notes, which its file carries: where an item's
    // value came from, a comment above a step, and the settings of the
    // device that have no counterpart in the generation's messages.
    void NoteItem(std::uint32_t id, std::string from) { itemNotes_[id] = std::move(from); }
    void NoteStep(std::size_t index, std::string note) { stepNotes_[index] = std::move(note); }
    void SetUntranslated(std::vector<std::string> settings) { untranslated_ = std::move(settings); }
    const std::map<std::uint32_t, std::string>& ItemNotes() const { return itemNotes_; }
    const std::map<std::size_t, std::string>& StepNotes() const { return stepNotes_; }
    const std::vector<std::string>& Untranslated() const { return untranslated_; }
    const SetupOutputs::Profile& Profile() const { return profile_; }

private:
    std::string key_, name_, connectFailure_, success_;
    std::vector<SetupOutputs::Step> steps_;
    std::deque<std::vector<std::uint8_t>> payloads_; // stable addresses for the steps' spans
    std::deque<std::vector<Payloads::KeyValue>> items_;
    std::vector<int> generations_;
    std::map<std::uint32_t, std::string> itemNotes_;
    std::map<std::size_t, std::string> stepNotes_;
    std::vector<std::string> untranslated_;
    std::span<const std::uint8_t> Keep(std::span<const std::uint8_t> bytes);
    SetupOutputs::Profile profile_{};
};

// "Failed to connect to the GPS module, please check it is connected correctly"
std::string DefaultConnectFailure();
// "Configured for use with <name>"
std::string DefaultSuccess(std::string_view name);

// The profile as a file: a header comment, the device's keys, then one
// [[step]] table per step in order. Reading it back gives a device that sends
// the same frames.
std::string Write(const SetupOutputs::Profile& profile);
// The same, with the notes a translated profile carries.
std::string Write(const LoadedProfile& profile);

struct ReadResult {
    std::unique_ptr<LoadedProfile> profile; // null when the file is refused
    std::string error;                      // "FILE:LINE:COLUMN: what", one line
};
// Parses and checks a whole file; `fileName` only names it in the error. A
// file is refused at its first fault: bad syntax, an unknown key, a step of
// an unknown kind, a value out of range, a first step other than the reset
// or a last step other than the save.
ReadResult Read(std::string_view text, std::string_view fileName);

} // namespace ProfileFile
