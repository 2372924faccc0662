#include "storage/vcd/KVcdWriter.h"

#include "storage/KFileException.h"
#include "storage/evstream/IEventsStream.h"
#include "storage/vcd/KVcdType.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#include <zlib.h>

namespace {

// Buffers the text and hands it to the file (or to zlib) in large blocks.
class Output {
public:
    explicit Output(std::string fileName) : m_fileName(std::move(fileName)) {
        bool compressed = m_fileName.size() > 3 && m_fileName.ends_with(".gz");
        if (compressed) {
            m_gz = gzopen(m_fileName.c_str(), "wb6");
            if (m_gz == nullptr)
                failOpen();
            gzbuffer(m_gz, 1u << 18);
        } else {
            m_file = std::fopen(m_fileName.c_str(), "wb");
            if (m_file == nullptr)
                failOpen();
        }
        m_buffer.reserve(kBlock + 4096);
    }
    ~Output() {
        if (m_gz != nullptr)
            gzclose(m_gz);
        if (m_file != nullptr)
            std::fclose(m_file);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void put(char c) { m_buffer.push_back(c); }
    void put(std::string_view text) { m_buffer.append(text); }
    // Call after each record: flushes when a block is full.
    void recordDone() {
        if (m_buffer.size() >= kBlock)
            flush();
    }
    void flush() {
        if (m_buffer.empty())
            return;
        bool ok = m_gz != nullptr
                      ? gzwrite(m_gz, m_buffer.data(), static_cast<unsigned>(m_buffer.size())) ==
                            static_cast<int>(m_buffer.size())
                      : std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) == m_buffer.size();
        if (!ok)
            throw KFileException(errno == ENOSPC ? KFileException::Cause::DiskFull
                                                 : KFileException::Cause::Generic,
                                 m_fileName, std::string("write failed: ") + std::strerror(errno));
        m_written += m_buffer.size();
        m_buffer.clear();
    }
    // Flushes and closes; returns the size of the file.
    std::uint64_t close() {
        flush();
        bool ok = true;
        if (m_gz != nullptr) {
            ok = gzclose(m_gz) == Z_OK;
            m_gz = nullptr;
        } else {
            ok = std::fclose(m_file) == 0;
            m_file = nullptr;
        }
        if (!ok)
            throw KFileException(KFileException::Cause::Generic, m_fileName,
                                 "the file could not be completed on disk");
        std::FILE* file = std::fopen(m_fileName.c_str(), "rb");
        std::uint64_t size = m_written;
        if (file != nullptr) {
            std::fseek(file, 0, SEEK_END);
            size = static_cast<std::uint64_t>(std::ftell(file));
            std::fclose(file);
        }
        return size;
    }

private:
    static constexpr std::size_t kBlock = 1u << 20;

    [[noreturn]] void failOpen() {
        int error = errno;
        throw KFileException(
            error == EACCES ? KFileException::Cause::AccessDenied : KFileException::Cause::Generic,
            m_fileName, std::string("cannot create: ") + std::strerror(error), error);
    }

    std::string m_fileName;
    std::FILE* m_file = nullptr;
    gzFile m_gz = nullptr;
    std::string m_buffer;
    std::uint64_t m_written = 0;
};

struct Signal {
    std::string path; // '/'-separated full name
    KVcdType type;
    std::string code;
    bool alias = false; // shares the code (and the events) of an earlier signal
};

// A scope of the '/'-separated names, with its variables and sub-scopes in first-seen order.
struct Scope {
    std::vector<std::pair<std::string, std::unique_ptr<Scope>>> children;
    std::vector<std::size_t> signals;

    Scope& child(std::string_view name) {
        for (auto& [childName, scope] : children)
            if (childName == name)
                return *scope;
        children.emplace_back(std::string(name), std::make_unique<Scope>());
        return *children.back().second;
    }
};

class Exporter {
public:
    Exporter(evstream::IEventsStreamRead& source, const KVcdExportOptions& options,
             KVcdExportSummary& summary)
        : m_source(source), m_options(options), m_summary(summary) {
        m_digits = options.states == KVcdExportOptions::States::Four ? KVcdWriter::kFourStateDigits
                                                                     : KVcdWriter::kNineStateDigits;
    }

