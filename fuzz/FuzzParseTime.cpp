// ParseTime must survive any text, and what it accepts must format and read back unchanged.
#include "storage/TimeFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (TimeUnit unit : {Fs, Ps, Ns, Hr}) {
        auto parsed = ParseTime(text, unit);
        if (!parsed)
            continue;
        for (TimeUnit exact : {Fs, Ps}) {
            auto again = ParseTime(FormatTime(parsed->time, true, exact, 0), Hr);
            if (!again || again->time != parsed->time)
                std::abort();
        }
        (void)FormatTime(parsed->time, true, kAutomaticUnit, 0);
        (void)FormatTime(parsed->time, false, Min, 9);
    }
    return 0;
}
