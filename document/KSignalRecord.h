#pragma once

// Everything the document knows about one signal: names, declaration data, display properties
// and the waveform as a map of segments.
//
// Records are shared: the signal map, a parent's children and undo items hold the same record
// through KSignalRecordPtr, and the last holder frees it. An edit that must stay undoable does not
// change a shared record's segments in place behind an undo item's back; it saves them first.
//
// Names: a top-level design signal holds only its own name (its path is the hierarchy index); an
// element of a declared bus or record holds the parent's name and its suffix ("data(3)",
// "rec.field") and remembers the parent name's length; a member of a virtual bus holds its full
// design path.
//
// The type is kept as an index into the document's KTypesManager (0: no type information); the
// record cannot answer type questions alone. As an IValueNode it is what value formatting walks.

#include "document/KEventSegmentMap.h"
#include "storage/IValueNode.h"
#include "storage/SimTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class KSignalRecord;
using KSignalRecordPtr = std::shared_ptr<KSignalRecord>;

// Declaration kinds, as stored in a record's mode (files may hold other values).
enum class SignalMode : std::uint32_t {
    Unspecified = 0,
    PortIn = 1,
    PortOut = 2,
    PortInout = 3,
    PortBuffer = 4,
    PortLinkage = 5,
    Signal = 6,
    Variable = 7,
};

class KSignalRecord final : public IValueNode {
public:
    using TypeIndex = std::uint32_t;

    static constexpr std::uint32_t kAutomaticColor = 0xFF000000;
    static constexpr std::uint16_t kDefaultHeight = 22;
    static constexpr int kDefaultRadix = -1;
    // Radix is a signed 6-bit number.
    static constexpr int kMinRadix = -32;
    static constexpr int kMaxRadix = 31;

    static constexpr std::uint32_t kFlagVirtualBus = 1u << 0;
    static constexpr std::uint32_t kFlagReadOnly = 1u << 1;
    static constexpr std::uint32_t kFlagBold = 1u << 0;
    static constexpr std::uint32_t kFlagInverted = 1u << 1;

    KSignalRecord() = default;
    explicit KSignalRecord(std::string name, SignalHandle handle = 0);
    static KSignalRecordPtr create(std::string name = {}, SignalHandle handle = 0);

    // A new record with every field of this one, segments sharing their sources, the stimulator
    // text copied and no children.
    KSignalRecordPtr copy() const;

    // The waveform.
    KEventSegmentMap& segments() { return m_segments; }
    const KEventSegmentMap& segments() const { return m_segments; }
    void setSegments(KEventSegmentMap segments) { m_segments = std::move(segments); }

    SignalHandle handle() const { return m_handle; }
    void setHandle(SignalHandle handle) { m_handle = handle; }
    SignalHandle parent() const { return m_parent; }
    void setParent(SignalHandle parent) { m_parent = parent; }
    bool isTopLevel() const { return m_parent == 0; }

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    std::uint16_t parentNameLength() const { return m_parentNameLength; }
    void setParentNameLength(std::uint16_t length) { m_parentNameLength = length; }
    std::uint32_t hierarchyIndex() const { return m_hierarchyIndex; }
    void setHierarchyIndex(std::uint32_t index) { m_hierarchyIndex = index; }

    std::uint32_t mode() const { return m_mode; }
    void setMode(std::uint32_t mode) { m_mode = mode; }
    void setMode(SignalMode mode) { m_mode = static_cast<std::uint32_t>(mode); }

    std::uint32_t color() const { return m_color; }
    void setColor(std::uint32_t color) { m_color = color; }
    bool hasAutomaticColor() const { return m_color == kAutomaticColor; }
    std::uint16_t height() const { return m_height; }
    void setHeight(std::uint16_t height) { m_height = height; }
    std::int16_t drawingOffset() const { return m_drawingOffset; }
    void setDrawingOffset(std::int16_t offset) { m_drawingOffset = offset; }

