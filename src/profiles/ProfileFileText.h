#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text of a profile file around the TOML parser. The parser is handed
// ASCII only: every character beyond ASCII becomes one stand-in, so that the
// parser's lines and columns (it counts a column per character) are those of
// the file, and what a string holds is taken back from the file itself.
namespace ProfileFileText {

// A line and a column as the parser counts them: both from 1, one column per
// character (not per byte).
struct Where {
    std::uint32_t line = 0, column = 0;
};

// Stands for every character beyond ASCII in the parser's copy. It may stand
// only inside strings and comments, as the characters it replaces.
inline constexpr char kStandIn = '?';

// The file without a leading byte-order mark.
std::string_view WithoutByteOrderMark(std::string_view text);

// Where `text` first breaks UTF-8 (a stray continuation byte, a truncated,
// overlong or surrogate sequence, or a value above U+10FFFF); none when it is
// UTF-8 throughout.
std::optional<Where> FirstInvalid(std::string_view text);

// `text` (valid UTF-8) with each character beyond ASCII replaced by kStandIn.
std::string ToAscii(std::string_view text);

// The bytes of the character at `where`, or empty when nothing stands there.
std::string_view CharacterAt(std::string_view text, Where where);

// The value of the TOML string whose opening quote stands at `where` in
// `text`; the parser has accepted it, so it is well formed.
std::string StringAt(std::string_view text, Where where);

// `text` with each control character (a line break among them) as a space,
// for a comment, which ends at the line's end.
std::string OneLine(std::string_view text);

// The parser's description of a syntax fault at `where`, in this program's
// own words.
std::string SyntaxFault(std::string_view text, Where where, std::string_view description);

} // namespace ProfileFileText
