// Placeholder until the database file format lands: every open fails cleanly.
#include "storage/evstream/EventStore.h"

#include "storage/KFileException.h"

namespace evstream {

IEventsStreamRead* CreateStreamRead(const std::string&) {
    return nullptr;
}
IEventsStreamWrite* CreateStreamWrite(const std::string&) {
    return nullptr;
}
IEventsStreamRead* OpenStreamRead(const std::string& fileName) {
    throw KFileException(KFileException::Cause::BadFormat, fileName, "no database support yet");
}
IEventsStreamWrite* OpenStreamWrite(const std::string& fileName) {
    throw KFileException(KFileException::Cause::BadFormat, fileName, "no database support yet");
}
bool GetSignalValue(IEventsStreamRead*, SimTime, SignalHandle, void*) {
    return false;
}
int GetSignalEvents(IEventsStreamRead*, SimTime, SignalHandle, std::int64_t&, std::int64_t&,
                    std::int64_t&) {
    return -1;
}
SimTime GetNextMilestone(IEventsStreamRead*, SimTime) {
    return kNoTime;
}
SignalHandle GetParent(IEventsStreamRead*, SignalHandle) {
    return kNoSignal;
}
bool SetScalar(IEventsStreamRead*, SignalHandle, SignalHandle, int) {
    return false;
}
bool SetBus(IEventsStreamRead*, SignalHandle, SignalHandle, int, int) {
    return false;
}

} // namespace evstream
