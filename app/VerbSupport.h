#pragma once

// What the verbs that read a file through the document share: opening the file as a document,
// finding signals by name, reading times, and JSON strings.

#include "storage/SimTime.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class KDoc;

// Opens FILE (.awf, .vcd, .vcd.gz) as a document; on failure prints "tessel-wave VERB: FILE:
// what is wrong" to stderr and returns null.
std::unique_ptr<KDoc> openDocumentFor(std::string_view verb, const std::string& path);
// A signal by its full name (exact, then ignoring case, then by its own name when only one signal
// has it); 0 when none.
SignalHandle findSignal(const KDoc& doc, std::string_view name);
// A time on the command line ("10ns", "1.5 us", "250" in ps); none when it is not a time or is
// negative.
std::optional<SimTime> parseTimeArgument(std::string_view text);
// `text` quoted and escaped as a JSON string.
std::string jsonString(std::string_view text);
