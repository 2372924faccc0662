// Formulas must survive any text: CheckFormula and GetErrorDescription never crash, a formula
// that CheckFormula accepts parses, and its evaluation over a short range yields times inside the
// range that never go back.
#include "storage/Formula.h"
#include "storage/KFormulaIterator.h"
#include "storage/KTypeInfo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (TimeUnit unit : {Fs, Ps, Ns, Hr}) {
        FormulaErrorCode code = FormulaErrorCode::None;
        int position = CheckFormula(text, code, unit);
        char buffer[255];
        int length = GetErrorDescription(code, buffer, 255, text, position, unit);
        if (length < 0 || length > 254 || std::strlen(buffer) != static_cast<std::size_t>(length))
            std::abort();
        FormulaResult formula = parseFormula(text, unit);
        if ((position == -1) != formula.hasValue())
            std::abort();
        if (!formula)
            continue;
        static const auto stdLogic = KTypeInfo::fromString("e#9#std_logicc9 UX01ZWLH-");
        (void)checkFormulaValues(*formula, *stdLogic);
        for (SimTime start : {SimTime{0}, SimTime{1'000'000}, kMaxTime - 1000}) {
            const SimTime end = start + 1000;
            KFormulaIterator iterator(*formula, start, end);
            SimTime previous = start;
            for (int count = 0; count < 10000; ++count) {
                auto event = iterator.next();
                if (!event)
                    break;
                if (event->time < previous || event->time >= end)
                    std::abort();
                previous = event->time;
            }
        }
    }
    return 0;
}
