#include "document/KTempFiles.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace {

// The paths as the signal handler sees them: fixed slots filled before they are marked in use,
// so that the handler neither allocates nor locks, it only reads and unlinks. A slot is freed
// before its file is deleted. Files beyond the slots are still deleted at a normal exit.
constexpr int kSignalSlots = 64;

struct SignalSlot {
    std::atomic<bool> used{false};
    char path[PATH_MAX];
};

SignalSlot g_slots[kSignalSlots];

void enterSlot(const std::string& path) {
    if (path.size() >= PATH_MAX)
        return;
    for (SignalSlot& slot : g_slots) {
        if (slot.used.load(std::memory_order_acquire))
            continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true, std::memory_order_release);
        return;
    }
}

void leaveSlot(const std::string& path) {
    for (SignalSlot& slot : g_slots)
        if (slot.used.load(std::memory_order_acquire) && path == slot.path)
            slot.used.store(false, std::memory_order_release);
}

// Async-signal-safe: unlink only, then the signal's default action (the handler was installed
// with SA_RESETHAND, and the signal stays blocked until the handler returns).
extern "C" void removeOnSignal(int signalNumber) {
    const int savedErrno = errno;
    for (SignalSlot& slot : g_slots)
        if (slot.used.load(std::memory_order_acquire))
            ::unlink(slot.path);
    errno = savedErrno;
    ::raise(signalNumber);
}

// Interrupting or terminating the program deletes the files too, unless the program handles
// or ignores those signals itself.
void installSignalHandlers() {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO) != 0)
            continue;
        struct sigaction action {};
        action.sa_handler = removeOnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signalNumber, &action, nullptr);
    }
}

// Deletes what is left when the program ends: the static destructor runs on return from main and
// on exit(), whatever errors came before.
class Registry {
public:
    Registry() { installSignalHandlers(); }
    ~Registry() { removeAll(); }

    void add(const std::string& path) {
        m_paths.insert(path);
        enterSlot(path);
    }
    bool contains(const std::string& path) const { return m_paths.count(path) != 0; }
    void remove(const std::string& path) {
        if (m_paths.erase(path) != 0) {
            leaveSlot(path);
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
    void removeAll() {
        std::error_code ignored;
        for (const std::string& path : m_paths) {
            leaveSlot(path);
            std::filesystem::remove(path, ignored);
        }
        m_paths.clear();
    }

private:
    std::set<std::string> m_paths;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

} // namespace

namespace KTempFiles {

std::string directory() {
    // TMPDIR as given, checked by the creation itself: a folder that cannot take files makes
    // create() fail instead of silently writing elsewhere.
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? std::string(folder) : std::string("/tmp");
}

std::string create(const std::string& suffix) {
    std::string pattern = (std::filesystem::path(directory()) / "wfvXXXXXX").string() + suffix;
    Registry& files = registry(); // handlers in place before the file exists
    const int descriptor = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (descriptor < 0)
        return {};
    ::close(descriptor);
    files.add(pattern);
    return pattern;
}

void remove(const std::string& path) {
    registry().remove(path);
}

bool isRegistered(const std::string& path) {
    return registry().contains(path);
}

void removeAll() {
    registry().removeAll();
}

} // namespace KTempFiles
