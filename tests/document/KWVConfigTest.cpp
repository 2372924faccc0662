#include "document/KWVConfig.h"

#include "document/KMemorySettingsStore.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every entry of a table is at its default and found again by its name.
template <typename T> void expectAtDefaults(const KConfig<T>& table) {
    for (const int id : table.ids()) {
        SCOPED_TRACE(table.nameOf(id));
        EXPECT_EQ(table.idOf(table.nameOf(id)), id);
        EXPECT_EQ(table.value(id), table.defaultValue(id));
    }
}

void expectAllDefaults(const KWVConfig& config) {
    expectAtDefaults(config.colours());
    expectAtDefaults(config.flags());
    expectAtDefaults(config.integers());
    expectAtDefaults(config.times());
    expectAtDefaults(config.texts());
    expectAtDefaults(config.fonts());
}

TEST(KWVConfig, EveryTableStartsAtItsDefaults) {
    const KWVConfig config = KWVConfig::separate();
    expectAllDefaults(config);
    EXPECT_EQ(config.fonts().size(), 0u);
    // A few entries whose stored names and defaults other programs rely on.
    EXPECT_EQ(config.colour("Background - Normal"), 0xFFFFFFu);
    EXPECT_EQ(config.flag("COL_KIND_VISIBLE"), false);
    EXPECT_EQ(config.integer("Stretch Percent"), 200);
    EXPECT_EQ(config.time("FillByClock Period"), 100000);
    EXPECT_EQ(config.text("FillByValue"), "");
}

TEST(KWVConfig, TypedAccessorsByIdAndByNameAgree) {
    KWVConfig config = KWVConfig::separate();
    EXPECT_TRUE(config.setColour("Cursor", 0x123456));
    EXPECT_EQ(config.colour(KColourId::Cursor), 0x123456u);
    config.setInteger(KIntegerId::ColNameWidth, 333);
    EXPECT_EQ(config.integer("COL_NAME_WIDTH"), 333);
    EXPECT_TRUE(config.setTime("Grid length", 7));
    EXPECT_EQ(config.time(KTimeId::GridLength), 7);
    config.setText(KTextId::Footer, "page &p");
    EXPECT_EQ(config.text("Footer"), "page &p");
    EXPECT_TRUE(config.setFlag("Snap to grid", true));
    EXPECT_TRUE(config.flag(KFlagId::SnapToGrid));
}

TEST(KWVConfig, UnknownNamesAreRefused) {
    KWVConfig config = KWVConfig::separate();
    EXPECT_FALSE(config.colour("No such colour"));
    EXPECT_FALSE(config.flag(""));
    EXPECT_FALSE(config.integer("Grid length")); // a time, not an integer
    EXPECT_FALSE(config.setInteger("COL_NAME_width", 1));
    EXPECT_FALSE(config.setFont(3, KFontDesc{"Mono", 9, 400, false}));
    EXPECT_FALSE(config.setFont("Header", KFontDesc{}));
    EXPECT_EQ(config.font(3), KFontDesc{});
}

TEST(KWVConfig, FontsAreDefinedThenSet) {
    KWVConfig config = KWVConfig::separate();
    const KFontDesc mono{"DejaVu Sans Mono", 9, 400, false};
    config.defineFont(0, "Print Font", mono);
    EXPECT_EQ(config.font(0), mono);
    const KFontDesc bold{"DejaVu Serif", 12, 700, true};
    EXPECT_TRUE(config.setFont("Print Font", bold));
    EXPECT_EQ(config.font(0), bold);
    EXPECT_EQ(config.fonts().defaultValue(0), mono);

    // Another window defining the same font again does not undo the change.
    config.defineFont(0, "Print Font", mono);
    EXPECT_EQ(config.font(0), bold);
}

TEST(KWVConfig, DefaultConfigsShareTheProcessTables) {
    KWVConfig first;
    KWVConfig second;
    const KColour before = first.colour(KColourId::Separator);
    first.setColour(KColourId::Separator, 0x00ABCDEF);
    EXPECT_EQ(second.colour(KColourId::Separator), 0x00ABCDEFu);
    EXPECT_EQ(KWVConfig::separate().colour(KColourId::Separator), 0x000000u);
    first.setColour(KColourId::Separator, before);
}

