#include "document/KWVConfig.h"

#include <type_traits>

struct KWVConfig::Tables {
    KConfig<KColour> colours;
    KConfig<KFontDesc> fonts;
    KConfig<std::string> texts;
    KConfig<bool> flags;
    KConfig<SimTime> times;
    KConfig<std::int32_t> integers;

    Tables();
};

KWVConfig::Tables::Tables() {
    const auto colour = [this](KColourId id, const char* name, KColour value) {
        colours.define(static_cast<int>(id), name, value);
    };
    colour(KColourId::SignalDefault, "Signal Default", 0xC0C0C0);
    colour(KColourId::Separator, "Separator", 0x000000);
    colour(KColourId::BackgroundNormal, "Background - Normal", 0xFFFFFF);
    colour(KColourId::BackgroundSimulation, "Background - Simulation", 0xFF0000);
    colour(KColourId::Cursor, "Cursor", 0x000000);
    colour(KColourId::SelectedCursor, "Selected cursor", 0xFF0000);
    colour(KColourId::Measurements, "Measurements", 0xC00000);
    colour(KColourId::DiffMark, "DiffMark Color", 0xFF0000);
    colour(KColourId::DiffSignal, "DiffSignal Color", 0x0000FF);

    const auto flag = [this](KFlagId id, const char* name, bool value) {
        flags.define(static_cast<int>(id), name, value);
    };
    flag(KFlagId::SnapToEvent, "Snap to event", true);
    flag(KFlagId::SnapToGrid, "Snap to grid", false);
    flag(KFlagId::DisplayGlitches, "Display glitches", true);
    flag(KFlagId::GridVisible, "Grid visible", false);
    flag(KFlagId::CursorsInEditMode, "Enable cursors in edit mode", false);
    flag(KFlagId::ShowModeIcon, "Show Mode Icon", true);
    flag(KFlagId::ColExpanderVisible, "COL_EXPANDER_VISIBLE", true);
    flag(KFlagId::ColKindVisible, "COL_KIND_VISIBLE", false);
    flag(KFlagId::ColNameVisible, "COL_NAME_VISIBLE", true);
    flag(KFlagId::ColHierarchyVisible, "COL_HIERARCHY_VISIBLE", false);
    flag(KFlagId::ColTypeVisible, "COL_TYPE_VISIBLE", false);
    flag(KFlagId::ColValueVisible, "COL_VALUE_VISIBLE", true);
    flag(KFlagId::ColStimulatorsVisible, "COL_STIMULATORS_VISIBLE", true);
    flag(KFlagId::ColSignalsVisible, "COL_SIGNALS_VISIBLE", true);
    flag(KFlagId::Insert, "Insert", false);
    flag(KFlagId::ShowMessageCannotDragSignal, "ShowMessageCannotDragSignal", true);
    flag(KFlagId::FillByClockStartHigh, "FillByClock StartHigh", true);

    const auto integer = [this](KIntegerId id, const char* name, std::int32_t value) {
        integers.define(static_cast<int>(id), name, value);
    };
    integer(KIntegerId::ColKindWidth, "COL_KIND_WIDTH", 19);
    integer(KIntegerId::ColNameWidth, "COL_NAME_WIDTH", 120);
    integer(KIntegerId::ColHierarchyWidth, "COL_HIERARCHY_WIDTH", 120);
    integer(KIntegerId::ColTypeWidth, "COL_TYPE_WIDTH", 120);
    integer(KIntegerId::ColValueWidth, "COL_VALUE_WIDTH", 75);
    integer(KIntegerId::ColStimulatorsWidth, "COL_STIMULATORS_WIDTH", 30);
    integer(KIntegerId::ColSignalsWidth, "COL_SIGNALS_WIDTH", 30000);
    integer(KIntegerId::ColKindAlign, "COL_KIND_ALIGN", 2);
    integer(KIntegerId::ColNameAlign, "COL_NAME_ALIGN", 0);
    integer(KIntegerId::ColHierarchyAlign, "COL_HIERARCHY_ALIGN", 0);
    integer(KIntegerId::ColTypeAlign, "COL_TYPE_ALIGN", 0);
    integer(KIntegerId::ColValueAlign, "COL_VALUE_ALIGN", 0);
    integer(KIntegerId::ColStimulatorsAlign, "COL_STIMULATORS_ALIGN", 0);
    integer(KIntegerId::ColSignalsAlign, "COL_SIGNALS_ALIGN", 0);
    integer(KIntegerId::SortByColumn, "SORT_BY_COLUMN", 0);
    integer(KIntegerId::SortOrder, "SORT_ORDER", 0);
    integer(KIntegerId::FillByClockFillingWidth, "FillByClock FillingWidth", 50);
    integer(KIntegerId::FillBy, "Fill By", 0);
    integer(KIntegerId::FillByFormulaUnit, "FillByFormula Unit", 1);
    integer(KIntegerId::StretchPercent, "Stretch Percent", 200);

    times.define(static_cast<int>(KTimeId::GridLength), "Grid length", 50000);
    times.define(static_cast<int>(KTimeId::FillByClockOffset), "FillByClock Offset", 0);
    times.define(static_cast<int>(KTimeId::FillByClockPeriod), "FillByClock Period", 100000);

    texts.define(static_cast<int>(KTextId::Header), "Header", {});
    texts.define(static_cast<int>(KTextId::Footer), "Footer", {});
    texts.define(static_cast<int>(KTextId::FillByFormula), "FillByFormula", {});
    texts.define(static_cast<int>(KTextId::FillByValue), "FillByValue", {});
}

