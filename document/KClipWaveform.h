#pragma once

// A copied piece of waveform as plain data, and its "WAVEFORM" clipboard block.
//
// A copy takes a range of rows and a time range [start, end) of a document: for every row its
// type string, value size, the value in force at `start` and its events inside the range; the
// comments on those rows inside the range; and the measurements whose two ends both lie on
// events (or on the start value) of copied rows inside the range. Times are kept relative to
// `start` and rows relative to the first copied row, so a paste can place the piece anywhere.
//
// The block is a KItemStream in a fixed item order (docs/clipboard-formats.md). A measurement
// is stored as two event numbers: the copied signals' event lists, start value first, counted
// one after another from 0. A measurement thus lands on the same events wherever the piece goes.
//
// parse() accepts only what block() can write: every count, size, byte, row, time and event
// number is checked, and a damaged block gives a message, never a partial piece.

#include "storage/EventValue.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class KDoc;

struct KClipWaveform {
    struct Event {
        SimTime offset = 0; // time minus the range start; 0 for the start value
        EventValue value;
        friend bool operator==(const Event&, const Event&) = default;
    };
    struct Signal {
        std::string typeInfo; // empty when the signal has no type information
        std::uint32_t valueSize = 0;
        // The start value first (all zero bytes when the signal had none), then the events in
        // ascending time, all strictly inside (0, length).
        std::vector<Event> events;
        friend bool operator==(const Signal&, const Signal&) = default;
    };
    struct Comment {
        int row = 0; // relative to the first copied row
        SimTime offset = 0;
        std::string text;
        friend bool operator==(const Comment&, const Comment&) = default;
    };
    struct Extent {
        int startRow = 0;
        SimTime startOffset = 0;
        int endRow = 0;
        SimTime endOffset = 0;
        friend bool operator==(const Extent&, const Extent&) = default;
    };

    // Limits a reader holds a block to (a copy never comes near them).
    static constexpr std::int32_t kMaxValueSize = 1 << 24;
    static constexpr std::int32_t kMaxTextLength = 1 << 20;

    std::vector<Signal> signals; // one per copied row
    SimTime length = 0;          // end - start, 0 when the end is not after the start
    std::vector<Comment> comments;
    std::vector<Extent> extents;

    // Copies rows [first, last] (clamped to the document's rows; none when first > last) over
    // [start, end). Throws KFileException when an event source cannot be read.
    static KClipWaveform copy(const KDoc& doc, std::size_t first, std::size_t last, SimTime start,
                              SimTime end);

    // The "WAVEFORM" block. Extents that do not lie on events of the piece are left out.
    std::vector<std::uint8_t> block() const;
    // Reads a block back; on damage nothing and, when asked, a message saying what is wrong.
    static std::optional<KClipWaveform> parse(std::span<const std::uint8_t> block,
                                              std::string* error = nullptr);

    // The number of the event of signal `row` at `offset` (the start value at offset 0 counts
    // when no event lies there), counting all signals' lists one after another; nothing when no
    // event of that row lies there.
    std::optional<std::int32_t> eventNumber(int row, SimTime offset) const;

    friend bool operator==(const KClipWaveform&, const KClipWaveform&) = default;
};
