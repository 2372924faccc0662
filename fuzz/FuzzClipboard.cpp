// Reads the input as each clipboard block in turn: as a bare item stream walked item by item, as
// a copied piece of waveform (placed onto a small document when it reads), as copied signals
// (turned into records) and as a signal list. Damage must be refused with a message; a crash, a
// sanitizer report, a hang or an exception is a bug, and so is a block that reads but does not
// read the same after writing it again.
#include "document/KClipDataProvider.h"
#include "document/KClipPlacement.h"
#include "document/KClipWaveform.h"
#include "document/KDoc.h"
#include "document/KItemStreamReader.h"
#include "document/KSignalClipboard.h"

#include <cstdint>
#include <span>
#include <string>

namespace {

void walkItems(std::span<const std::uint8_t> bytes) {
    KItemStreamReader in(bytes);
    while (const auto item = in.peek()) {
        switch (*item) {
        case KItemStream::Item::Text:
            in.text();
            break;
        case KItemStream::Item::Integer:
            in.integer();
            break;
        case KItemStream::Item::Integer64:
            in.integer64();
            break;
        case KItemStream::Item::Character:
            in.character();
            break;
        case KItemStream::Item::End:
            in.end();
            break;
        default:
            in.fail("unknown item");
        }
    }
}

void placeWaveform(const KClipWaveform& clip) {
    KDoc doc;
    for (const KClipWaveform::Signal& signal : clip.signals) {
        KSignalRecordPtr record = KSignalRecord::create("s");
        const SignalHandle handle = doc.addRecord(record);
        doc.setTypeInfo(handle, doc.types().registerType(signal.typeInfo));
        const SignalHandle rows[] = {handle};
        doc.insertRows(doc.rowCount(), rows);
    }
    const KClipPlacement placement(doc, clip);
    placement.targets(0, 1000);
    placement.items(0, 1000);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    walkItems(bytes);

    std::string error;
    if (const auto clip = KClipWaveform::parse(bytes, &error)) {
        if (KClipWaveform::parse(clip->block()) != clip)
            __builtin_trap();
        placeWaveform(*clip);
    } else if (error.empty()) {
        __builtin_trap(); // a refusal always says why
    }

    if (const auto signals = KClipDataProvider::parse(bytes)) {
        if (KClipDataProvider::parse(KClipDataProvider::block(*signals)) != signals)
            __builtin_trap();
        KDoc doc;
        KClipDataProvider::records(doc, *signals);
    }
    KSignalClipboard::parse(bytes);
    return 0;
}
