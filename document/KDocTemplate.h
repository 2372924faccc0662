#pragma once

// Opens a file as a document by its kind: a waveform file (.awf) directly, a VCD file (.vcd or
// .vcd.gz) by importing it into a new temporary waveform file and opening that. A converted
// document remembers the file it came from, so that saving over it asks first.

#include <memory>
#include <string>

class IDocHost;
class KDoc;

class KDocTemplate {
public:
    enum class Kind { Waveform, Vcd, Unknown };

    // The kind of a file by its name's ending (case-insensitive).
    static Kind kindOf(const std::string& path);

    // A new document over the file; throws KFileException naming the file and what is wrong when
    // it cannot be opened or converted.
    static std::unique_ptr<KDoc> open(const std::string& path, IDocHost* host = nullptr);
};
