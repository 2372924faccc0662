// Opens a waveform file made of the input bytes as a document, reads every signal's events and
// values through the query engine, saves the document and opens the saved file again. A file
// that does not open is fine; a crash, a sanitizer report, a hang or an exception other than the
// file error is a bug.
#include "document/KDoc.h"
#include "document/KTempFiles.h"
#include "storage/KFileException.h"
#include "storage/query/KEventsProvider.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int kMaxEvents = 100000;

class KMyEventsProvider final : public KEventsProvider {
public:
    explicit KMyEventsProvider(const KDoc& doc) : KEventsProvider(doc, 0) {}
    bool OnEvent(SignalHandle, const KEventRecord&) override { return ++m_events < kMaxEvents; }

private:
    int m_events = 0;
};

void exercise(const std::string& path, const std::string& savedPath) {
    KDoc doc;
    if (!doc.openDocument(path))
        return;
    KMyEventsProvider provider(doc);
    for (const auto& [handle, record] : doc.signals())
        provider.addSignal(handle);
    provider.run();
    for (SignalHandle row : doc.rows())
        doc.declaration(row);
    if (!doc.saveDocument(savedPath))
        return;
    KDoc again;
    if (!again.openDocument(savedPath))
        __builtin_trap(); // what the program saved it must open
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string base = "/tmp/tessel-fuzz-doc-" + std::to_string(::getpid());
    static const std::string path = base + ".awf";
    static const std::string savedPath = base + "-saved.awf";
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size != 0)
            std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    try {
        exercise(path, savedPath);
    } catch (const KFileException&) {
    }
    KTempFiles::removeAll();
    ::unlink(path.c_str());
    ::unlink(savedPath.c_str());
    return 0;
}
