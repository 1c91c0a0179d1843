#pragma once

#include "profiles/ProfileFile.h"
#include "profiles/SetupOutputs.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The kinds of step as a profile file holds them. Each kind reads its keys
// from a StepTable and writes them to StepLines (StepKinds.cpp, beside its
// frames and texts); the file's reader and writer give both over TOML.
namespace SetupOutputs {

// One [[step]] table of a file, its keys already checked against the kind's.
// A value that is missing, of the wrong type or out of range is refused
// where it stands (the reader throws the file's fault).
class StepTable {
public:
    virtual ~StepTable() = default;
    virtual bool Has(std::string_view key) const = 0;
    // A whole number in low..high; `what` names it in a fault ("baud rate").
    virtual std::int64_t Integer(std::string_view key, std::string_view what, std::int64_t low, std::int64_t high) const = 0;
    // A number in steps of 0.1 from 0.0 to 6553.5, as a whole number of tenths.
    virtual std::int64_t Tenths(std::string_view key) const = 0;
    virtual std::string Text(std::string_view key) const = 0;
    // `count` bytes written as hex pairs: "07 01 0A".
    virtual std::vector<std::uint8_t> HexBytes(std::string_view key, std::size_t count) const = 0;
    // A list of `count` whole numbers in low..high; refused with `notSuch`
    // when it is no such list.
    virtual std::vector<std::int64_t> Integers(std::string_view key, std::size_t count, std::string_view what,
                                               std::int64_t low, std::int64_t high, std::string_view notSuch) const = 0;
    // A table of whole numbers under `key` (`[step.items]`), in the file's
    // order: each name with its value.
    virtual std::vector<std::pair<std::string, std::int64_t>> Items(std::string_view key) const = 0;
    // Refuses the step at `key`'s value, or at the table when `key` is empty.
    [[noreturn]] virtual void Refuse(std::string_view key, const std::string& what) const = 0;
};

// A step's keys as a file's lines, one "key = value" each.
class StepLines {
public:
    // `itemNotes`: where each item's value came from, written beside it.
    explicit StepLines(const std::map<std::uint32_t, std::string>* itemNotes = nullptr) : itemNotes_(itemNotes) {}
    void Integer(std::string_view key, std::int64_t value);
    void Tenths(std::string_view key, std::int64_t tenths); // 200 is written 20.0
    void Text(std::string_view key, std::string_view text);
    void Hex(std::string_view key, std::uint8_t byte);                        // 0xF0
    void HexBytes(std::string_view key, std::span<const std::uint8_t> bytes); // "07 01 0A"
    void Integers(std::string_view key, std::span<const std::uint8_t> values); // [0, 3, 7, 0]
    // A comment line above the next key: where a value came from.
    void Comment(std::string_view text);
    // One entry of the step's table of items, "name = value", its comment
    // (when given) at the line's end.
    void Item(std::string_view name, std::int64_t value, std::string_view comment = {});
    const std::string& Lines() const { return text_; }
    // The items' lines, below their table's header; empty when there are none.
    const std::string& ItemLines() const { return items_; }
    // The note of item `id`; empty when there is none.
    std::string NoteOf(std::uint32_t id) const;

private:
    const std::map<std::uint32_t, std::string>* itemNotes_;
    std::string text_;
    std::string items_;
};

// A kind of step in a file: its name (`kind = "rate"`) and the keys its
// table may hold, `kind` included.
struct FileKind {
    Step blank; // the kind, its values unset
    const char* name;
    std::span<const std::string_view> keys;
};
std::span<const FileKind> FileKinds();
const FileKind& FileKindOf(const Step& step);

// The message a step names: by `message` (a name of the output table), or
// by `class` and `id`, which beside a name must be its own. `kind` names the
// step in a fault.
struct MessageKey {
    std::uint8_t msgClass = 0, msgId = 0;
};
MessageKey ReadMessageKey(const StepTable& t, std::string_view kind);
// The same keys written: the name where the table has one, class and id always.
void WriteMessageKey(std::uint8_t msgClass, std::uint8_t msgId, StepLines& out);

// Reads a step of `kind` from `table` and adds it to `profile`.
void ReadStep(const FileKind& kind, const StepTable& table, ProfileFile::LoadedProfile& profile);
// Writes `step`'s keys.
void WriteStep(const Step& step, StepLines& lines);

} // namespace SetupOutputs
