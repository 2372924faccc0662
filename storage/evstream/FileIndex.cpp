#include "storage/evstream/FileIndex.h"

namespace evstream {

void encodeIndex(const FileIndex& index, awf::Bytes& raw) {
    awf::ByteWriter out(raw);
    out.varint(index.blocks.size());
    std::uint64_t offset = 0;
    SimTime first = 0;
    for (const BlockRef& b : index.blocks) {
        out.varint(b.offset - offset);
        offset = b.offset;
        out.varint(b.payloadSize);
        out.varint(b.directorySize);
        // Differences in wrapping arithmetic: times may span the whole signed range.
        out.svarint(std::int64_t(std::uint64_t(b.firstTime) - std::uint64_t(first)));
        first = b.firstTime;
        out.varint(std::uint64_t(b.lastTime) - std::uint64_t(b.firstTime));
        out.varint(b.eventCount);
    }
    out.varint(index.metadataOffsets.size());
    for (std::uint64_t m : index.metadataOffsets)
        out.varint(m);
    out.svarint(index.endTime);
    out.varint(index.slots.size());
    for (const SlotSummary& s : index.slots) {
        out.varint(s.totalEvents);
        out.svarint(s.lastEventTime);
    }
}

std::string decodeIndex(std::span<const std::uint8_t> raw, std::uint64_t fileSize,
                        FileIndex& index) {
    awf::ByteReader in(raw);
    std::uint64_t count = in.count(6);
    index.blocks.resize(count);
    std::uint64_t offset = 0;
    SimTime first = 0;
    SimTime previousLast = INT64_MIN;
    for (BlockRef& b : index.blocks) {
        offset += in.varint();
        b.offset = offset;
        b.payloadSize = in.varint();
        b.directorySize = std::uint32_t(in.varint());
        first = SimTime(std::uint64_t(first) + std::uint64_t(in.svarint()));
        b.firstTime = first;
        b.lastTime = SimTime(std::uint64_t(b.firstTime) + in.varint());
        b.eventCount = in.varint();
        if (in.failed())
            break;
        if (b.payloadSize > fileSize || b.offset > fileSize - b.payloadSize ||
            b.directorySize > b.payloadSize || b.lastTime < b.firstTime ||
            b.firstTime < previousLast)
            return "the block index is inconsistent";
        previousLast = b.lastTime;
    }
    std::uint64_t metaCount = in.count(1);
    index.metadataOffsets.resize(metaCount);
    for (std::uint64_t& m : index.metadataOffsets)
        m = in.varint();
    index.endTime = in.svarint();
    std::uint64_t slotCount = in.count(2);
    index.slots.resize(slotCount);
    for (SlotSummary& s : index.slots) {
        s.totalEvents = in.varint();
        s.lastEventTime = in.svarint();
    }
    if (in.failed() || !in.atEnd())
        return "the block index is damaged";
    return {};
}

} // namespace evstream
