#include "document/KHostEnvironment.h"

#include "document/KMemorySettingsStore.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

TEST(KHostEnvironment, DoubleClickDefaultsAreSettable) {
    const KDoubleClickThresholds before = KHostEnvironment::doubleClick();
    EXPECT_EQ(KDoubleClickThresholds{}, (KDoubleClickThresholds{400, 4, 4}));
    KHostEnvironment::setDoubleClick({250, 6, 5});
    EXPECT_EQ(KHostEnvironment::doubleClick(), (KDoubleClickThresholds{250, 6, 5}));
    KHostEnvironment::setDoubleClick(before);
}

TEST(KHostEnvironment, StoredDoubleClickTextsReplaceTheDefaults) {
    KMemorySettingsStore store;
    EXPECT_EQ(KHostEnvironment::readDoubleClick(store, "Mouse"), KDoubleClickThresholds{});
    store.writeString("Mouse/DoubleClickSpeed", "500");
    store.writeString("Mouse/DoubleClickHeight", "8");
    EXPECT_EQ(KHostEnvironment::readDoubleClick(store, "Mouse"),
              (KDoubleClickThresholds{500, 4, 8}));
}

TEST(KHostEnvironment, BadDoubleClickTextsKeepTheDefaults) {
    for (const char* text : {"", "fast", "12px", "-3", "0", " 5", "99999999999999"}) {
        SCOPED_TRACE(text);
        KMemorySettingsStore store;
        store.writeString("Mouse/DoubleClickSpeed", text);
        store.writeString("Mouse/DoubleClickWidth", text);
        EXPECT_EQ(KHostEnvironment::readDoubleClick(store, "Mouse"), KDoubleClickThresholds{});
    }
    KMemorySettingsStore wrongKind;
    wrongKind.writeUInt32("Mouse/DoubleClickSpeed", 300);
    EXPECT_EQ(KHostEnvironment::readDoubleClick(wrongKind, "Mouse"), KDoubleClickThresholds{});
}

TEST(KHostEnvironment, InstallFolderIsAboveTheProgramsFolderOrOverridden) {
    unsetenv("TESSEL_INSTALL_DIR");
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(KHostEnvironment::installFolder(), program.parent_path().parent_path());
    setenv("TESSEL_INSTALL_DIR", "/opt/tessel", 1);
    EXPECT_EQ(KHostEnvironment::installFolder(), std::filesystem::path("/opt/tessel"));
    unsetenv("TESSEL_INSTALL_DIR");
}

} // namespace
