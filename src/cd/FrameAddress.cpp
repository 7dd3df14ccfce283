#include "FrameAddress.h"

#include <cmath>
#include <limits>

namespace {

// Every operand fits in 32 bits, so every sum, difference and product fits in 64: the
// result is computed there and range-checked, the same on every compiler.
std::int32_t narrowed(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min()
        || value > std::numeric_limits<std::int32_t>::max())
        throw FrameOverflow();
    return static_cast<std::int32_t>(value);
}

} // namespace

std::int32_t checkedAdd(std::int32_t a, std::int32_t b)
{
    return narrowed(std::int64_t{a} + b);
}

std::int32_t checkedSub(std::int32_t a, std::int32_t b)
{
    return narrowed(std::int64_t{a} - b);
}

std::int32_t checkedMul(std::int32_t a, std::int32_t b)
{
    return narrowed(std::int64_t{a} * b);
}

std::int32_t frameAddress(const TocTime &entry)
{
    return checkedAdd(
        checkedMul(checkedAdd(checkedMul(entry.minutes, 60), entry.seconds), 75), entry.frames);
}

QString FormaterDuree(std::int32_t start, std::int32_t end)
{
    const std::int32_t d = checkedSub(end, start);
    // Floor, not truncation: a negative span still gives whole seconds below it.
    const auto s = static_cast<std::int64_t>(std::floor(static_cast<double>(d) / 75.0));
    const std::int64_t rest = s % 60; // sign of s, as the integer remainder gives it
    const std::int64_t m = (s - rest) / 60;
    const auto twoDigits = [](std::int64_t v) {
        return v < 0 ? QStringLiteral("-%1").arg(-v, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
    };
    return twoDigits(m) + QLatin1Char(':') + twoDigits(rest);
}