    // Flags A: virtual bus, read-only.
    std::uint32_t flagsA() const { return m_flagsA; }
    void setFlagsA(std::uint32_t flags) { m_flagsA = flags; }
    bool isVirtualBus() const { return (m_flagsA & kFlagVirtualBus) != 0; }
    void setVirtualBus(bool on) { setBit(m_flagsA, kFlagVirtualBus, on); }
    bool isReadOnly() const { return (m_flagsA & kFlagReadOnly) != 0; }
    void setReadOnly(bool on) { setBit(m_flagsA, kFlagReadOnly, on); }

    // Flags B: bold, inverted (elements shown in reverse order), radix in bits 2 to 7.
    std::uint32_t flagsB() const { return m_flagsB; }
    void setFlagsB(std::uint32_t flags) { m_flagsB = flags; }
    bool isBold() const { return (m_flagsB & kFlagBold) != 0; }
    void setBold(bool on) { setBit(m_flagsB, kFlagBold, on); }
    bool isInverted() const override { return (m_flagsB & kFlagInverted) != 0; }
    void setInverted(bool on) { setBit(m_flagsB, kFlagInverted, on); }
    // -1 (and any value of 0 or less) means the document's default radix.
    int radix() const override;
    // False, and nothing changes, for a radix outside -32..31.
    bool setRadix(int radix);

    // 0: the shape follows from the type; otherwise a SignalShape code.
    std::uint32_t shape() const { return m_shape; }
    void setShape(std::uint32_t shape) { m_shape = shape; }

    // The analog display range is set while low <= high (equal ends are a valid range).
    double analogLow() const { return m_analogLow; }
    double analogHigh() const { return m_analogHigh; }
    bool hasAnalogRange() const { return m_analogLow <= m_analogHigh; }
    void setAnalogRange(double low, double high);
    void clearAnalogRange() { setAnalogRange(0.0, -1.0); }

    TypeIndex typeIndex() const override { return m_typeIndex; }
    void setTypeIndex(TypeIndex index) { m_typeIndex = index; }
    bool hasTypeInfo() const { return m_typeIndex != 0; }

    const std::vector<KSignalRecordPtr>& children() const { return m_children; }
    std::vector<KSignalRecordPtr>& children() { return m_children; }
    int childCount() const override { return static_cast<int>(m_children.size()); }
    const IValueNode& child(int index) const override { return *m_children[index]; }

    const std::string& stimulator() const { return m_stimulator; }
    void setStimulator(std::string text) { m_stimulator = std::move(text); }

    std::int32_t traceIndex() const { return m_traceIndex; }
    void setTraceIndex(std::int32_t index) { m_traceIndex = index; }

    // The declaration text of a signal by its mode: pieces joined with nothing added between
    // them; an empty text for an unknown mode.
    static std::string declarationText(std::uint32_t mode, std::string_view name,
                                       std::string_view type);

private:
    KSignalRecord(const KSignalRecord&) = default;
    KSignalRecord& operator=(const KSignalRecord&) = default;

    static void setBit(std::uint32_t& flags, std::uint32_t bit, bool on) {
        flags = on ? (flags | bit) : (flags & ~bit);
    }

    KEventSegmentMap m_segments;
    SignalHandle m_handle = 0;
    SignalHandle m_parent = 0;
    std::string m_name;
    std::uint16_t m_parentNameLength = 0;
    std::uint32_t m_hierarchyIndex = 0;
    std::uint32_t m_mode = 0;
    std::uint32_t m_color = kAutomaticColor;
    std::uint16_t m_height = kDefaultHeight;
    std::int16_t m_drawingOffset = 0;
    std::uint32_t m_flagsA = 0;
    std::uint32_t m_flagsB = 0xFC; // radix -1: all six bits set
    std::uint32_t m_shape = 0;
    double m_analogLow = 0.0;
    double m_analogHigh = -1.0;
    TypeIndex m_typeIndex = 0;
    std::vector<KSignalRecordPtr> m_children;
    std::string m_stimulator;
    std::int32_t m_traceIndex = -1;
};
