#include "document/KClipWaveform.h"

#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KItemStream.h"
#include "document/KItemStreamReader.h"
#include "document/KWaveComment.h"
#include "storage/query/KEventsQuery.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

namespace {

constexpr std::string_view kSignals = "SIGNALS";
constexpr std::string_view kComments = "Comments";
constexpr std::string_view kExtents = "EventsExtents";

// Bytes an item takes at least: tag plus payload.
constexpr std::size_t kEndBytes = 1;
constexpr std::size_t kIntegerBytes = 5;
constexpr std::size_t kInteger64Bytes = 9;

EventValue fitted(const EventValue& value, std::uint32_t size) {
    if (value.size() == size)
        return value;
    EventValue out = EventValue::zeroed(size);
    if (size != 0)
        std::memcpy(out.mutableData(), value.data(), std::min(size, value.size()));
    return out;
}

std::string typeString(const KDoc& doc, const KSignalRecord& record) {
    return record.hasTypeInfo() ? doc.types().type(record.typeIndex()).GetTypeInfoString()
                                : std::string();
}

// Reads one "WAVEFORM" block section by section; the reader keeps the first failure.
class WaveformParser {
public:
    explicit WaveformParser(std::span<const std::uint8_t> block) : m_in(block) {}

    std::optional<KClipWaveform> parse(std::string* error) {
        readSignals();
        readEvents();
        readComments();
        readExtents();
        if (m_in.ok() && !m_in.atEnd())
            m_in.fail("unexpected data after the measurements");
        if (!m_in.ok()) {
            if (error != nullptr)
                *error = "damaged waveform clipboard data: " + m_in.error();
            return std::nullopt;
        }
        return std::move(m_clip);
    }

private:
    // A count whose items take at least `bytesEach` bytes each.
    std::int32_t count(std::size_t bytesEach, std::string_view what) {
        const std::size_t most = m_in.remaining() / bytesEach;
        return m_in.integerIn(0,
                              static_cast<std::int32_t>(std::min<std::size_t>(
                                  most, std::numeric_limits<std::int32_t>::max())),
                              what);
    }

    void readSignals() {
        m_in.expectText(kSignals);
        const std::int32_t rows = count(2 * kIntegerBytes + 4 * kEndBytes, "the row count");
        m_in.end();
        for (std::int32_t i = 0; i < rows && m_in.ok(); ++i) {
            KClipWaveform::Signal signal;
            signal.typeInfo = m_in.spelled(KClipWaveform::kMaxTextLength, "a type string");
            if (m_in.ok() && !signal.typeInfo.empty() && !KTypeInfo::CheckTypeInfo(signal.typeInfo))
                m_in.fail("signal " + std::to_string(i) + " has an unreadable type");
            m_clip.signals.push_back(std::move(signal));
        }
        m_clip.length = m_in.integer64();
        if (m_in.ok() && m_clip.length < 0)
            m_in.fail("the range length is negative");
        m_in.end();
    }

    EventValue readValue(std::uint32_t size) {
        if (static_cast<std::uint64_t>(size) * kIntegerBytes > m_in.remaining()) {
            m_in.fail("a value is longer than the data left");
            return {};
        }
        EventValue value = EventValue::zeroed(size);
        for (std::uint32_t i = 0; i < size && m_in.ok(); ++i)
            value.mutableData()[i] = static_cast<std::uint8_t>(m_in.integerIn(0, 255, "a byte"));
        m_in.end();
        return value;
    }

    void readEvents() {
        for (KClipWaveform::Signal& signal : m_clip.signals) {
            if (!m_in.ok())
                return;
            signal.valueSize = static_cast<std::uint32_t>(
                m_in.integerIn(0, KClipWaveform::kMaxValueSize, "a value size"));
            m_in.end();
            const std::int32_t events =
                count(kInteger64Bytes + 2 * kEndBytes, "an event count") - 1;
            m_in.end();
            if (m_in.ok() && events < 0)
                m_in.fail("an event list lacks its start value");
            m_in.integerIn(0, 0, "the start value's time");
            m_in.end();
            signal.events.push_back({0, readValue(signal.valueSize)});
            for (std::int32_t i = 0; i < events && m_in.ok(); ++i) {
                const SimTime offset = m_in.integer64();
                if (m_in.ok() && (offset <= signal.events.back().offset || offset >= m_clip.length))
                    m_in.fail("an event time is out of order or outside the range");
                m_in.end();
                signal.events.push_back({offset, readValue(signal.valueSize)});
            }
        }
    }