    void collect() {
        int roots = m_source.GetRootCount();
        for (int i = 0; i < roots; ++i)
            collectSignal(m_source.GetRoot(i), "");
    }

    void writeHeader(Output& out) {
        out.put("$version\n    " + m_options.version + "\n$end\n");
        out.put("$timescale 1ps $end\n");
        Scope root;
        for (std::size_t i = 0; i < m_signals.size(); ++i) {
            Scope* scope = &root;
            std::string_view path = m_signals[i].path;
            for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
                 slash = path.find('/')) {
                scope = &scope->child(path.substr(0, slash));
                path.remove_prefix(slash + 1);
            }
            scope->signals.push_back(i);
        }
        writeScope(out, root);
        out.put("$enddefinitions $end\n");
    }

    void writeEvents(Output& out) {
        if (!m_source.Rewind(0))
            throw KFileException::generic(m_source.GetFileName(), "cannot read the events");
        std::vector<std::uint8_t> value(64);
        SimTime written = kNoTime;
        for (SignalHandle handle = m_source.ReadNextEvent(); handle != kNoSignal;
             handle = m_source.ReadNextEvent()) {
            if (handle < 0 || static_cast<std::size_t>(handle) >= m_byHandle.size() ||
                m_byHandle[static_cast<std::size_t>(handle)] < 0)
                continue;
            const Signal& signal = m_signals[static_cast<std::size_t>(m_byHandle[handle])];
            if (signal.alias)
                continue; // its code changes with the signal it shares the code of
            SimTime time = m_source.GetTime();
            if (time < 0)
                continue;
            if (time != written) {
                writeTime(out, time);
                written = time;
            }
            std::uint32_t size = m_source.GetValueSize();
            if (value.size() < size)
                value.resize(size);
            if (!m_source.GetValue(value.data()))
                throw KFileException::generic(m_source.GetFileName(), "cannot read a value");
            writeValue(out, signal, value.data(), size);
            ++m_summary.events;
            out.recordDone();
        }
        SimTime end = m_source.GetEndTime();
        if (end > written && end > 0)
            writeTime(out, end);
        m_summary.endTime = std::max(end, written);
    }

private:
    void collectSignal(SignalHandle handle, const std::string& parentName) {
        evstream::SignalInfo info;
        if (!m_source.GetSignalInfo(handle, info))
            throw KFileException::generic(m_source.GetFileName(), "cannot read the signal tree");
        std::string name = parentName + info.name;
        if (info.isComposite) {
            for (int i = 0; i < info.childCount; ++i)
                collectSignal(m_source.GetChild(handle, i), name);
            return;
        }
        std::optional<KVcdType> type =
            KVcdType::fromTypeInfoString(m_source.GetTypeInfoString(handle));
        if (!type || handle < 0) {
            ++m_summary.skippedSignals;
            return;
        }
        std::string code;
        SignalHandle same = info.sameEventsAs;
        bool alias = same >= 0 && static_cast<std::size_t>(same) < m_byHandle.size() &&
                     m_byHandle[same] >= 0 &&
                     m_signals[m_byHandle[same]].type.valueSize() == type->valueSize();
        if (alias)
            code = m_signals[static_cast<std::size_t>(m_byHandle[same])].code;
        else
            code = vcdIdentifierCode(m_codes++);
        if (m_byHandle.size() <= static_cast<std::size_t>(handle))
            m_byHandle.resize(static_cast<std::size_t>(handle) + 1, -1);
        m_byHandle[static_cast<std::size_t>(handle)] = static_cast<std::int32_t>(m_signals.size());
        m_signals.push_back({name, *type, code, alias});
        ++m_summary.signals;
    }

