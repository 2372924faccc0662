// Writing the waveforms into a temporary file, and asking again when that fails.

#include "QueryTestUtil.h"
#include "document/KDoc.h"
#include "document/KTempFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace querytest;
namespace fs = std::filesystem;

namespace {

// Answers each question with the next scripted answer (No when they run out), running the
// step given with it first.
class ScriptedHost final : public IDocHost {
public:
    struct Reply {
        HostAnswer answer;
        std::function<void()> before;
    };
    explicit ScriptedHost(std::vector<Reply> replies) : m_replies(std::move(replies)) {}
    void setModified(bool) override {}
    void showStatus(std::string_view) override {}
    void printOutput(std::string_view) override {}
    HostAnswer ask(int id, std::string_view text) override {
        questions.emplace_back(id, std::string(text));
        if (m_next >= m_replies.size())
            return HostAnswer::No;
        const Reply& reply = m_replies[m_next++];
        if (reply.before)
            reply.before();
        return reply.answer;
    }
    std::vector<std::pair<int, std::string>> questions;

private:
    std::vector<Reply> m_replies;
    std::size_t m_next = 0;
};

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

SignalHandle addSignal(KDoc& doc) {
    const SignalHandle handle =
        addLeaf(doc, {segmentOver(0, 50, memorySource({{0, 0, 0, 2}, {10, 0, 0, 3}}))});
    doc.insertRows(doc.rowCount(), std::vector<SignalHandle>{handle});
    return handle;
}

} // namespace

TEST(KDocSaveToTemporary, WritesARegisteredFileAndLeavesTheDocumentAsItWas) {
    ScriptedHost host({});
    KDoc doc(&host);
    addSignal(doc);
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

TEST(KDocSaveToTemporary, AsksAgainUntilTheAnswerIsNo) {
    BrokenTemporaryFolder folder;
    ScriptedHost host({{HostAnswer::Yes, {}}, {HostAnswer::No, {}}});
    KDoc doc(&host);
    addSignal(doc);
    EXPECT_TRUE(doc.saveToTemporary().empty());
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.questions[0].first, 62110);
    EXPECT_EQ(host.questions[0].second,
              "Cannot create temporary file in\n'" + folder.broken() +
                  "'.\nTry again? (If you answer 'No', waveforms will be cleared).");
}

TEST(KDocSaveToTemporary, YesTriesAgainWithANewName) {
    BrokenTemporaryFolder folder;
    ScriptedHost host({{HostAnswer::Yes, [&] { folder.repair(); }}});
    KDoc doc(&host);
    addSignal(doc);
    const std::string path = doc.saveToTemporary();
    EXPECT_EQ(host.questions.size(), 1u);
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(fs::exists(path));
    KTempFiles::remove(path);
}