    void readComments() {
        m_in.expectText(kComments);
        const std::int32_t comments =
            count(2 * kIntegerBytes + kInteger64Bytes + 2 * kEndBytes, "the comment count");
        m_in.end();
        const auto rows = static_cast<std::int32_t>(m_clip.signals.size());
        for (std::int32_t i = 0; i < comments && m_in.ok(); ++i) {
            KClipWaveform::Comment comment;
            comment.row = m_in.integerIn(0, rows - 1, "a comment's row");
            comment.offset = m_in.integer64();
            if (m_in.ok() && (comment.offset < 0 || comment.offset >= m_clip.length))
                m_in.fail("a comment lies outside the range");
            comment.text = m_in.spelled(KClipWaveform::kMaxTextLength, "a comment");
            m_clip.comments.push_back(std::move(comment));
        }
    }

    void readExtents() {
        std::vector<std::pair<int, std::size_t>> numbered; // event number -> (row, index)
        for (std::size_t row = 0; row < m_clip.signals.size(); ++row)
            for (std::size_t i = 0; i < m_clip.signals[row].events.size(); ++i)
                numbered.emplace_back(static_cast<int>(row), i);
        const std::int32_t last = static_cast<std::int32_t>(std::min<std::size_t>(
                                      numbered.size(), std::numeric_limits<std::int32_t>::max())) -
                                  1;
        m_in.expectText(kExtents);
        const std::int32_t extents = count(2 * kIntegerBytes + kEndBytes, "the measurement count");
        m_in.end();
        for (std::int32_t i = 0; i < extents && m_in.ok(); ++i) {
            const std::int32_t from = m_in.integerIn(0, last, "a measurement's start event");
            const std::int32_t to = m_in.integerIn(0, last, "a measurement's end event");
            m_in.end();
            if (!m_in.ok())
                return;
            const auto [startRow, startIndex] = numbered[from];
            const auto [endRow, endIndex] = numbered[to];
            m_clip.extents.push_back({startRow, m_clip.signals[startRow].events[startIndex].offset,
                                      endRow, m_clip.signals[endRow].events[endIndex].offset});
        }
    }

    KItemStreamReader m_in;
    KClipWaveform m_clip;
};

// The comments and measurements on copied rows inside [start, end); `clip` holds the events.
void copyItems(const KDoc& doc, const std::map<SignalHandle, int>& rowOf, SimTime start,
               SimTime end, KClipWaveform& clip) {
    auto inRange = [&](SimTime time) { return time >= start && time < end; };
    for (const std::unique_ptr<KItemUI>& item : doc.items()) {
        const auto row = rowOf.find(item->signal());
        const auto endRow = rowOf.find(item->endSignal());
        if (row == rowOf.end() || endRow == rowOf.end())
            continue;
        if (item->kind() == KItemUI::Kind::Comment) {
            const auto& comment = static_cast<const KWaveComment&>(*item);
            if (inRange(comment.time()))
                clip.comments.push_back({row->second, comment.time() - start, comment.text()});
        } else if (item->kind() == KItemUI::Kind::Measurement) {
            const auto& extent = static_cast<const KEventsExtent&>(*item);
            if (!inRange(extent.startTime()) || !inRange(extent.endTime()))
                continue;
            const KClipWaveform::Extent copied{row->second, extent.startTime() - start,
                                               endRow->second, extent.endTime() - start};
            if (clip.eventNumber(copied.startRow, copied.startOffset) &&
                clip.eventNumber(copied.endRow, copied.endOffset))
                clip.extents.push_back(copied);
        }
    }
}

} // namespace

