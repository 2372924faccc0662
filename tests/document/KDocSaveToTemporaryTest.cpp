// Writing the waveforms into a temporary file, and asking again when that fails.

#include "EditTestUtil.h"
#include "document/KDoc.h"
#include "document/KTempFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// Points TMPDIR at a folder that cannot exist (it lies under a regular file) for the test's
// life: root may write anywhere, but not below a file.
class BrokenTemporaryFolder {
public:
    BrokenTemporaryFolder() {
        const char* saved = std::getenv("TMPDIR");
        m_saved = saved ? std::optional<std::string>(saved) : std::nullopt;
        m_good = fs::temp_directory_path() / ("tmp-test-" + std::to_string(::getpid()));
        fs::create_directories(m_good);
        std::ofstream(m_good / "plain-file") << "x";
        m_broken = (m_good / "plain-file" / "tmp").string();
        ::setenv("TMPDIR", m_broken.c_str(), 1);
    }
    ~BrokenTemporaryFolder() {
        m_saved ? ::setenv("TMPDIR", m_saved->c_str(), 1) : ::unsetenv("TMPDIR");
        std::error_code ignored;
        fs::remove_all(m_good, ignored);
    }
    const std::string& broken() const { return m_broken; }
    void repair() const { ::setenv("TMPDIR", m_good.c_str(), 1); }

private:
    std::optional<std::string> m_saved;
    fs::path m_good;
    std::string m_broken;
};

class KDocSaveToTemporary : public testing::Test {
protected:
    KDocSaveToTemporary() { edittest::addLogicRow(doc, {{0, 2}, {10, 3}}, 50); }

    edittest::RecordingHost host;
    KDoc doc{&host};
};

} // namespace

TEST_F(KDocSaveToTemporary, WritesARegisteredFileAndLeavesTheDocumentAsItWas) {
    const std::string path = doc.saveToTemporary();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(KTempFiles::isRegistered(path));
    EXPECT_TRUE(doc.temporaryFile().empty()); // the document does not read from it
    KDoc reopened;
    EXPECT_TRUE(reopened.openDocument(path));
    EXPECT_EQ(reopened.rowCount(), 1u);
    EXPECT_TRUE(host.questions.empty());
    KTempFiles::remove(path);
}

TEST_F(KDocSaveToTemporary, AsksAgainUntilTheAnswerIsNo) {
    BrokenTemporaryFolder folder;
    host.onAsk = [answers = 0]() mutable {
        return answers++ == 0 ? HostAnswer::Yes : HostAnswer::No;
    };
    EXPECT_TRUE(doc.saveToTemporary().empty());
    ASSERT_EQ(host.questions, (std::vector<int>{62110, 62110}));
    EXPECT_EQ(host.questionTexts[0],
              "Cannot create temporary file in\n'" + folder.broken() +
                  "'.\nTry again? (If you answer 'No', waveforms will be cleared).");
}

TEST_F(KDocSaveToTemporary, YesTriesAgainWithANewName) {
    BrokenTemporaryFolder folder;
    host.onAsk = [&] {
        folder.repair();
        return HostAnswer::Yes;
    };
    const std::string path = doc.saveToTemporary();
    EXPECT_EQ(host.questions.size(), 1u);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::exists(path));
    KTempFiles::remove(path);
}
