#include "app/TimeText.h"

#include <array>
#include <utility>

std::string timeText(SimTime time) {
    if (time == kNoTime)
        return "none";
    static constexpr std::array<std::pair<SimTime, const char*>, 4> kUnits{
        {{1000000000000, "s"}, {1000000000, "ms"}, {1000000, "us"}, {1000, "ns"}}};
    for (auto [scale, unit] : kUnits)
        if (time != 0 && time % scale == 0)
            return std::to_string(time / scale) + " " + unit;
    return std::to_string(time) + " ps";
}
