#include "link/UbxMessages.h"

#include <cstring>

namespace UbxMessages {

const Message* Find(std::uint8_t msgClass, std::uint8_t msgId)
{
    for (const Message* m : kMessages)
        if (m->msgClass == msgClass && m->msgId == msgId)
            return m;
    return nullptr;
}

const Field* FieldOf(const Message& message, const char* name)
{
    for (const Field& f : message.fields)
        if (std::strcmp(f.name, name) == 0)
            return &f;
    return nullptr;
}

QString Hex(std::uint8_t byte) { return QStringLiteral("%1").arg(int{byte}, 2, 16, QLatin1Char('0')).toUpper(); }

QString Name(std::uint8_t msgClass, std::uint8_t msgId)
{
    if (const Message* m = Find(msgClass, msgId))
        return QLatin1String(m->name);
    return Hex(msgClass) + u' ' + Hex(msgId);
}

const Message* FindOutput(std::uint8_t msgClass, std::uint8_t msgId)
{
    for (const Message& m : kOutputMessages)
        if (m.msgClass == msgClass && m.msgId == msgId)
            return &m;
    return nullptr;
}

const Message* FindOutput(std::string_view name)
{
    for (const Message& m : kOutputMessages)
        if (name == m.name)
            return &m;
    return nullptr;
}

} // namespace UbxMessages
