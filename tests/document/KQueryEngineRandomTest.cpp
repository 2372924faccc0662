// The engine against a brute-force reference that applies the segment and merge rules event by
// event, over random segment layouts.

#include "QueryTestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>

using namespace querytest;

namespace {

struct Event {
    EventKey key;
    std::uint8_t value;
};

struct Source {
    KEventsReadHandle handle;
    std::vector<SourceEvent> events;
};

struct Layout {
    SimTime offset = 0;
    int source = -1; // -1: a constant (or blank) segment
    SignalHandle signal = 0;
    std::optional<std::uint8_t> constant;
    EventKey from, to;
};

// The events a leaf shows, straight from the definition.
std::vector<Event> leafEvents(const std::vector<Layout>& layouts,
                              const std::vector<Source>& sources) {
    std::vector<Event> result;
    for (const Layout& layout : layouts) {
        if (layout.source < 0) {
            if (layout.constant)
                result.push_back({layout.from, *layout.constant});
            continue;
        }
        std::optional<std::uint8_t> inForce;
        std::vector<Event> inside;
        for (const SourceEvent& event : sources[layout.source].events) {
            if (event.signal != layout.signal)
                continue;
            const EventKey key{event.time + layout.offset, event.delta};
            if (key <= layout.from)
                inForce = event.value;
            else if (key < layout.to)
                inside.push_back({key, event.value});
        }
        if (inForce)
            result.push_back({layout.from, *inForce});
        result.insert(result.end(), inside.begin(), inside.end());
    }
    return result;
}

// The callbacks a run must give for one signal made of these leaves (1 byte each).
Lines reference(SignalHandle handle, const std::vector<std::vector<Event>>& leaves, SimTime start,
                SimTime distance) {
    std::map<EventKey, std::string> changes; // every key where a leaf changes, combined value
    std::vector<EventKey> keys;
    for (const auto& leaf : leaves)
        for (const Event& event : leaf)
            keys.push_back(event.key);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    auto valueAt = [&](EventKey key) {
        std::string text;
        for (const auto& leaf : leaves) {
            int value = 0;
            for (const Event& event : leaf)
                if (event.key <= key)
                    value = event.value;
            text += std::to_string(value) + ".";
        }
        return text;
    };
    Lines lines;
    const std::string name = std::to_string(handle);
    std::optional<EventKey> startKey;
    for (EventKey key : keys)
        if (key.time <= start)
            startKey = key;
    if (startKey) {
        lines.push_back(name + " start " + std::to_string(startKey->time) +
                        (startKey->delta ? "+" + std::to_string(startKey->delta) : "") + "=" +
                        valueAt(*startKey) + (startKey->time == start ? " at-start" : ""));
    } else {
        lines.push_back(name + " none");
    }
    auto text = [&](EventKey key, const std::string& value, bool merged) {
        return name + " " + std::to_string(key.time) +
               (key.delta ? "+" + std::to_string(key.delta) : "") + "=" + value +
               (merged ? " merged" : "");
    };
    SimTime last = start;
    std::optional<EventKey> pending;
    std::string pendingValue;
    int folded = 0;
    for (EventKey key : keys) {
        if (key.time <= start)
            continue;
        if (pending && key.time < pending->time + distance) {
            pendingValue = valueAt(key);
            ++folded;
            continue;
        }
        if (pending) {
            lines.push_back(text(*pending, pendingValue, folded > 1));
            last = pending->time;
            pending.reset();
        }
        if (distance > 0 && key.time < last + distance) {
            pending = key;
            pendingValue = valueAt(key);
            folded = 1;
            continue;
        }
        lines.push_back(text(key, valueAt(key), false));
        last = key.time;
    }
    if (pending)
        lines.push_back(text(*pending, pendingValue, folded > 1));
    return lines;
}

// `count` events of signals 0 to 2 at random steps of up to `maxStep`, with a delta for each
// repeated time.
std::vector<SourceEvent> randomEvents(std::mt19937& random, int count, SimTime maxStep) {
    std::vector<SourceEvent> events;
    SimTime time = 0;
    for (int i = 0; i < count; ++i) {
        time += std::uniform_int_distribution<SimTime>(0, maxStep)(random);
        const DeltaCycle delta =
            !events.empty() && events.back().time == time ? events.back().delta + 1 : 0;
        events.push_back({time, delta, std::uniform_int_distribution<int>(0, 2)(random),
                          static_cast<std::uint8_t>(1 + i % 250)});
    }
    return events;
}

std::vector<Layout> randomLayouts(std::mt19937& random, int sourceCount) {
    std::vector<Layout> layouts;
    SimTime at = std::uniform_int_distribution<SimTime>(0, 20)(random);
    const int count = std::uniform_int_distribution<int>(0, 5)(random);
    for (int i = 0; i < count; ++i) {
        Layout layout;
        layout.from = {at, std::uniform_int_distribution<int>(0, 3)(random) == 0 ? 1 : 0};
        at += std::uniform_int_distribution<SimTime>(1, 60)(random);
        layout.to = {at, 0};
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        if (kind == 0) {
            layout.constant = static_cast<std::uint8_t>(kind + 200);
        } else if (kind > 1) {
            layout.source = std::uniform_int_distribution<int>(0, sourceCount - 1)(random);
            layout.signal = std::uniform_int_distribution<int>(0, 2)(random);
            layout.offset = std::uniform_int_distribution<SimTime>(-30, 30)(random);
        }
        layouts.push_back(layout);
        at += std::uniform_int_distribution<SimTime>(0, 1)(random) * 15; // sometimes a gap
    }
    return layouts;
}

KEventSegment segmentOf(const Layout& layout, const std::vector<Source>& sources) {
    if (layout.source < 0) {
        KEventSegment segment(layout.from, layout.to, {}, kNoSignal);
        if (layout.constant)
            segment.setValue(EventValue(&*layout.constant, 1));
        return segment;
    }
    return KEventSegment(layout.from, layout.to,
                         sources[layout.source].handle.sharedWithShift(layout.offset),
                         layout.signal);
}

} // namespace