namespace {

std::shared_ptr<KWVConfig::Tables> processTables() {
    // Filled the first time a config is made, then shared by every document of the process.
    static const std::shared_ptr<KWVConfig::Tables> tables = std::make_shared<KWVConfig::Tables>();
    return tables;
}

std::string keyOf(std::string_view path, std::string_view name) {
    std::string key(path);
    if (!key.empty() && key.back() != '/') {
        key += '/';
    }
    key += name;
    return key;
}

// Fixed-size integers are kept as little-endian byte strings of exactly their size, so a value
// of another size is unreadable rather than misread.
template <typename T> std::vector<std::uint8_t> toBytes(T value) {
    std::vector<std::uint8_t> bytes(sizeof(T));
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(bits & 0xFF);
        bits = static_cast<std::make_unsigned_t<T>>(bits >> 8);
    }
    return bytes;
}

template <typename T>
std::optional<T> fromBytes(const std::optional<std::vector<std::uint8_t>>& bytes) {
    if (!bytes || bytes->size() != sizeof(T)) {
        return std::nullopt;
    }
    std::make_unsigned_t<T> bits = 0;
    for (auto it = bytes->rbegin(); it != bytes->rend(); ++it) {
        bits = static_cast<std::make_unsigned_t<T>>((bits << 8) | *it);
    }
    return static_cast<T>(bits);
}

// Sets every named entry from read(key), or to its default where that gives nothing.
template <typename T, typename Read>
void loadTable(KConfig<T>& table, std::string_view path, Read read) {
    for (const int id : table.ids()) {
        const std::string_view name = table.nameOf(id);
        std::optional<T> value;
        if (!name.empty()) {
            value = read(keyOf(path, name));
        }
        if (value) {
            table.setValue(id, std::move(*value));
        } else {
            table.resetValue(id);
        }
    }
}

// Writes every named entry; false after the first write that fails.
template <typename T, typename Write>
bool saveTable(const KConfig<T>& table, std::string_view path, Write write) {
    for (const int id : table.ids()) {
        const std::string_view name = table.nameOf(id);
        if (!name.empty() && !write(keyOf(path, name), table.value(id))) {
            return false;
        }
    }
    return true;
}

template <typename T> std::optional<T> byName(const KConfig<T>& table, std::string_view name) {
    const auto id = table.idOf(name);
    return id ? std::optional<T>(table.value(*id)) : std::nullopt;
}

