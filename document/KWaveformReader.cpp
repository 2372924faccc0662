#include "document/KWaveformReader.h"

#include "document/KDoc.h"
#include "document/KEventsExtent.h"
#include "document/KWaveComment.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <strings.h>

namespace {

// Deeper trees than this are damage, not designs; the limit keeps the recursion bounded.
constexpr int kMaxDepth = 256;
constexpr char kSeparator = '/';

std::optional<std::int64_t> integer(const std::string& text) {
    std::int64_t value = 0;
    const char* begin = text.data();
    while (begin < text.data() + text.size() && *begin == ' ')
        ++begin;
    if (begin < text.data() + text.size() && *begin == '+')
        ++begin;
    auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || end == begin)
        return std::nullopt;
    return value;
}

} // namespace

std::size_t KWaveformReader::splitPoint(std::string_view path) {
    if (path.size() >= 3 && path.back() == '\\') {
        // Walk back over the identifier; a doubled backslash is one character of it.
        for (std::size_t i = path.size() - 1; i-- > 0;) {
            if (path[i] != '\\')
                continue;
            if (i > 0 && path[i - 1] == '\\') {
                --i;
                continue;
            }
            return i;
        }
        return 0;
    }
    const std::size_t last = path.rfind(kSeparator);
    return last == std::string_view::npos ? 0 : last + 1;
}

void KWaveformReader::nameRecord(KSignalRecord& record, const std::string& fileName,
                                 SignalHandle docParent) const {
    if (docParent == 0) {
        const std::size_t split = splitPoint(fileName);
        record.setHierarchyIndex(m_doc.hierarchy().intern(fileName.substr(0, split)));
        record.setName(fileName.substr(split));
        return;
    }
    const KSignalRecordPtr parent = m_doc.record(docParent);
    if (parent->isVirtualBus()) {
        record.setName(fileName);
        record.setHierarchyIndex(0);
        return;
    }
    record.setName(parent->name() + fileName);
    record.setParentNameLength(static_cast<std::uint16_t>(
        std::min<std::size_t>(parent->name().size(), std::numeric_limits<std::uint16_t>::max())));
    record.setHierarchyIndex(parent->hierarchyIndex());
}

void KWaveformReader::applyProperties(const std::function<std::string(std::string_view)>& property,
                                      KSignalRecord& record) {
    auto number = [&](std::string_view key) { return integer(property(key)); };
    if (auto color = number("Color"))
        record.setColor(static_cast<std::uint32_t>(*color));
    if (auto height = number("Height"))
        record.setHeight(static_cast<std::uint16_t>(*height));
    if (auto shape = number("Shape"))
        record.setShape(static_cast<std::uint32_t>(*shape));
    if (auto radix = number("Radix")) {
        const int bits = static_cast<int>(*radix & 0x3F);
        record.setRadix(bits >= 32 ? bits - 64 : bits);
    }
    if (auto bold = number("Bold"))
        record.setBold(*bold != 0);
    if (auto bus = number("VBus"))
        record.setVirtualBus(*bus != 0);
    if (auto inverted = number("Inverted"))
        record.setInverted(*inverted != 0);
    const std::string range = property("Analog range");
    if (const std::size_t blank = range.find(' '); blank != std::string::npos)
        record.setAnalogRange(std::strtod(range.c_str(), nullptr),
                              std::strtod(range.c_str() + blank + 1, nullptr));
    record.setStimulator(property("Stimulator"));
}

void KWaveformReader::readProperties(SignalHandle fileHandle, KSignalRecord& record) const {
    applyProperties([&](std::string_view key) { return m_file.property(fileHandle, key); }, record);
}

