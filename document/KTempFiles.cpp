#include "document/KTempFiles.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace {

// Deletes what is left when the program ends: the static destructor runs on return from main and
// on exit(), whatever errors came before.
class Registry {
public:
    ~Registry() { removeAll(); }

    void add(const std::string& path) { m_paths.insert(path); }
    bool contains(const std::string& path) const { return m_paths.count(path) != 0; }
    void remove(const std::string& path) {
        if (m_paths.erase(path) != 0) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
        }
    }
    void removeAll() {
        std::error_code ignored;
        for (const std::string& path : m_paths)
            std::filesystem::remove(path, ignored);
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
    const int descriptor = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
    if (descriptor < 0)
        return {};
    ::close(descriptor);
    registry().add(pattern);
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
