#include "host/KQSettingsStore.h"

#include "document/KWVConfig.h"

#include <QFile>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// The configuration folder of these tests: a temporary one, set before QSettings first looks
// (it remembers the folder for the rest of the process), so the user's own file is never touched.
char configDir[] = "/tmp/tessel-host-tests-XXXXXX";

const fs::path& configHome() {
    static const fs::path home = [] {
        if (mkdtemp(configDir) == nullptr) {
            std::abort();
        }
        setenv("XDG_CONFIG_HOME", configDir, 1);
        // Outlives the path object, so the clean-up reads the plain buffer.
        std::atexit([] { fs::remove_all(configDir); });
        return fs::path(configDir);
    }();
    return home;
}

class KQSettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_home = configHome();
        m_file = m_home / "Tessel" / "Tessel Waveform.ini";
        fs::remove(m_file);
    }

    fs::path m_home;
    fs::path m_file;
};

TEST_F(KQSettingsStoreTest, EveryKindReadsBackFromTheIniFileInTheConfigFolder) {
    {
        KQSettingsStore store;
        ASSERT_EQ(fs::path(store.fileName().toStdString()), m_file);
        store.writeUInt32("W/word", 0xFFFFFFFF);
        store.writeInt64("W/long", -(std::int64_t(1) << 62));
        store.writeString("W/text", "Page 1, \"quoted\" \xC3\xA9t\xC3\xA9; x=y");
        store.writeString("W/empty", "");
        store.writeBinary("W/bytes", {0, 1, 0xFF, '\n', ','});
        ASSERT_TRUE(store.flush());
        EXPECT_TRUE(fs::exists(m_file));
    }
    const KQSettingsStore store;
    EXPECT_EQ(store.readUInt32("W/word"), 0xFFFFFFFFu);
    EXPECT_EQ(store.readInt64("W/long"), -(std::int64_t(1) << 62));
    EXPECT_EQ(store.readString("W/text"), "Page 1, \"quoted\" \xC3\xA9t\xC3\xA9; x=y");
    EXPECT_EQ(store.readString("W/empty"), "");
    EXPECT_EQ(store.readBinary("W/bytes"), (Bytes{0, 1, 0xFF, '\n', ','}));

    EXPECT_FALSE(store.readUInt32("W/missing"));
    EXPECT_FALSE(store.readString("W/missing"));
    EXPECT_FALSE(store.readUInt32("W/text"));
    EXPECT_FALSE(store.readUInt32("W/long")); // does not fit 32 bits
    EXPECT_FALSE(store.readInt64("W/bytes"));
    EXPECT_FALSE(store.readString("W/bytes"));
    EXPECT_FALSE(store.readBinary("W/word"));
}

TEST_F(KQSettingsStoreTest, ConfigSurvivesSaveAndLoad) {
    KWVConfig saved = KWVConfig::separate();
    saved.defineFont(0, "Print Font", KFontDesc{"Sans", 10, 400, false});
    saved.setFont(0, KFontDesc{"Noto Sans Mono", 8, 300, true});
    saved.setColour(KColourId::DiffMark, 0x00123456);
    saved.setFlag(KFlagId::GridVisible, true);
    saved.setInteger(KIntegerId::SortOrder, -1);
    saved.setTime(KTimeId::FillByClockPeriod, 1'000'000'000'000'000);
    saved.setText(KTextId::Header, "&f, page &p of &n");
    {
        KQSettingsStore store;
        ASSERT_EQ(fs::path(store.fileName().toStdString()), m_file);
        ASSERT_TRUE(saved.save(store, "Waveform"));
    }
    KWVConfig loaded = KWVConfig::separate();
    loaded.defineFont(0, "Print Font", KFontDesc{});
    loaded.load(KQSettingsStore(), "Waveform");
    EXPECT_EQ(loaded.font(0), (KFontDesc{"Noto Sans Mono", 8, 300, true}));
    EXPECT_EQ(loaded.colour(KColourId::DiffMark), 0x00123456u);
    EXPECT_TRUE(loaded.flag(KFlagId::GridVisible));
    EXPECT_EQ(loaded.integer(KIntegerId::SortOrder), -1);
    EXPECT_EQ(loaded.time(KTimeId::FillByClockPeriod), 1'000'000'000'000'000);
    EXPECT_EQ(loaded.text(KTextId::Header), "&f, page &p of &n");
    EXPECT_EQ(loaded.integer(KIntegerId::StretchPercent), 200);
}

TEST_F(KQSettingsStoreTest, HandEditedValuesLoadOrFallBackToDefaults) {
    fs::create_directories(m_file.parent_path());
    std::ofstream(m_file) << "[Waveform]\n"
                             "Insert=7\n"
                             "Cursor=blue\n"
                             "Selected%20cursor=-5\n"
                             "Measurements=255\n"
                             "Grid%20length=1000\n"
                             "Footer=a, b\n";
    KWVConfig config = KWVConfig::separate();
    config.setColour(KColourId::Cursor, 0x00111111);
    config.load(KQSettingsStore(), "Waveform");
    EXPECT_TRUE(config.flag(KFlagId::Insert));
    EXPECT_EQ(config.colour(KColourId::Measurements), 255u);
    EXPECT_EQ(config.colour(KColourId::Cursor), 0u);    // default
    EXPECT_EQ(config.colour(KColourId::Separator), 0u); // default
    EXPECT_EQ(config.time(KTimeId::GridLength), 50000); // times are byte strings
    EXPECT_EQ(config.text(KTextId::Footer), "");        // an unquoted list, not a text
}

TEST_F(KQSettingsStoreTest, UnwritableFileFailsTheSave) {
    // A regular file where the folder of the settings file should be.
    const fs::path blocker = m_home / "blocker";
    std::ofstream(blocker) << "x";
    KQSettingsStore store(QString::fromStdString((blocker / "settings.ini").string()));
    EXPECT_FALSE(KWVConfig::separate().save(store, "Waveform"));
}

} // namespace