template <typename T> bool setByName(KConfig<T>& table, std::string_view name, T value) {
    const auto id = table.idOf(name);
    return id && table.setValue(*id, std::move(value));
}

} // namespace

KWVConfig::KWVConfig() : m_tables(processTables()) {}

KWVConfig::KWVConfig(std::shared_ptr<Tables> tables) : m_tables(std::move(tables)) {}

KWVConfig KWVConfig::separate() {
    return KWVConfig(std::make_shared<Tables>());
}

KColour KWVConfig::colour(KColourId id) const {
    return m_tables->colours.value(static_cast<int>(id));
}
KFontDesc KWVConfig::font(int id) const {
    return m_tables->fonts.value(id);
}
std::string KWVConfig::text(KTextId id) const {
    return m_tables->texts.value(static_cast<int>(id));
}
bool KWVConfig::flag(KFlagId id) const {
    return m_tables->flags.value(static_cast<int>(id));
}
SimTime KWVConfig::time(KTimeId id) const {
    return m_tables->times.value(static_cast<int>(id));
}
std::int32_t KWVConfig::integer(KIntegerId id) const {
    return m_tables->integers.value(static_cast<int>(id));
}

void KWVConfig::setColour(KColourId id, KColour value) {
    m_tables->colours.setValue(static_cast<int>(id), value);
}
bool KWVConfig::setFont(int id, const KFontDesc& value) {
    return m_tables->fonts.setValue(id, value);
}
void KWVConfig::setText(KTextId id, const std::string& value) {
    m_tables->texts.setValue(static_cast<int>(id), value);
}
void KWVConfig::setFlag(KFlagId id, bool value) {
    m_tables->flags.setValue(static_cast<int>(id), value);
}
void KWVConfig::setTime(KTimeId id, SimTime value) {
    m_tables->times.setValue(static_cast<int>(id), value);
}
void KWVConfig::setInteger(KIntegerId id, std::int32_t value) {
    m_tables->integers.setValue(static_cast<int>(id), value);
}

std::optional<KColour> KWVConfig::colour(std::string_view name) const {
    return byName(m_tables->colours, name);
}
std::optional<KFontDesc> KWVConfig::font(std::string_view name) const {
    return byName(m_tables->fonts, name);
}
std::optional<std::string> KWVConfig::text(std::string_view name) const {
    return byName(m_tables->texts, name);
}
std::optional<bool> KWVConfig::flag(std::string_view name) const {
    return byName(m_tables->flags, name);
}
std::optional<SimTime> KWVConfig::time(std::string_view name) const {
    return byName(m_tables->times, name);
}
std::optional<std::int32_t> KWVConfig::integer(std::string_view name) const {
    return byName(m_tables->integers, name);
}

bool KWVConfig::setColour(std::string_view name, KColour value) {
    return setByName(m_tables->colours, name, value);
}
bool KWVConfig::setFont(std::string_view name, const KFontDesc& value) {
    return setByName(m_tables->fonts, name, value);
}
bool KWVConfig::setText(std::string_view name, const std::string& value) {
    return setByName(m_tables->texts, name, value);
}
bool KWVConfig::setFlag(std::string_view name, bool value) {
    return setByName(m_tables->flags, name, value);
}
bool KWVConfig::setTime(std::string_view name, SimTime value) {
    return setByName(m_tables->times, name, value);
}
bool KWVConfig::setInteger(std::string_view name, std::int32_t value) {
    return setByName(m_tables->integers, name, value);
}

void KWVConfig::defineFont(int id, std::string name, const KFontDesc& defaultValue) {
    m_tables->fonts.define(id, std::move(name), defaultValue);
}

