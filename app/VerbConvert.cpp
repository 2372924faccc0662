// tessel-wave convert IN OUT [--threads N] [--4state]: VCD to .awf, .awf to VCD, VCD to VCD.

#include "app/Verbs.h"
#include "storage/KFileException.h"
#include "storage/TimeFormat.h"
#include "storage/evstream/EventStore.h"
#include "storage/vcd/KThreadedStreamWrite.h"
#include "storage/vcd/KVcdReader.h"
#include "storage/vcd/KVcdWriter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

enum class Format { Unknown, Vcd, Database };

Format formatOf(std::string_view path) {
    if (path.ends_with(".vcd") || path.ends_with(".vcd.gz"))
        return Format::Vcd;
    if (path.ends_with(".awf"))
        return Format::Database;
    return Format::Unknown;
}

// Draws "[=====     ]  45%" on stderr, at most ten times a second, when stderr is a terminal.
class ProgressBar {
public:
    ProgressBar() : m_enabled(::isatty(2) != 0) {}
    ~ProgressBar() { clear(); }
    void update(std::uint64_t done, std::uint64_t total) {
        auto now = std::chrono::steady_clock::now();
        if (!m_enabled || total == 0 || now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        int percent = static_cast<int>(done * 100 / total);
        std::string bar(40, ' ');
        for (int i = 0; i < percent * 40 / 100; ++i)
            bar[static_cast<std::size_t>(i)] = '=';
        std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), percent);
        m_drawn = true;
    }
    void clear() {
        if (m_drawn)
            std::fprintf(stderr, "\r%60s\r", "");
        m_drawn = false;
    }

private:
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last{};
};

// The output is written beside its final path and renamed into place only when complete, so a
// failure never leaves a partial file behind (and never destroys an older file of that name).
class OutputFile {
public:
    explicit OutputFile(std::string path) : m_path(std::move(path)) {
        std::filesystem::path target(m_path);
        std::string name = target.filename().string();
        // Keep the extension last: the writers choose compression by it.
        std::string hidden = ".";
        hidden += std::to_string(::getpid());
        hidden += ".partial.";
        hidden += name;
        m_temporary = (target.parent_path() / hidden).string();
    }
    ~OutputFile() {
        if (!m_committed)
            std::filesystem::remove(m_temporary, m_error);
    }
    const std::string& temporary() const { return m_temporary; }
    void commit() {
        std::filesystem::rename(m_temporary, m_path, m_error);
        if (m_error)
            throw KFileException(KFileException::Cause::Generic, m_path,
                                 "cannot move the finished file into place: " + m_error.message());
        m_committed = true;
    }

private:
    std::string m_path;
    std::string m_temporary;
    bool m_committed = false;
    std::error_code m_error;
};

struct Options {
    std::string input;
    std::string output;
    int threads = 1;
    bool fourState = false;
};

// What one conversion did, for the summary line and the notes under it.
struct Stats {
    std::int64_t signals = 0;
    std::int64_t events = 0;
    SimTime endTime = 0;
    std::vector<std::string> notes;
};

std::string sizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes < 10000)
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    else if (bytes < 10000000)
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

void importVcd(const Options& options, const std::string& database, ProgressBar& progress,
               Stats& stats) {
    evstream::IEventsStreamWrite* stream = evstream::OpenStreamWrite(database);
    KVcdImportSummary result;
    try {
        KVcdReader reader(options.input);
        auto onProgress = [&](std::uint64_t done, std::uint64_t total) {
            progress.update(done, total);
        };
        // Two threads: the database encodes and writes blocks on its own worker while the parser
        // fills the next one, and the file is read ahead of the parser by a thread that mostly
        // waits in the kernel. Three: the parser also hands its events to another thread.
        if (options.threads > 1) {
            evstream::SetWriterThread(stream, true);
            reader.setReadAhead(true);
        }
        // VCD gives the order of the changes under one timestamp no meaning: not storing it
        // saves about two bytes per change when a simulator writes them in no particular order.
        evstream::SetWriteOrderKept(stream, false);
        if (options.threads > 2) {
            KThreadedStreamWrite threaded(*stream);
            result = reader.importInto(threaded, onProgress);
            threaded.finish();
        } else {
            result = reader.importInto(*stream, onProgress);
        }
    } catch (...) {
        stream->Release();
        throw;
    }
    if (!stream->Release())
        throw KFileException::generic(database, "the file could not be completed on disk");
    stats.signals = result.signals;
    stats.events = result.events;
    stats.endTime = result.endTime;
    if (result.roundedTimes > 0)
        stats.notes.push_back(std::to_string(result.roundedTimes) +
                              " timestamps were finer than 1 ps (timescale " + result.timescale +
                              ") and were rounded to the nearest picosecond");
    if (result.unknownIntegers > 0)
        stats.notes.push_back(std::to_string(result.unknownIntegers) +
                              " integer values had X or Z bits and were stored as -2147483648");
    if (result.skippedVariables > 0)
        stats.notes.push_back(std::to_string(result.skippedVariables) +
                              " string variables were not imported");
    if (result.truncatedLastLine)
        stats.notes.push_back("the last line was cut short and was ignored");
}