// A config with every value away from its default, and a font defined.
KWVConfig changedConfig() {
    KWVConfig config = KWVConfig::separate();
    config.defineFont(4, "Signals Font", KFontDesc{"Sans", 10, 400, false});
    config.setFont(4, KFontDesc{"Noto Sans", 11, 600, true});
    for (const int id : config.colours().ids())
        config.setColour(config.colours().nameOf(id), config.colours().value(id) ^ 0x00102030);
    for (const int id : config.flags().ids())
        config.setFlag(config.flags().nameOf(id), !config.flags().value(id));
    for (const int id : config.integers().ids())
        config.setInteger(config.integers().nameOf(id), -config.integers().value(id) - 1000000);
    for (const int id : config.times().ids())
        config.setTime(config.times().nameOf(id), config.times().value(id) + (SimTime(1) << 40));
    for (const int id : config.texts().ids())
        config.setText(config.texts().nameOf(id),
                       std::string(config.texts().nameOf(id)) + " text, \xC3\xA9t\xC3\xA9");
    return config;
}

template <typename T> void expectSameValues(const KConfig<T>& a, const KConfig<T>& b) {
    ASSERT_EQ(a.ids(), b.ids());
    for (const int id : a.ids())
        EXPECT_EQ(a.value(id), b.value(id)) << a.nameOf(id);
}

void expectSameValues(const KWVConfig& a, const KWVConfig& b) {
    expectSameValues(a.colours(), b.colours());
    expectSameValues(a.fonts(), b.fonts());
    expectSameValues(a.texts(), b.texts());
    expectSameValues(a.flags(), b.flags());
    expectSameValues(a.times(), b.times());
    expectSameValues(a.integers(), b.integers());
}

TEST(KWVConfig, SaveThenLoadReproducesEveryValue) {
    const KWVConfig saved = changedConfig();
    KMemorySettingsStore store;
    ASSERT_TRUE(saved.save(store, "Tessel/Waveform"));
    // 53 predefined values and the one font.
    EXPECT_EQ(store.values().size(), 54u);
    EXPECT_TRUE(store.contains("Tessel/Waveform/Background - Normal"));

    KWVConfig loaded = KWVConfig::separate();
    loaded.defineFont(4, "Signals Font", KFontDesc{});
    loaded.load(store, "Tessel/Waveform/");
    expectSameValues(saved, loaded);
}

