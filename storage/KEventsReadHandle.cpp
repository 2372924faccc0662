#include "storage/KEventsReadHandle.h"

#include "storage/KDatabaseSignalCursor.h"
#include "storage/KEventsWriteHandle.h"
#include "storage/KFileException.h"
#include "storage/KMemoryEventIndex.h"
#include "storage/KSignalCursor.h"
#include "storage/MemoryWaveStream.h"
#include "storage/evstream/EventStore.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

struct KEventsReadHandle::Record {
    std::uint32_t refs = 1;
    SimTime offset = 0;
    bool inMemory = false;
    evstream::IEventsStreamRead* stream = nullptr; // one stream reference per handle reference
};

namespace {

// Offsets move times between frames; at the ends of the time range (a seek to the largest time,
// say) the sum saturates instead of wrapping around.
SimTime shifted(SimTime time, SimTime offset) {
    SimTime result;
    if (!__builtin_add_overflow(time, offset, &result))
        return result;
    return offset > 0 ? std::numeric_limits<SimTime>::max() : std::numeric_limits<SimTime>::min();
}

SimTime unshifted(SimTime time, SimTime offset) {
    if (offset == std::numeric_limits<SimTime>::min())
        return shifted(shifted(time, std::numeric_limits<SimTime>::max()), 1);
    return shifted(time, -offset);
}

} // namespace

// Lifetime

KEventsReadHandle::KEventsReadHandle(const KEventsReadHandle& other) noexcept
    : m_record(other.m_record) {
    if (m_record != nullptr) {
        ++m_record->refs;
        m_record->stream->AddRef();
    }
}

KEventsReadHandle::KEventsReadHandle(KEventsReadHandle&& other) noexcept
    : m_record(std::exchange(other.m_record, nullptr)) {}

KEventsReadHandle& KEventsReadHandle::operator=(const KEventsReadHandle& other) noexcept {
    if (this != &other) {
        KEventsReadHandle copy(other);
        *this = std::move(copy);
    }
    return *this;
}

KEventsReadHandle& KEventsReadHandle::operator=(KEventsReadHandle&& other) noexcept {
    if (this != &other) {
        release();
        m_record = std::exchange(other.m_record, nullptr);
    }
    return *this;
}

KEventsReadHandle::~KEventsReadHandle() {
    release();
}

void KEventsReadHandle::release() noexcept {
    Record* record = std::exchange(m_record, nullptr);
    if (record == nullptr)
        return;
    // A read stream has nothing left to complete, so a refusal here has no consequence.
    record->stream->Release();
    if (--record->refs == 0)
        delete record;
}

// Creation

KEventsReadHandle KEventsReadHandle::make(evstream::IEventsStreamRead* stream, bool inMemory,
                                          SimTime offset) {
    if (stream == nullptr)
        return {};
    auto* record = new (std::nothrow) Record{1, offset, inMemory, stream};
    if (record == nullptr) {
        stream->Release();
        return {};
    }
    return KEventsReadHandle(record);
}

KEventsReadHandle KEventsReadHandle::openDatabase(const std::string& fileName) {
    return make(evstream::CreateStreamRead(fileName), false, 0);
}

KEventsReadHandle KEventsReadHandle::fromWriter(const KEventsWriteHandle& writer) {
    auto* memory = dynamic_cast<KMemoryWaveStreamWrite*>(writer.streamOrNull());
    if (memory == nullptr)
        return {};
    try {
        return make(memory->snapshot(), true, 0);
    } catch (const std::bad_alloc&) {
        return {}; // a snapshot that cannot be made is a failed creation, not an error
    }
}

KEventsReadHandle KEventsReadHandle::adopt(evstream::IEventsStreamRead* stream, SimTime offset) {
    const bool inMemory = dynamic_cast<KMemoryWaveStreamRead*>(stream) != nullptr;
    return make(stream, inMemory, offset);
}

KEventsReadHandle KEventsReadHandle::cloned(SimTime shift) const {
    if (m_record == nullptr)
        return {};
    const SimTime offset = shifted(m_record->offset, shift);
    if (m_record->inMemory) {
        auto* memory = static_cast<KMemoryWaveStreamRead*>(m_record->stream);
        try {
            return make(memory->clone(), true, offset);
        } catch (const std::bad_alloc&) {
            return {};
        }
    }
    const std::string name = m_record->stream->GetFileName();
    if (name.empty())
        return {};
    return make(evstream::CreateStreamRead(name), false, offset);
}

KEventsReadHandle KEventsReadHandle::sharedWithShift(SimTime shift) const {
    if (m_record == nullptr)
        return {};
    m_record->stream->AddRef();
    return KEventsReadHandle(
        new Record{1, shifted(m_record->offset, shift), m_record->inMemory, m_record->stream});
}

// The handle itself

bool KEventsReadHandle::isInMemory() const {
    return m_record != nullptr && m_record->inMemory;
}
SimTime KEventsReadHandle::offset() const {
    return m_record != nullptr ? m_record->offset : 0;
}
std::uint32_t KEventsReadHandle::useCount() const {
    return m_record != nullptr ? m_record->refs : 0;
}

evstream::IEventsStreamRead& KEventsReadHandle::stream() const {
    if (m_record == nullptr)
        throw KFileException::generic({}, "no event source is open");
    return *m_record->stream;
}