void exportVcd(const Options& options, const std::string& database, const std::string& vcd,
               Stats& stats) {
    evstream::IEventsStreamRead* stream = evstream::OpenStreamRead(database);
    KVcdExportOptions exportOptions;
    if (options.fourState)
        exportOptions.states = KVcdExportOptions::States::Four;
    KVcdExportSummary result;
    try {
        result = KVcdWriter(exportOptions).write(*stream, vcd);
    } catch (...) {
        stream->Release();
        throw;
    }
    stream->Release();
    stats.signals = result.signals;
    stats.events = result.events;
    stats.endTime = result.endTime;
    if (result.skippedSignals > 0)
        stats.notes.push_back(std::to_string(result.skippedSignals) +
                              " signals have types VCD cannot carry and were left out");
}

int convert(const Options& options) {
    Format in = formatOf(options.input);
    Format out = formatOf(options.output);
    if (in == Format::Unknown || out == Format::Unknown)
        return usageError("convert", "formats are chosen by extension: .vcd, .vcd.gz or .awf");
    if (in == Format::Database && out == Format::Database)
        return usageError("convert", "both files are .awf: nothing to convert");
    auto start = std::chrono::steady_clock::now();
    ProgressBar progress;
    Stats stats;
    try {
        OutputFile output(options.output);
        if (in == Format::Vcd && out == Format::Database) {
            importVcd(options, output.temporary(), progress, stats);
        } else if (in == Format::Database) {
            exportVcd(options, options.input, output.temporary(), stats);
        } else {
            OutputFile between((std::filesystem::temp_directory_path() / "convert.awf").string());
            importVcd(options, between.temporary(), progress, stats);
            exportVcd(options, between.temporary(), output.temporary(), stats);
        }
        output.commit();
    } catch (const KFileException& error) {
        progress.clear();
        // Name the file the user gave, not the temporary one beside it.
        bool temporary = error.fileName().find(".partial.") != std::string::npos;
        std::string file =
            !temporary ? error.fileName()
            : error.fileName().ends_with(".awf") && formatOf(options.output) == Format::Vcd
                ? std::string("the intermediate database")
                : options.output;
        std::fprintf(stderr, "tessel-wave convert: %s: %s\n", file.c_str(), error.detail().c_str());
        return 1;
    } catch (const std::exception& error) {
        progress.clear();
        std::fprintf(stderr, "tessel-wave convert: %s: %s\n", options.input.c_str(), error.what());
        return 1;
    }
    progress.clear();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code error;
    std::uint64_t inSize = std::filesystem::file_size(options.input, error);
    std::uint64_t outSize = std::filesystem::file_size(options.output, error);
    std::fprintf(
        stderr, "%s -> %s: %lld signals, %lld events, 0 to %s, %s read, %s written, %.2f s\n",
        options.input.c_str(), options.output.c_str(), static_cast<long long>(stats.signals),
        static_cast<long long>(stats.events), FormatTime(stats.endTime).c_str(),
        sizeText(inSize).c_str(), sizeText(outSize).c_str(), seconds);
    for (const std::string& note : stats.notes)
        std::fprintf(stderr, "note: %s\n", note.c_str());
    return 0;
}

} // namespace

int runConvertVerb(const std::vector<std::string_view>& args) {
    Options options;
    std::vector<std::string_view> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--4state") {
            options.fourState = true;
        } else if (args[i] == "--threads") {
            if (i + 1 == args.size())
                return usageError("convert", "--threads needs a number");
            std::string number(args[++i]);
            options.threads = std::atoi(number.c_str());
            if (options.threads < 1 || options.threads > 64)
                return usageError("convert", "--threads takes a number from 1 to 64");
        } else if (args[i].starts_with("--")) {
            return usageError("convert", "unknown option '" + std::string(args[i]) + "'");
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2)
        return usageError("convert", "expected IN and OUT files");
    options.input = files[0];
    options.output = files[1];
    return convert(options);
}
