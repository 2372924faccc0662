#pragma once

// User preferences of the waveform windows: colours, flags, integers, times, texts and fonts,
// each a typed table of named entries with defaults.
//
// Every KWVConfig made with the default constructor reaches the same process-wide tables, so a
// colour changed through one document is seen by all others at once, and whichever document
// closes last writes the shared values. separate() makes a config with tables of its own, for
// tests and tools that must not disturb the shared ones.
//
// Nothing touches a store until load() or save(): setters change only the current values.

#include "document/ISettingsStore.h"
#include "document/KConfig.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A font by description; the view layer turns it into a platform font.
struct KFontDesc {
    std::string family;
    int pointSize = 10;
    int weight = 400; // 100 (thin) to 900 (black); 400 is regular, 700 bold
    bool italic = false;

    bool operator==(const KFontDesc&) const = default;
};

// 0x00BBGGRR: red in the low byte.
using KColour = std::uint32_t;

enum class KColourId {
    SignalDefault = 0,
    Separator = 1,
    BackgroundNormal = 2,
    BackgroundSimulation = 3,
    Cursor = 4,
    SelectedCursor = 5,
    Measurements = 6,
    DiffMark = 7,
    DiffSignal = 8,
};

enum class KFlagId {
    SnapToEvent = 0,
    SnapToGrid = 1,
    DisplayGlitches = 2,
    GridVisible = 3,
    CursorsInEditMode = 4,
    ShowModeIcon = 5,
    ColExpanderVisible = 6,
    ColKindVisible = 7,
    ColNameVisible = 8,
    ColHierarchyVisible = 9,
    ColTypeVisible = 10,
    ColValueVisible = 11,
    ColStimulatorsVisible = 12,
    ColSignalsVisible = 13,
    Insert = 14,
    ShowMessageCannotDragSignal = 15,
    FillByClockStartHigh = 16,
};

enum class KIntegerId {
    ColKindWidth = 1,
    ColNameWidth = 2,
    ColHierarchyWidth = 3,
    ColTypeWidth = 4,
    ColValueWidth = 5,
    ColStimulatorsWidth = 6,
    ColSignalsWidth = 7,
    ColKindAlign = 9,
    ColNameAlign = 10,
    ColHierarchyAlign = 11,
    ColTypeAlign = 12,
    ColValueAlign = 13,
    ColStimulatorsAlign = 14,
    ColSignalsAlign = 15,
    SortByColumn = 16,
    SortOrder = 17,
    FillByClockFillingWidth = 18,
    FillBy = 19,
    FillByFormulaUnit = 20,
    StretchPercent = 21,
};

enum class KTimeId {
    GridLength = 0,
    FillByClockOffset = 1,
    FillByClockPeriod = 2,
};

enum class KTextId {
    Header = 0,
    Footer = 1,
    FillByFormula = 2,
    FillByValue = 3,
};

class KWVConfig {
public:
    struct Tables;

    // A config over the process-wide tables.
    KWVConfig();
    // A config with tables of its own, at their defaults.
    static KWVConfig separate();

    KColour colour(KColourId id) const;
    KFontDesc font(int id) const;
    std::string text(KTextId id) const;
    bool flag(KFlagId id) const;
    SimTime time(KTimeId id) const;
    std::int32_t integer(KIntegerId id) const;

    void setColour(KColourId id, KColour value);
    // No font is predefined: a font must be defined before it can be set.
    bool setFont(int id, const KFontDesc& value);
    void setText(KTextId id, const std::string& value);
    void setFlag(KFlagId id, bool value);
    void setTime(KTimeId id, SimTime value);
    void setInteger(KIntegerId id, std::int32_t value);

    // The same by stored name: nothing, or false, for a name the table does not hold.
    std::optional<KColour> colour(std::string_view name) const;
    std::optional<KFontDesc> font(std::string_view name) const;
    std::optional<std::string> text(std::string_view name) const;
    std::optional<bool> flag(std::string_view name) const;
    std::optional<SimTime> time(std::string_view name) const;
    std::optional<std::int32_t> integer(std::string_view name) const;
    bool setColour(std::string_view name, KColour value);
    bool setFont(std::string_view name, const KFontDesc& value);
    bool setText(std::string_view name, const std::string& value);
    bool setFlag(std::string_view name, bool value);
    bool setTime(std::string_view name, SimTime value);
    bool setInteger(std::string_view name, std::int32_t value);

    // Adds a font entry at its default; redefining one keeps its current value.
    void defineFont(int id, std::string name, const KFontDesc& defaultValue);

    // The tables themselves, for listing every entry.
    const KConfig<KColour>& colours() const;
    const KConfig<KFontDesc>& fonts() const;
    const KConfig<std::string>& texts() const;
    const KConfig<bool>& flags() const;
    const KConfig<SimTime>& times() const;
    const KConfig<std::int32_t>& integers() const;

    // Reads every named entry from keyPath; an entry that is missing or unreadable takes its
    // default. Never fails.
    void load(const ISettingsStore& store, std::string_view keyPath);
    // Writes every named entry under keyPath. The first table with a failed write ends the
    // save: later tables are not written, and the result is false.
    bool save(ISettingsStore& store, std::string_view keyPath) const;

    // The byte image of a font as saved; fontFromBytes gives nothing for a damaged image.
    static std::vector<std::uint8_t> fontToBytes(const KFontDesc& font);
    static std::optional<KFontDesc> fontFromBytes(const std::vector<std::uint8_t>& bytes);

private:
    explicit KWVConfig(std::shared_ptr<Tables> tables);

    std::shared_ptr<Tables> m_tables;
};