KClipWaveform KClipWaveform::copy(const KDoc& doc, std::size_t first, std::size_t last,
                                  SimTime start, SimTime end) {
    KClipWaveform clip;
    clip.length = end > start ? end - start : 0;
    std::vector<SignalHandle> rows;
    for (std::size_t i = first; i <= last && i < doc.rowCount(); ++i)
        rows.push_back(doc.rows()[i]);
    // Items on elements belong to the row of their top-level signal.
    std::map<SignalHandle, int> rowOf;
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (SignalHandle handle : doc.collect(rows[i]))
            rowOf.emplace(handle, static_cast<int>(i));

    KEventsQuery query(doc, start, end);
    for (SignalHandle row : rows)
        query.addSignal(row);
    if (!rows.empty())
        query.run();
    for (SignalHandle row : rows) {
        Signal signal;
        signal.typeInfo = typeString(doc, *doc.record(row));
        signal.valueSize = static_cast<std::uint32_t>(doc.valueSize(row));
        const KEventsQuery::Events& events = query.events(row);
        auto it = events.begin();
        EventValue startValue = EventValue::zeroed(signal.valueSize);
        if (it != events.end() && !it->second.isClosing() &&
            it->second.state() != KEventRecord::NoState)
            startValue = fitted((it++)->second.value(), signal.valueSize);
        signal.events.push_back({0, std::move(startValue)});
        for (; it != events.end() && it->first < end && !it->second.isClosing(); ++it)
            signal.events.push_back(
                {it->first - start, fitted(it->second.value(), signal.valueSize)});
        clip.signals.push_back(std::move(signal));
    }

    copyItems(doc, rowOf, start, end, clip);
    return clip;
}

std::optional<std::int32_t> KClipWaveform::eventNumber(int row, SimTime offset) const {
    if (row < 0 || static_cast<std::size_t>(row) >= signals.size())
        return std::nullopt;
    std::size_t base = 0;
    for (int i = 0; i < row; ++i)
        base += signals[i].events.size();
    const std::vector<Event>& events = signals[row].events;
    const auto found = std::lower_bound(events.begin(), events.end(), offset,
                                        [](const Event& e, SimTime t) { return e.offset < t; });
    if (found == events.end() || found->offset != offset)
        return std::nullopt;
    const std::size_t number = base + static_cast<std::size_t>(found - events.begin());
    if (number > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(number);
}

std::vector<std::uint8_t> KClipWaveform::block() const {
    KItemStream out;
    out.text(kSignals).integer(static_cast<std::int32_t>(signals.size())).end();
    for (const Signal& signal : signals)
        out.spelled(signal.typeInfo);
    out.integer64(length).end();
    auto bytes = [&](const EventValue& value) {
        for (std::uint8_t byte : value.bytes())
            out.integer(byte);
        out.end();
    };
    for (const Signal& signal : signals) {
        out.integer(static_cast<std::int32_t>(signal.valueSize)).end();
        out.integer(static_cast<std::int32_t>(signal.events.size())).end();
        for (std::size_t i = 0; i < signal.events.size(); ++i) {
            if (i == 0)
                out.integer(0).end();
            else
                out.integer64(signal.events[i].offset).end();
            bytes(signal.events[i].value);
        }
    }
    out.text(kComments).integer(static_cast<std::int32_t>(comments.size())).end();
    for (const Comment& comment : comments)
        out.integer(comment.row).integer64(comment.offset).spelled(comment.text);
    std::vector<std::pair<std::int32_t, std::int32_t>> numbers;
    for (const Extent& extent : extents) {
        const auto from = eventNumber(extent.startRow, extent.startOffset);
        const auto to = eventNumber(extent.endRow, extent.endOffset);
        if (from && to)
            numbers.emplace_back(*from, *to);
    }
    out.text(kExtents).integer(static_cast<std::int32_t>(numbers.size())).end();
    for (const auto& [from, to] : numbers)
        out.integer(from).integer(to).end();
    return out.take();
}

std::optional<KClipWaveform> KClipWaveform::parse(std::span<const std::uint8_t> block,
                                                  std::string* error) {
    return WaveformParser(block).parse(error);
}
