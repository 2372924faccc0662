#include "app/Verbs.h"

int runTypesVerb(const std::vector<std::string_view>& args) {
    if (args.size() != 1)
        return usageError("types", "expected one FILE");
    return 0;
}
