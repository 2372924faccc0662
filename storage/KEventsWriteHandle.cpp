#include "storage/KEventsWriteHandle.h"

#include "storage/KFileException.h"
#include "storage/MemoryWaveStream.h"
#include "storage/evstream/EventStore.h"

#include <new>
#include <utility>

struct KEventsWriteHandle::Record {
    std::uint32_t refs = 1;
    evstream::IEventsStreamWrite* stream = nullptr; // one stream reference per handle reference
};

namespace {

std::string signalText(SignalHandle handle) {
    return "signal " + std::to_string(handle);
}

} // namespace

// Lifetime

KEventsWriteHandle::KEventsWriteHandle(const KEventsWriteHandle& other) noexcept
    : m_record(other.m_record) {
    if (m_record != nullptr) {
        ++m_record->refs;
        m_record->stream->AddRef();
    }
}

KEventsWriteHandle::KEventsWriteHandle(KEventsWriteHandle&& other) noexcept
    : m_record(std::exchange(other.m_record, nullptr)) {}

KEventsWriteHandle& KEventsWriteHandle::operator=(const KEventsWriteHandle& other) noexcept {
    if (this != &other) {
        KEventsWriteHandle copy(other);
        *this = std::move(copy);
    }
    return *this;
}

KEventsWriteHandle& KEventsWriteHandle::operator=(KEventsWriteHandle&& other) noexcept {
    if (this != &other) {
        release();
        m_record = std::exchange(other.m_record, nullptr);
    }
    return *this;
}

KEventsWriteHandle::~KEventsWriteHandle() {
    release();
}

bool KEventsWriteHandle::release() noexcept {
    Record* record = std::exchange(m_record, nullptr);
    if (record == nullptr)
        return true;
    const bool released = record->stream->Release();
    if (--record->refs == 0)
        delete record;
    return released;
}

void KEventsWriteHandle::close() {
    if (m_record == nullptr)
        return;
    std::string name = m_record->stream->GetFileName();
    if (!release())
        throw KFileException::generic(std::move(name), "the events could not be completed");
}

// Creation

KEventsWriteHandle KEventsWriteHandle::adopt(evstream::IEventsStreamWrite* stream) {
    if (stream == nullptr)
        return {};
    auto* record = new (std::nothrow) Record{1, stream};
    if (record == nullptr) {
        stream->Release();
        return {};
    }
    return KEventsWriteHandle(record);
}

KEventsWriteHandle KEventsWriteHandle::createMemory() {
    return adopt(new (std::nothrow) KMemoryWaveStreamWrite());
}

KEventsWriteHandle KEventsWriteHandle::createDatabase(const std::string& fileName) {
    return adopt(evstream::CreateStreamWrite(fileName));
}

// The handle itself

bool KEventsWriteHandle::isInMemory() const {
    return dynamic_cast<KMemoryWaveStreamWrite*>(streamOrNull()) != nullptr;
}

std::uint32_t KEventsWriteHandle::useCount() const {
    return m_record != nullptr ? m_record->refs : 0;
}

evstream::IEventsStreamWrite* KEventsWriteHandle::streamOrNull() const {
    return m_record != nullptr ? m_record->stream : nullptr;
}

evstream::IEventsStreamWrite& KEventsWriteHandle::stream() const {
    if (m_record == nullptr)
        throw KFileException::generic({}, "no event sink is open");
    return *m_record->stream;
}

std::string KEventsWriteHandle::fileName() const {
    return stream().GetFileName();
}

void KEventsWriteHandle::fail(const std::string& what) {
    std::string name = stream().GetFileName();
    release();
    throw KFileException::generic(std::move(name), what);
}

// Declarations

void KEventsWriteHandle::beginDeclarations() {
    if (!stream().BeginDeclarations())
        fail("the signal declarations could not be started");
}

void KEventsWriteHandle::endDeclarations() {
    if (!stream().EndDeclarations())
        fail("the signal declarations could not be completed");
}

void KEventsWriteHandle::declareScalar(SignalHandle handle, const evstream::SignalInfo& info) {
    if (!stream().DeclareScalar(handle, info))
        fail(signalText(handle) + " (" + info.name + ") could not be declared");
}

void KEventsWriteHandle::declareComposite(SignalHandle handle, const evstream::SignalInfo& info) {
    if (!stream().DeclareComposite(handle, info))
        fail(signalText(handle) + " (" + info.name + ") could not be declared");
}

void KEventsWriteHandle::addAnnotation(SignalHandle handle, SimTime time, std::string_view key,
                                       std::string_view text) {
    if (!stream().AddAnnotation(handle, time, key, text))
        fail("an annotation of " + signalText(handle) + " could not be written");
}

void KEventsWriteHandle::setProperties(SignalHandle handle,
                                       const std::map<std::string, std::string>& properties) {
    for (const auto& [key, value] : properties)
        if (!stream().SetProperty(handle, key, value))
            fail("property \"" + key + "\" of " + signalText(handle) + " could not be written");
}

void KEventsWriteHandle::setTypeInfoString(SignalHandle handle, std::string_view typeInfo) {
    if (!stream().SetTypeInfoString(handle, typeInfo))
        fail("the type of " + signalText(handle) + " could not be written");
}

// Events

void KEventsWriteHandle::setTime(SimTime time) {
    if (!stream().SetTime(time))
        fail("the events could not be moved to time " + std::to_string(time));
}

void KEventsWriteHandle::setDelta(DeltaCycle delta) {
    if (!stream().SetDelta(delta))
        fail("the events could not be moved to delta " + std::to_string(delta));
}

EventKey KEventsWriteHandle::position() const {
    evstream::IEventsStreamWrite& sink = stream();
    return {sink.GetTime(), sink.GetDelta()};
}

void KEventsWriteHandle::writeValue(SignalHandle handle, const void* value, std::uint32_t size) {
    if (!stream().WriteValue(handle, value, size))
        fail("a value of " + signalText(handle) + " could not be written");
}

void KEventsWriteHandle::writeValue(SignalHandle handle, const EventValue& value) {
    writeValue(handle, value.data(), value.size());
}
