// Opens a database file made of the input bytes and reads everything it offers: declarations,
// properties, annotations, every event in time order, and the index queries. Any failure must
// be the file error; anything else (a crash, a sanitizer report, a hang) is a bug.
#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"
#include "storage/evstream/SignalCursor.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace evstream;

constexpr int kMaxEvents = 200000;

void readTree(IEventsStreamRead* r, SignalHandle handle, std::vector<SignalHandle>& all) {
    SignalInfo info;
    if (!r->GetSignalInfo(handle, info))
        return;
    all.push_back(handle);
    r->GetProperty(handle, "Color");
    r->GetTypeInfoString(handle);
    Annotation annotation;
    for (int i = 0; i < r->GetAnnotationCount(handle); ++i)
        r->GetAnnotation(handle, i, annotation);
    GetParent(r, handle);
    for (int i = 0; i < info.childCount; ++i) {
        SignalHandle child = r->GetChild(handle, i);
        if (child != kNoSignal)
            readTree(r, child, all);
    }
}

void readEverything(IEventsStreamRead* r) {
    std::vector<SignalHandle> handles;
    for (int i = 0; i < r->GetRootCount(); ++i)
        readTree(r, r->GetRoot(i), handles);
    std::vector<std::uint8_t> value(1u << 20);
    r->Rewind(0);
    SimTime last = 0;
    for (int n = 0; n < kMaxEvents && r->ReadNextEvent() != kNoSignal; ++n) {
        r->GetValue(value.data());
        last = r->GetTime();
    }
    const SimTime times[] = {0, last / 2, last, r->GetEndTime()};
    for (SignalHandle h : handles) {
        for (SimTime t : times) {
            std::int64_t before, after, count;
            GetSignalValue(r, t, h, value.data());
            GetSignalEvents(r, t, h, before, after, count);
            GetNextMilestone(r, t);
        }
        if (auto cursor = OpenSignalCursor(r, h)) {
            for (int n = 0; n < 1000 && cursor->seek(last / 3 + n); ++n)
                cursor->next();
        }
        r->Rewind(last / 2);
        for (int n = 0; n < 1000 && r->ReadNextEventOf(h, value.data()); ++n) {
        }
    }
    r->SkipTo(last / 2);
    r->Refresh();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/tessel-fuzz-awf-" + std::to_string(::getpid()) + ".awf";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        IEventsStreamRead* r = OpenStreamRead(path);
        try {
            readEverything(r);
        } catch (const KFileException&) {
        }
        r->Release();
    } catch (const KFileException&) {
    }
    return 0;
}