const KConfig<KColour>& KWVConfig::colours() const {
    return m_tables->colours;
}
const KConfig<KFontDesc>& KWVConfig::fonts() const {
    return m_tables->fonts;
}
const KConfig<std::string>& KWVConfig::texts() const {
    return m_tables->texts;
}
const KConfig<bool>& KWVConfig::flags() const {
    return m_tables->flags;
}
const KConfig<SimTime>& KWVConfig::times() const {
    return m_tables->times;
}
const KConfig<std::int32_t>& KWVConfig::integers() const {
    return m_tables->integers;
}

void KWVConfig::load(const ISettingsStore& store, std::string_view keyPath) {
    Tables& t = *m_tables;
    loadTable(t.colours, keyPath, [&](const std::string& key) { return store.readUInt32(key); });
    loadTable(t.fonts, keyPath, [&](const std::string& key) -> std::optional<KFontDesc> {
        const auto bytes = store.readBinary(key);
        return bytes ? fontFromBytes(*bytes) : std::nullopt;
    });
    loadTable(t.texts, keyPath, [&](const std::string& key) { return store.readString(key); });
    loadTable(t.flags, keyPath, [&](const std::string& key) -> std::optional<bool> {
        const auto word = store.readUInt32(key);
        return word ? std::optional<bool>(*word != 0) : std::nullopt;
    });
    loadTable(t.times, keyPath,
              [&](const std::string& key) { return fromBytes<SimTime>(store.readBinary(key)); });
    loadTable(t.integers, keyPath, [&](const std::string& key) {
        return fromBytes<std::int32_t>(store.readBinary(key));
    });
}

bool KWVConfig::save(ISettingsStore& store, std::string_view keyPath) const {
    const Tables& t = *m_tables;
    const bool written =
        saveTable(t.colours, keyPath,
                  [&](const std::string& key, KColour v) { return store.writeUInt32(key, v); }) &&
        saveTable(t.fonts, keyPath,
                  [&](const std::string& key, const KFontDesc& v) {
                      return store.writeBinary(key, fontToBytes(v));
                  }) &&
        saveTable(t.texts, keyPath,
                  [&](const std::string& key, const std::string& v) {
                      return store.writeString(key, v);
                  }) &&
        saveTable(
            t.flags, keyPath,
            [&](const std::string& key, bool v) { return store.writeUInt32(key, v ? 1 : 0); }) &&
        saveTable(t.times, keyPath,
                  [&](const std::string& key, SimTime v) {
                      return store.writeBinary(key, toBytes(v));
                  }) &&
        saveTable(t.integers, keyPath, [&](const std::string& key, std::int32_t v) {
            return store.writeBinary(key, toBytes(v));
        });
    // Flush what was written even after a failure, so the earlier tables are not lost.
    const bool flushed = store.flush();
    return written && flushed;
}

// Point size, weight (each 32-bit little-endian), italic (one byte), then the family in UTF-8.
std::vector<std::uint8_t> KWVConfig::fontToBytes(const KFontDesc& font) {
    std::vector<std::uint8_t> bytes = toBytes<std::int32_t>(font.pointSize);
    const auto weight = toBytes<std::int32_t>(font.weight);
    bytes.insert(bytes.end(), weight.begin(), weight.end());
    bytes.push_back(font.italic ? 1 : 0);
    bytes.insert(bytes.end(), font.family.begin(), font.family.end());
    return bytes;
}

std::optional<KFontDesc> KWVConfig::fontFromBytes(const std::vector<std::uint8_t>& bytes) {
    constexpr std::size_t fixedSize = 9;
    if (bytes.size() < fixedSize || bytes[8] > 1) {
        return std::nullopt;
    }
    const auto pointSize =
        fromBytes<std::int32_t>(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4));
    const auto weight =
        fromBytes<std::int32_t>(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 8));
    // Sizes and weights outside what any font has mean the bytes are not a font.
    if (*pointSize <= 0 || *pointSize > 1000 || *weight < 1 || *weight > 1000) {
        return std::nullopt;
    }
    KFontDesc font;
    font.pointSize = *pointSize;
    font.weight = *weight;
    font.italic = bytes[8] == 1;
    font.family.assign(bytes.begin() + fixedSize, bytes.end());
    return font;
}
