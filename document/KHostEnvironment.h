#pragma once

// What the windows need from the desktop and the installation, kept apart from user settings.
//
// Double-click thresholds belong to the desktop: the application sets them from its GUI toolkit
// at start; without a GUI (command line, tests) the usual defaults of 400 ms and 4 by 4 pixels
// stand. A store may also carry them as decimal texts, which replace the defaults when present.
//
// The installation folder is the parent of the folder holding the running program
// (/usr for /usr/bin/tessel-wave), unless TESSEL_INSTALL_DIR names another.

#include "document/ISettingsStore.h"

#include <filesystem>
#include <string_view>

struct KDoubleClickThresholds {
    int intervalMs = 400;
    int width = 4;  // pixels
    int height = 4; // pixels

    bool operator==(const KDoubleClickThresholds&) const = default;
};

class KHostEnvironment {
public:
    static KDoubleClickThresholds doubleClick();
    static void setDoubleClick(const KDoubleClickThresholds& thresholds);
    // The defaults, each replaced by "DoubleClickSpeed", "DoubleClickWidth" or
    // "DoubleClickHeight" under keyPath when that holds a positive decimal text.
    static KDoubleClickThresholds readDoubleClick(const ISettingsStore& store,
                                                  std::string_view keyPath);

    // Empty when neither the override nor the running program can be found.
    static std::filesystem::path installFolder();
};
