#include "support/SupportFunctions.h"

namespace SupportFunctions {

std::uint8_t HighByte(std::int32_t value)
{
    if (value < 0 || value > 65535)
        return 0;
    return static_cast<std::uint8_t>(value / 256);
}

std::uint8_t LowByte(std::int32_t value)
{
    if (value < 0 || value > 32767)
        return 0;
    return static_cast<std::uint8_t>(value - 256 * HighByte(value));
}

std::uint8_t ByteOfValue(std::int32_t value, std::int32_t byteNumber)
{
    if (value < 0 || byteNumber < 0 || byteNumber > 3)
        return 0;
    for (std::int32_t i = 0; i < byteNumber; ++i)
        value /= 256;
    return static_cast<std::uint8_t>(value % 256);
}

} // namespace SupportFunctions
