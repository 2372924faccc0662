// Long values lent by a database file's cursors: a query's records borrow them from decoded
// sections, and what is copied out of a query stays readable after the query and the file are
// gone; cursors lend only as far as their pins' budget allows, and copy past it.

#include "EventStoreTestUtil.h"
#include "storage/KDatabaseSignalCursor.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KValuePins.h"
#include "storage/query/KEventsQuery.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kValueSize = 24; // longer than an inline value
constexpr int kEvents = 4000;            // per signal, over several blocks

// Event k of signal s lies at 10 * k + 5 * s; its bytes tell k and s apart.
std::vector<std::uint8_t> valueOf(int k, int s) {
    std::vector<std::uint8_t> bytes(kValueSize);
    for (std::uint32_t i = 0; i < kValueSize; ++i)
        bytes[i] = static_cast<std::uint8_t>((k * 7 + s * 3 + i) % 251);
    return bytes;
}

// Two signals of long values, written through a database handle.
class LendingFile : public evstream::test::TempFile {
public:
    LendingFile() {
        KEventsWriteHandle writer = KEventsWriteHandle::createDatabase(path());
        writer.beginDeclarations();
        for (int s = 0; s < 2; ++s) {
            evstream::SignalInfo info;
            info.name = "bus" + std::to_string(s);
            writer.declareScalar(s, info);
        }
        writer.endDeclarations();
        for (int k = 0; k < kEvents; ++k)
            for (int s = 0; s < 2; ++s) {
                writer.setTime(10 * k + 5 * s);
                writer.writeValue(s, valueOf(k, s).data(), kValueSize);
            }
        writer.close();
    }
};

// Each signal is one leaf over the whole file.
class FileSources final : public IEventSources {
public:
    explicit FileSources(const std::string& path) : m_file(KEventsReadHandle::openDatabase(path)) {}
    bool queryLeaves(SignalHandle handle, std::vector<QueryLeaf>& leaves) const override {
        leaves = {{handle, 0, kValueSize}};
        return true;
    }
    void querySegments(SignalHandle leaf, std::vector<QuerySegment>& segments) const override {
        segments = {{{0, 0}, {10 * kEvents, 0}, m_file, leaf, {}}};
    }

private:
    KEventsReadHandle m_file;
};

} // namespace

TEST(KEventsQueryLending, RecordsCopiedOutOutliveTheQueryAndTheFile) {
    LendingFile file;
    std::vector<KEventRecord> kept;
    bool borrowed = false;
    {
        auto sources = std::make_optional<FileSources>(file.path());
        KEventsQuery query(*sources, 10 * 1000, 10 * 3000);
        for (int s = 0; s < 2; ++s)
            query.addSignal(s, 1);
        query.run();
        sources.reset(); // the file's stream and its block cache go before the records are read
        for (int s = 0; s < 2; ++s)
            for (const auto& [time, record] : query.events(s)) {
                borrowed = borrowed || record.value().isBorrowed();
                kept.push_back(record);
            }
    }
    EXPECT_TRUE(borrowed) << "the query copied every value";
    ASSERT_EQ(kept.size(), 2u * (2000 + 2)); // an open and a close record each
    for (const KEventRecord& record : kept) {
        SCOPED_TRACE(record.time());
        if (record.state() == KEventRecord::HeldToEnd)
            continue; // repeats the last event's value at the end time
        const int s = static_cast<int>(record.time() % 10) / 5;
        const auto expected = valueOf(static_cast<int>(record.time() / 10), s);
        EXPECT_FALSE(record.value().isBorrowed());
        EXPECT_EQ(
            std::vector<std::uint8_t>(record.value().bytes().begin(), record.value().bytes().end()),
            expected);
    }
}

TEST(KEventsQueryLending, CursorsLendWithinTheBudgetAndCopyPastIt) {
    LendingFile file;
    const KEventsReadHandle source = KEventsReadHandle::openDatabase(file.path());
    struct Case {
        std::size_t budget;
        bool lends;
    } cases[] = {{KValuePins::kDefaultBudget, true}, {0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.budget);
        KValuePins pins(c.budget);
        std::vector<EventValue> values;
        {
            std::unique_ptr<KSignalCursor> cursor = source.openCursor(1);
            cursor->lendValues(&pins);
            for (bool more = cursor->seek(0); more; more = cursor->next())
                values.push_back(cursor->value());
            EventKey key;
            EventValue last;
            ASSERT_TRUE(cursor->previous(key, &last));
            EXPECT_EQ(last, values.back());
        }
        ASSERT_EQ(values.size(), std::size_t(kEvents));
        for (int k = 0; k < kEvents; k += 97) {
            EXPECT_EQ(values[k].isBorrowed(), c.lends);
            EXPECT_EQ(std::vector<std::uint8_t>(values[k].bytes().begin(), values[k].bytes().end()),
                      valueOf(k, 1));
        }
        EXPECT_EQ(pins.count() > 0, c.lends);
        EXPECT_LE(pins.bytes(), c.budget);
    }
}
