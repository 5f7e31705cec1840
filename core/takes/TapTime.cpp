#include "TapTime.h"

namespace {

// More digits than this are refused even when they are leading zeros: the
// limit that take files have always had (18 digits cannot overflow the
// 64-bit sum below).
constexpr size_t MaxTapTimeDigits = 18;

}  // namespace

bool ParseTapTime(std::string_view word, uint32_t& value)
{
    if (word.empty() || word.size() > MaxTapTimeDigits)
        return false;
    uint64_t number = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}