bool KWaveformReader::readSignal(SignalHandle fileHandle, SignalHandle docParent, int depth) {
    evstream::SignalInfo info;
    if (fileHandle == kNoSignal || !m_file.signalInfo(fileHandle, info))
        return false;
    if (m_translation.count(fileHandle) != 0)
        return false; // a handle reached twice: the tree is damaged
    KSignalRecordPtr record = KSignalRecord::create();
    record->setMode(static_cast<std::uint32_t>(info.mode));
    readProperties(fileHandle, *record);
    nameRecord(*record, info.name, docParent);
    const std::string typeString = m_file.typeInfoString(fileHandle);
    if (!typeString.empty())
        record->setTypeIndex(m_doc.types().registerType(typeString));
    if (!info.isComposite) {
        const SimTime end = info.endTime == kNoTime ? m_file.endTime() : info.endTime;
        record->segments().insert(
            KEventSegment({0, 0}, {end == kMaxTime ? end : end + 1, 0}, m_file, fileHandle),
            InsertForm::Overwrite);
    }
    const SignalHandle handle = m_doc.addRecord(record, docParent);
    if (handle == 0)
        return false;
    // Through the document, so that a shape the type does not allow falls back to 0.
    if (record->hasTypeInfo())
        m_doc.setTypeInfo(handle, record->typeIndex());
    m_translation.emplace(fileHandle, handle);
    if (info.isComposite && !readSignals(fileHandle, handle, info.childCount, depth + 1))
        return false;
    return true;
}

bool KWaveformReader::readSignals(SignalHandle fileParent, SignalHandle docParent, int count,
                                  int depth) {
    if (depth > kMaxDepth || count < 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const SignalHandle fileHandle =
            fileParent == kNoSignal ? m_file.root(i) : m_file.child(fileParent, i);
        if (!readSignal(fileHandle, docParent, depth))
            return false;
    }
    return true;
}

bool KWaveformReader::readAnnotations() {
    for (const auto& [fileHandle, docHandle] : m_translation) {
        const int count = m_file.annotationCount(fileHandle);
        for (int i = 0; i < count; ++i) {
            evstream::Annotation note;
            if (!m_file.annotation(fileHandle, i, note))
                return false;
            std::unique_ptr<KItemUI> item;
            if (strcasecmp(note.key.c_str(), "Comment") == 0) {
                const std::size_t comma = note.text.find(',');
                const std::string position = note.text.substr(0, comma);
                const std::string text =
                    comma == std::string::npos ? std::string() : note.text.substr(comma + 1);
                item = std::make_unique<KWaveComment>(
                    docHandle, static_cast<int>(integer(position).value_or(0)), note.time, text);
            } else if (strcasecmp(note.key.c_str(), "Measurement") == 0) {
                int row = 0;
                int endFile = 0;
                std::int64_t duration = 0;
                if (std::sscanf(note.text.c_str(), "%d,%d,%" SCNd64, &row, &endFile, &duration) !=
                    3)
                    return false;
                auto end = m_translation.find(endFile);
                if (end == m_translation.end())
                    return false;
                item = std::make_unique<KEventsExtent>(docHandle, note.time, end->second,
                                                       addTime(note.time, duration), row);
            } else {
                continue;
            }
            if (!m_doc.addItem(std::move(item)))
                return false;
        }
    }
    return true;
}

bool KWaveformReader::read() {
    if (!m_file)
        return false;
    if (!readSignals(kNoSignal, 0, m_file.rootCount(), 0))
        return false;
    // Rows in file order: the file lists the top-level signals as they were shown.
    std::vector<SignalHandle> rows;
    for (const auto& [fileHandle, docHandle] : m_translation)
        if (m_doc.record(docHandle)->isTopLevel())
            rows.push_back(docHandle);
    std::sort(rows.begin(), rows.end());
    m_doc.insertRows(m_doc.rowCount(), rows);
    if (!readAnnotations())
        return false;
    for (const auto& [fileHandle, docHandle] : m_translation) {
        const KSignalRecordPtr record = m_doc.record(docHandle);
        if (!record->stimulator().empty())
            m_doc.setStimulator(docHandle, record->stimulator());
    }
    return true;
}
