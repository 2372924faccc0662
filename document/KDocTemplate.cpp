#include "document/KDocTemplate.h"

#include "document/KDoc.h"
#include "document/KTempFiles.h"
#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KVcdReader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

bool endsWith(std::string text, const std::string& ending) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// Imports a VCD file into a new registered temporary waveform file; its path.
std::string convertVcd(const std::string& path) {
    const std::string temporary = KTempFiles::create(".awf");
    if (temporary.empty())
        throw KFileException::generic(KTempFiles::directory(), "cannot create a temporary file");
    try {
        evstream::IEventsStreamWrite* sink = evstream::OpenStreamWrite(temporary);
        try {
            KVcdReader(path).importInto(*sink);
        } catch (...) {
            sink->Release();
            throw;
        }
        if (!sink->Release())
            throw KFileException::generic(temporary, "cannot complete the converted file");
    } catch (...) {
        KTempFiles::remove(temporary);
        throw;
    }
    return temporary;
}

} // namespace

KDocTemplate::Kind KDocTemplate::kindOf(const std::string& path) {
    if (endsWith(path, ".awf"))
        return Kind::Waveform;
    if (endsWith(path, ".vcd") || endsWith(path, ".vcd.gz"))
        return Kind::Vcd;
    return Kind::Unknown;
}

std::unique_ptr<KDoc> KDocTemplate::open(const std::string& path, IDocHost* host) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw KFileException(KFileException::Cause::FileNotFound, path, "no such file");
    const Kind kind = kindOf(path);
    if (kind == Kind::Unknown)
        throw KFileException(KFileException::Cause::BadFormat, path,
                             "not a waveform file (.awf) or a VCD file (.vcd, .vcd.gz)");
    const std::string file = kind == Kind::Vcd ? convertVcd(path) : path;
    auto doc = std::make_unique<KDoc>(host);
    if (!doc->openDocument(file)) {
        if (kind == Kind::Vcd)
            KTempFiles::remove(file);
        // The converted file's own complaint would name the temporary file, not the user's.
        const std::string why = kind == Kind::Waveform ? doc->openError() : std::string();
        throw KFileException(KFileException::Cause::BadFormat, path,
                             why.empty() ? "Invalid file format." : "Invalid file format. " + why);
    }
    if (kind == Kind::Vcd)
        doc->setConvertedFrom(path);
    return doc;
}
