#include "document/KSignalRecord.h"

#include <utility>

namespace {
constexpr unsigned kRadixShift = 2;
constexpr std::uint32_t kRadixMask = 0x3Fu << kRadixShift;
} // namespace

KSignalRecord::KSignalRecord(std::string name, SignalHandle handle)
    : m_handle(handle), m_name(std::move(name)) {}

KSignalRecordPtr KSignalRecord::create(std::string name, SignalHandle handle) {
    return std::make_shared<KSignalRecord>(std::move(name), handle);
}

KSignalRecordPtr KSignalRecord::copy() const {
    // The private copy constructor copies every field; the copy belongs to no bus and has none.
    auto result = std::shared_ptr<KSignalRecord>(new KSignalRecord(*this));
    result->m_children.clear();
    return result;
}

int KSignalRecord::radix() const {
    const int bits = static_cast<int>((m_flagsB & kRadixMask) >> kRadixShift);
    return bits >= 32 ? bits - 64 : bits;
}

bool KSignalRecord::setRadix(int radix) {
    if (radix < kMinRadix || radix > kMaxRadix)
        return false;
    const auto bits = static_cast<std::uint32_t>(radix) & 0x3Fu;
    m_flagsB = (m_flagsB & ~kRadixMask) | (bits << kRadixShift);
    return true;
}

void KSignalRecord::setAnalogRange(double low, double high) {
    m_analogLow = low;
    m_analogHigh = high;
}

std::string KSignalRecord::declarationText(std::uint32_t mode, std::string_view name,
                                           std::string_view type) {
    // Our type identifiers carry no leading blank, so the blanks that make the text read as
    // VHDL are added here.
    auto port = [&](std::string_view direction) {
        std::string text = "port (";
        text.append(name).append(direction).append(" ").append(type).append(")");
        return text;
    };
    auto object = [&](std::string_view kind) {
        std::string text(kind);
        text.append(" ").append(name).append(" : ").append(type);
        return text;
    };
    switch (static_cast<SignalMode>(mode)) {
    case SignalMode::Unspecified:
        return std::string(type);
    case SignalMode::PortIn:
        return port(" : in");
    case SignalMode::PortOut:
        return port(" : out");
    case SignalMode::PortInout:
        return port(" : inout");
    case SignalMode::PortBuffer:
        return port(" : buffer");
    case SignalMode::PortLinkage:
        return port(" : linkage");
    case SignalMode::Signal:
        return object("signal");
    case SignalMode::Variable:
        return object("variable");
    }
    return {};
}