TEST(KWVConfig, ValuesAreStoredAsTheirKinds) {
    KWVConfig config = KWVConfig::separate();
    config.setInteger(KIntegerId::ColValueWidth, 0x01020304);
    config.setTime(KTimeId::GridLength, -2);
    KMemorySettingsStore store;
    ASSERT_TRUE(config.save(store, "k"));
    EXPECT_EQ(store.readUInt32("k/Signal Default"), 0xC0C0C0u);
    EXPECT_EQ(store.readUInt32("k/Snap to event"), 1u);
    EXPECT_EQ(store.readUInt32("k/Snap to grid"), 0u);
    EXPECT_EQ(store.readBinary("k/COL_VALUE_WIDTH"), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(store.readBinary("k/Grid length"),
              (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(store.readString("k/Header"), "");
}

TEST(KWVConfig, AnEmptyStoreLoadsEveryDefault) {
    KWVConfig config = changedConfig();
    KMemorySettingsStore empty;
    config.load(empty, "Tessel/Waveform");
    expectAllDefaults(config);
    EXPECT_EQ(config.font(4), (KFontDesc{"Sans", 10, 400, false}));
}

TEST(KWVConfig, NonZeroFlagReadsTrueAndSavesAsOne) {
    KMemorySettingsStore store;
    store.writeUInt32("k/Snap to grid", 7);
    KWVConfig config = KWVConfig::separate();
    config.load(store, "k");
    EXPECT_TRUE(config.flag(KFlagId::SnapToGrid));
    ASSERT_TRUE(config.save(store, "k"));
    EXPECT_EQ(store.readUInt32("k/Snap to grid"), 1u);
}

// Each stored value is unreadable as the kind its table needs: the entry takes its default,
// whatever it held before, and the neighbours still load.
using Store = KMemorySettingsStore;
std::function<void(Store&)> binary(const char* key, Bytes value) {
    return [=](Store& s) { s.writeBinary(key, value); };
}
const std::pair<const char*, std::function<void(Store&)>> damagedCases[] = {
    {"colour as text", [](Store& s) { s.writeString("k/Cursor", "0xFF"); }},
    {"colour as bytes", binary("k/Cursor", {1, 2, 3, 4})},
    {"flag as 64-bit", [](Store& s) { s.writeInt64("k/Insert", 1); }},
    {"integer too short", binary("k/SORT_ORDER", {1, 2})},
    {"integer too long", binary("k/SORT_ORDER", {1, 0, 0, 0, 0})},
    {"integer as word", [](Store& s) { s.writeUInt32("k/SORT_ORDER", 5); }},
    {"time of 4 bytes", binary("k/Grid length", {1, 0, 0, 0})},
    {"time as 64-bit word", [](Store& s) { s.writeInt64("k/Grid length", 9); }},
    {"text as word", [](Store& s) { s.writeUInt32("k/Footer", 3); }},
    {"font as text", [](Store& s) { s.writeString("k/Signals Font", "0xFF"); }},
    {"font cut short", binary("k/Signals Font", {10, 0, 0})},
    {"font of size 0", binary("k/Signals Font", {0, 0, 0, 0, 144, 1, 0, 0, 0})},
    {"font with italic 2", binary("k/Signals Font", {9, 0, 0, 0, 144, 1, 0, 0, 2})},
};

TEST(KWVConfig, UnreadableValuesTakeTheirDefaults) {
    for (const auto& [what, damage] : damagedCases) {
        SCOPED_TRACE(what);
        const KWVConfig saved = changedConfig();
        KMemorySettingsStore store;
        ASSERT_TRUE(saved.save(store, "k"));
        damage(store);

        KWVConfig config = changedConfig();
        config.load(store, "k");
        int atDefault = 0;
        const auto count = [&](const auto& table) {
            for (const int id : table.ids())
                atDefault += table.value(id) == table.defaultValue(id) ? 1 : 0;
        };
        count(config.colours()), count(config.fonts()), count(config.texts());
        count(config.flags()), count(config.times()), count(config.integers());
        EXPECT_EQ(atDefault, 1);
    }
}

TEST(KWVConfig, FontBytesRoundTripAndRejectGarbage) {
    const KFontDesc font{"Liberation Mono", 13, 700, true};
    EXPECT_EQ(KWVConfig::fontFromBytes(KWVConfig::fontToBytes(font)), font);
    EXPECT_EQ(KWVConfig::fontFromBytes(KWVConfig::fontToBytes(KFontDesc{})), KFontDesc{});
    EXPECT_FALSE(KWVConfig::fontFromBytes({}));
    EXPECT_FALSE(KWVConfig::fontFromBytes(Bytes(60, 0xFF)));
}

// Fails every write whose key ends with the given name.
class KFailingStore : public KMemorySettingsStore {
public:
    explicit KFailingStore(std::string failing) : m_failing(std::move(failing)) {}

    bool writeUInt32(const std::string& key, std::uint32_t value) override {
        return !fails(key) && KMemorySettingsStore::writeUInt32(key, value);
    }
    bool writeString(const std::string& key, const std::string& value) override {
        return !fails(key) && KMemorySettingsStore::writeString(key, value);
    }
    bool writeBinary(const std::string& key, const Bytes& value) override {
        return !fails(key) && KMemorySettingsStore::writeBinary(key, value);
    }
    bool flush() override {
        ++m_flushes;
        return true;
    }
    int m_flushes = 0;

private:
    bool fails(const std::string& key) const {
        return key.size() >= m_failing.size() &&
               key.compare(key.size() - m_failing.size(), m_failing.size(), m_failing) == 0;
    }
    std::string m_failing;
};

TEST(KWVConfig, AFailedWriteStopsTheSaveAfterItsTable) {
    // Tables go out as colours, fonts, texts, flags, times, integers.
    KFailingStore store("/Footer");
    EXPECT_FALSE(KWVConfig::separate().save(store, "k"));
    EXPECT_TRUE(store.contains("k/DiffSignal Color"));
    EXPECT_TRUE(store.contains("k/Header"));       // before the failure, same table
    EXPECT_FALSE(store.contains("k/FillByValue")); // after it, same table
    EXPECT_FALSE(store.contains("k/Snap to event"));
    EXPECT_FALSE(store.contains("k/Grid length"));
    EXPECT_FALSE(store.contains("k/COL_KIND_WIDTH"));
    EXPECT_EQ(store.m_flushes, 1);
}

TEST(KWVConfig, AFailedFlushFailsTheSave) {
    struct KUnflushable : KMemorySettingsStore {
        bool flush() override { return false; }
    } store;
    EXPECT_FALSE(KWVConfig::separate().save(store, "k"));
}

} // namespace