TEST(KQueryEngineRandom, MatchesTheReferenceOverRandomLayouts) {
    std::mt19937 random(20261205);
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        std::vector<Source> sources(2);
        TempPath file; // the second source is a database file
        for (Source& source : sources) {
            source.events =
                randomEvents(random, std::uniform_int_distribution<int>(0, 60)(random), 8);
            source.handle = &source == &sources[0] ? memorySource(source.events)
                                                   : databaseSource(file.path(), source.events);
            ASSERT_TRUE(source.handle);
        }
        KDoc doc;
        const int leafCount = std::uniform_int_distribution<int>(1, 3)(random);
        const SignalHandle signal = leafCount == 1 ? 0 : addBus(doc);
        std::vector<std::vector<Event>> leaves;
        SignalHandle handle = signal;
        for (int i = 0; i < leafCount; ++i) {
            const std::vector<Layout> layouts = randomLayouts(random, 2);
            std::vector<KEventSegment> segments;
            for (const Layout& layout : layouts)
                segments.push_back(segmentOf(layout, sources));
            const SignalHandle leaf = addLeaf(doc, segments, signal);
            if (leafCount == 1)
                handle = leaf;
            leaves.push_back(leafEvents(layouts, sources));
        }
        const SimTime start = std::uniform_int_distribution<SimTime>(-5, 150)(random);
        const SimTime distance = std::vector<SimTime>{0, 1, 3, 10, 40}[round % 5];
        RecordingProvider provider(doc, start);
        provider.addSignal(handle, distance);
        provider.run();
        ASSERT_EQ(provider.lines, reference(handle, leaves, start, distance))
            << "start " << start << ", distance " << distance;
    }
}

TEST(KQueryEngineRandom, SignalsReadTogetherGetWhatEachGetsAlone) {
    std::mt19937 random(77);
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        std::vector<Source> sources(1);
        sources[0].events = randomEvents(random, 400, 5);
        sources[0].handle = memorySource(sources[0].events);
        KDoc doc;
        std::vector<SignalHandle> handles;
        for (int i = 0; i < 4; ++i) {
            std::vector<KEventSegment> segments;
            for (const Layout& layout : randomLayouts(random, 1))
                segments.push_back(segmentOf(layout, sources));
            handles.push_back(addLeaf(doc, segments));
        }
        const SimTime start = std::uniform_int_distribution<SimTime>(0, 100)(random);
        const SimTime distances[] = {0, 2, 7, 30};
        RecordingProvider together(doc, start, 1 + round % 40);
        for (std::size_t i = 0; i < handles.size(); ++i)
            together.addSignal(handles[i], distances[(i + round) % 4]);
        together.run();
        // Start values first, in request order.
        for (std::size_t i = 0; i < handles.size(); ++i)
            EXPECT_EQ(together.lines[i].rfind(std::to_string(handles[i]) + " ", 0), 0u);
        for (std::size_t i = 0; i < handles.size(); ++i) {
            RecordingProvider alone(doc, start, 1 + round % 40);
            alone.addSignal(handles[i], distances[(i + round) % 4]);
            alone.run();
            Lines own;
            for (const std::string& line : together.lines)
                if (line.rfind(std::to_string(handles[i]) + " ", 0) == 0)
                    own.push_back(line);
            EXPECT_EQ(own, alone.lines) << "signal " << handles[i];
        }
    }
}
