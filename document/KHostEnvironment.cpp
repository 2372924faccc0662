#include "document/KHostEnvironment.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>

namespace {

KDoubleClickThresholds& currentDoubleClick() {
    static KDoubleClickThresholds thresholds;
    return thresholds;
}

// A whole positive decimal number that fits an int, nothing else.
std::optional<int> positiveDecimal(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || ptr != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

KDoubleClickThresholds KHostEnvironment::doubleClick() {
    return currentDoubleClick();
}

void KHostEnvironment::setDoubleClick(const KDoubleClickThresholds& thresholds) {
    currentDoubleClick() = thresholds;
}

KDoubleClickThresholds KHostEnvironment::readDoubleClick(const ISettingsStore& store,
                                                         std::string_view keyPath) {
    std::string prefix(keyPath);
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    KDoubleClickThresholds thresholds;
    const auto replace = [&](int& field, const char* name) {
        if (const auto value = positiveDecimal(store.readString(prefix + name))) {
            field = *value;
        }
    };
    replace(thresholds.intervalMs, "DoubleClickSpeed");
    replace(thresholds.width, "DoubleClickWidth");
    replace(thresholds.height, "DoubleClickHeight");
    return thresholds;
}

std::filesystem::path KHostEnvironment::installFolder() {
    if (const char* overridden = std::getenv("TESSEL_INSTALL_DIR");
        overridden != nullptr && *overridden != '\0') {
        return std::filesystem::path(overridden);
    }
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || program.empty()) {
        return {};
    }
    return program.parent_path().parent_path();
}