    void writeScope(Output& out, const Scope& scope) {
        for (std::size_t index : scope.signals)
            writeVar(out, m_signals[index]);
        for (const auto& [name, child] : scope.children) {
            out.put("$scope module " + name + " $end\n");
            writeScope(out, *child);
            out.put("$upscope $end\n");
        }
    }

    static void writeVar(Output& out, const Signal& signal) {
        std::string_view name = signal.path;
        if (std::size_t slash = name.rfind('/'); slash != std::string_view::npos)
            name.remove_prefix(slash + 1);
        const KVcdType& type = signal.type;
        std::string line = "$var ";
        switch (type.kind()) {
        case KVcdType::Kind::Logic:
        case KVcdType::Kind::LogicVector:
            line += "wire ";
            break;
        case KVcdType::Kind::Integer:
            line += "integer ";
            break;
        case KVcdType::Kind::Real:
            line += "real ";
            break;
        }
        line += std::to_string(type.width()) + " " + signal.code + " " + std::string(name);
        if (type.kind() == KVcdType::Kind::LogicVector)
            line += " [" + std::to_string(type.left()) + ":" + std::to_string(type.right()) + "]";
        out.put(line + " $end\n");
    }

    static void writeTime(Output& out, SimTime time) {
        char text[24];
        text[0] = '#';
        auto result = std::to_chars(text + 1, text + sizeof text - 1, time);
        *result.ptr++ = '\n';
        out.put(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
    }

    void writeValue(Output& out, const Signal& signal, const std::uint8_t* value,
                    std::uint32_t size) {
        const KVcdType& type = signal.type;
        if (size < type.valueSize())
            throw KFileException::generic(m_source.GetFileName(),
                                          "a value of " + signal.path + " is too short");
        switch (type.kind()) {
        case KVcdType::Kind::Logic:
            out.put(logicDigit(type, value[0]));
            break;
        case KVcdType::Kind::LogicVector:
            out.put('b');
            for (std::uint32_t i = 0; i < type.valueSize(); ++i)
                out.put(logicDigit(type, value[i]));
            out.put(' ');
            break;
        case KVcdType::Kind::Integer:
            writeInteger(out, value, type.valueSize());
            break;
        case KVcdType::Kind::Real: {
            double number = 0;
            std::memcpy(&number, value, 8);
            char text[40];
            text[0] = 'r';
            auto result = std::to_chars(text + 1, text + sizeof text, number);
            out.put(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
            out.put(' ');
            break;
        }
        }
        out.put(signal.code);
        out.put('\n');
    }

    char logicDigit(const KVcdType& type, std::uint8_t ordinal) const {
        if (type.isTwoState())
            return ordinal == 1 ? '1' : '0';
        return ordinal < 9 ? m_digits[ordinal] : 'x';
    }

    static void writeInteger(Output& out, const std::uint8_t* value, std::uint32_t size) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, value, size); // little-endian, as the values are stored
        int top = static_cast<int>(size * 8) - 1;
        while (top > 0 && ((bits >> top) & 1u) == 0)
            --top;
        out.put('b');
        for (int bit = top; bit >= 0; --bit)
            out.put(((bits >> bit) & 1u) != 0 ? '1' : '0');
        out.put(' ');
    }

    evstream::IEventsStreamRead& m_source;
    const KVcdExportOptions& m_options;
    KVcdExportSummary& m_summary;
    const char* m_digits;
    std::vector<Signal> m_signals;
    std::vector<std::int32_t> m_byHandle; // handle to index in m_signals, -1 when not exported
    std::size_t m_codes = 0;
};

} // namespace

KVcdExportSummary KVcdWriter::write(evstream::IEventsStreamRead& source,
                                    const std::string& fileName) {
    KVcdExportSummary summary;
    Exporter exporter(source, m_options, summary);
    exporter.collect();
    Output out(fileName);
    exporter.writeHeader(out);
    exporter.writeEvents(out);
    summary.bytesWritten = out.close();
    return summary;
}

std::string vcdIdentifierCode(std::size_t number) {
    std::string code;
    do {
        code += static_cast<char>('!' + number % 94);
        number /= 94;
    } while (number != 0);
    return code;
}
