#include "profiles/ProfileFileText.h"


namespace ProfileFileText {
namespace {

bool Continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the UTF-8 character starting at `at`, or 0 when the bytes
// there are not one (RFC 3629: shortest form, no surrogates, U+10FFFF at most).
std::size_t CharacterLength(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return 1;
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if (!Continuation(static_cast<unsigned char>(text[at + i])))
            return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90)
        || (lead == 0xF4 && second > 0x8F))
        return 0; // overlong, a surrogate, or beyond U+10FFFF
    return length;
}

// The byte offset of `where` in `text`, or text.size() when it lies beyond.
std::size_t OffsetOf(std::string_view text, Where where)
{
    std::size_t at = 0;
    for (std::uint32_t line = 1; line < where.line && at < text.size(); ++line) {
        const std::size_t end = text.find('\n', at);
        at = end == std::string_view::npos ? text.size() : end + 1;
    }
    for (std::uint32_t column = 1; column < where.column && at < text.size() && text[at] != '\n'; ++column) {
        ++at;
        while (at < text.size() && Continuation(static_cast<unsigned char>(text[at])))
            ++at;
    }
    return at;
}

void AppendUtf8(std::string& out, std::uint32_t value)
{
    if (value < 0x80) {
        out += char(value);
    } else if (value < 0x800) {
        out += char(0xC0 | value >> 6);
        out += char(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += char(0xE0 | value >> 12);
        out += char(0x80 | (value >> 6 & 0x3F));
        out += char(0x80 | (value & 0x3F));
    } else {
        out += char(0xF0 | value >> 18);
        out += char(0x80 | (value >> 12 & 0x3F));
        out += char(0x80 | (value >> 6 & 0x3F));
        out += char(0x80 | (value & 0x3F));
    }
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One escape of a basic string, `at` on the backslash; moves `at` past it.
void Unescape(std::string_view text, std::size_t& at, std::string& out)
{
    const char code = text[at + 1];
    at += 2;
    constexpr std::string_view kCodes = "btnfr\"\\", kValues = "\b\t\n\f\r\"\\";
    if (const auto simple = kCodes.find(code); simple != std::string_view::npos) {
        out += kValues[simple];
        return;
    }
    const std::size_t digits = code == 'u' ? 4 : 8;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char d = text[at + i];
        value = value * 16 + std::uint32_t(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
    }
    at += digits;
    AppendUtf8(out, value);
}

struct Rephrased {
    std::string_view needle; // in the parser's description
    std::string_view said;   // what this program says instead
};
// First match wins: the more particular descriptions come first.
constexpr Rephrased kRephrased[] = {
    {"cannot redefine", "this key or table is already defined"},
    {"cannot insert", "this key or table is already defined"},
    {"nested value depth", "values are nested too deeply"},
    {"expected '=', saw", "expected = after the key"},
    {"value-terminator", "unexpected text after the value"},
    {"expected value or closing ']'", "two commas in a row in a list"},
    {"expected value, saw", "expected a value"},
    {"could not determine value type", "not a value (text needs quotes)"},
    {"closing ']'", "expected , or ] in the list"},
    {"expected ']'", "expected ] to close the table name"},
    {"'}'", "a table in braces { } is not closed properly"},
    {"key-value pair", "a table in braces { } is not closed properly"},
    {"bare key", "expected a key: letters, digits, - and _, or a quoted name"},
    {"expected keys, tables", "expected a key, a [table] or a comment"},
    {"comment or whitespace", "unexpected text after the value"},
    {"line-ending backslash", "a backslash that ends a line must be the last thing on it"},
    {"escape", "unknown escape sequence in a string"},
    {"surrogate", "the escape names no character"},
    {"U+10FFFF", "the escape names no character"},
    {"control character", "a control character in a string must be escaped"},
    {"after '\\r'", "a carriage return must be followed by a line feed"},
    {"end-of-file", "the file ends in the middle of a value"},
    {"leading zero", "a number must not start with 0"},
    {"underscore", "an underscore in a number must stand between digits"},
    {"-digit", "a malformed date or time"},
    {" between ", "a date or time out of range"},
    {"digit", "a malformed number"},
    {"exponent", "a malformed number"},
    {"fractional", "a malformed number"},
    {"length limit", "a number too long"},
    {"too long", "a number too long"},
};

} // namespace

std::string_view WithoutByteOrderMark(std::string_view text)
{
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    return text.starts_with(kMark) ? text.substr(kMark.size()) : text;
}

std::optional<Where> FirstInvalid(std::string_view text)
{
    Where where{1, 1};
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = CharacterLength(text, at);
        if (length == 0)
            return where;
        if (text[at] == '\n')
            where = {where.line + 1, 1};
        else
            ++where.column;
        at += length;
    }
    return std::nullopt;
}

std::string ToAscii(std::string_view text)
{
    std::string ascii;
    ascii.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            ascii += c;
        else if (!Continuation(byte))
            ascii += kStandIn;
    }
    return ascii;
}

std::string_view CharacterAt(std::string_view text, Where where)
{
    const std::size_t at = OffsetOf(text, where);
    if (at >= text.size())
        return {};
    std::size_t end = at + 1;
    while (end < text.size() && Continuation(static_cast<unsigned char>(text[end])))
        ++end;
    return text.substr(at, end - at);
}

std::string StringAt(std::string_view text, Where where)
{
    std::size_t at = OffsetOf(text, where);
    const char quote = text[at];
    const bool multiLine = text.substr(at, 3) == std::string(3, quote);
    at += multiLine ? 3 : 1;
    if (multiLine && text[at] == '\r')
        ++at;
    if (multiLine && text[at] == '\n')
        ++at; // a line break right after the opening quotes is not part of the value
    std::string value;
    while (at < text.size()) {
        const char c = text[at];
        if (c == quote) {
            std::size_t run = 1;
            while (multiLine && run < 5 && at + run < text.size() && text[at + run] == quote)
                ++run;
            if (!multiLine || run >= 3) {
                value.append(multiLine ? run - 3 : 0, quote);
                break;
            }
            value.append(run, quote);
            at += run;
        } else if (c == '\\' && quote == '"') {
            if (multiLine && Blank(text[at + 1])) {
                for (++at; at < text.size() && Blank(text[at]); ++at) {
                    // a backslash at the end of a line drops the line break and the blanks after it
                }
            } else {
                Unescape(text, at, value);
            }
        } else if (c == '\r' && multiLine) {
            ++at; // the parser keeps a CR LF line break as LF
        } else {
            value += c;
            ++at;
        }
    }
    return value;
}

std::string OneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return line;
}

std::string SyntaxFault(std::string_view text, Where where, std::string_view description)
{
    if (const std::string_view character = CharacterAt(text, where);
        !character.empty() && static_cast<unsigned char>(character[0]) >= 0x80)
        return std::string(character) + " may stand only inside a quoted string or a comment";
    // "Error while parsing SCOPE: REASON": the reason alone tells the fault.
    if (const auto colon = description.find(": "); description.starts_with("Error while parsing") && colon != std::string_view::npos)
        description.remove_prefix(colon + 2);
    for (const Rephrased& r : kRephrased)
        if (description.find(r.needle) != std::string_view::npos)
            return std::string(r.said);
    return "not valid TOML here";
}

} // namespace ProfileFileText