void KEventsReadHandle::fail(const std::string& what) {
    std::string name = stream().GetFileName();
    release();
    throw KFileException::generic(std::move(name), what);
}

std::string KEventsReadHandle::fileName() const {
    return stream().GetFileName();
}

// Reading

SimTime KEventsReadHandle::time() const {
    return shifted(stream().GetTime(), m_record->offset);
}
DeltaCycle KEventsReadHandle::delta() const {
    return stream().GetDelta();
}
EventKey KEventsReadHandle::position() const {
    return {time(), delta()};
}

void KEventsReadHandle::seek(SimTime time) {
    const SimTime streamTime = std::max<SimTime>(unshifted(time, offset()), 0);
    if (!stream().Rewind(streamTime))
        fail("the events could not be read from time " + std::to_string(time));
}

SignalHandle KEventsReadHandle::readNextEvent() {
    return stream().ReadNextEvent();
}

bool KEventsReadHandle::readNextEventOf(SignalHandle handle, void* value) {
    return stream().ReadNextEventOf(handle, value);
}

bool KEventsReadHandle::copyValue(void* value) const {
    return stream().GetValue(value);
}
std::uint32_t KEventsReadHandle::valueSize() const {
    return stream().GetValueSize();
}

EventValue KEventsReadHandle::value() const {
    evstream::IEventsStreamRead& source = stream();
    EventValue result = EventValue::zeroed(source.GetValueSize());
    if (!result.isEmpty() && !source.GetValue(result.mutableData()))
        return {};
    return result;
}

SimTime KEventsReadHandle::endTime() const {
    return shifted(stream().GetEndTime(), m_record->offset);
}

std::unique_ptr<KSignalCursor> KEventsReadHandle::openCursor(SignalHandle handle) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory) {
        auto& memory = static_cast<KMemoryWaveStreamRead&>(source);
        return KMemoryEventIndex::openCursor(memory.eventIndex(), handle, m_record->offset);
    }
    auto cursor = evstream::OpenSignalCursor(&source, handle);
    if (!cursor)
        return nullptr;
    return std::make_unique<KDatabaseSignalCursor>(std::move(cursor), m_record->offset);
}

const void* KEventsReadHandle::streamOf(const Record* record) {
    return record->stream;
}

void KEventsReadHandle::prepareSummaries(const std::vector<SignalHandle>& handles,
                                         SimTime maxWidth) const {
    if (!m_record->inMemory)
        evstream::PrepareSummaries(&stream(), handles, maxWidth);
}

void KEventsReadHandle::refresh() {
    if (!stream().Refresh())
        fail("the event source could not be refreshed");
}

// Structure

int KEventsReadHandle::rootCount() const {
    return stream().GetRootCount();
}
SignalHandle KEventsReadHandle::root(int index) const {
    return stream().GetRoot(index);
}
SignalHandle KEventsReadHandle::child(SignalHandle parent, int index) const {
    return stream().GetChild(parent, index);
}
bool KEventsReadHandle::signalInfo(SignalHandle handle, evstream::SignalInfo& info) const {
    return stream().GetSignalInfo(handle, info);
}
std::string KEventsReadHandle::property(SignalHandle handle, std::string_view key) const {
    return stream().GetProperty(handle, key);
}
std::string KEventsReadHandle::typeInfoString(SignalHandle handle) const {
    return stream().GetTypeInfoString(handle);
}
int KEventsReadHandle::annotationCount(SignalHandle handle) const {
    return stream().GetAnnotationCount(handle);
}
bool KEventsReadHandle::annotation(SignalHandle handle, int index,
                                   evstream::Annotation& annotation) const {
    return stream().GetAnnotation(handle, index, annotation);
}

// Library queries

SimTime KEventsReadHandle::nextMilestone(SimTime time) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return kNoTime;
    const SimTime found = evstream::GetNextMilestone(&source, unshifted(time, m_record->offset));
    return found == kNoTime ? kNoTime : shifted(found, m_record->offset);
}

bool KEventsReadHandle::signalValue(SimTime time, SignalHandle handle, void* value) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return false;
    return evstream::GetSignalValue(&source, unshifted(time, m_record->offset), handle, value);
}

int KEventsReadHandle::signalEvents(SimTime time, SignalHandle handle, std::int64_t& before,
                                    std::int64_t& after, std::int64_t& count) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return -1;
    const SimTime offset = m_record->offset;
    const int found =
        evstream::GetSignalEvents(&source, unshifted(time, offset), handle, before, after, count);
    if (offset == 0)
        return found;
    if (found <= 0)
        return 0;
    if (before != kNoTime)
        before = shifted(before, offset);
    if (after != kNoTime)
        after = shifted(after, offset);
    return found;
}

SignalHandle KEventsReadHandle::parent(SignalHandle handle) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return kNoSignal;
    return evstream::GetParent(&source, handle);
}

bool KEventsReadHandle::setScalar(SignalHandle handle, SignalHandle parent, int index) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return false;
    return evstream::SetScalar(&source, handle, parent, index);
}

bool KEventsReadHandle::setBus(SignalHandle newHandle, SignalHandle parent, int index,
                               int elementCount) const {
    evstream::IEventsStreamRead& source = stream();
    if (m_record->inMemory)
        return false;
    return evstream::SetBus(&source, newHandle, parent, index, elementCount);
}
