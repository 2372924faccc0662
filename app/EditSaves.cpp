#include "app/EditSaves.h"

#include "document/KDoc.h"
#include "document/KDocTemplate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

EditSaves::~EditSaves() {
    for (const auto& [target, pending] : m_pending)
        std::remove(pending.c_str());
}

namespace {

// The mode the target has, or the one a new file gets; the hidden file is made private.
void giveTargetMode(const std::string& file, const std::string& target) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        ::chmod(file.c_str(), existing.st_mode & 07777);
        return;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(file.c_str(), 0666 & ~mask);
}

} // namespace

EditStatus EditSaves::save(KDoc& doc, const std::string& target) {
    if (KDocTemplate::kindOf(target) != KDocTemplate::Kind::Waveform)
        return EditStatus::refused(target + ": only waveform files (.awf) are written");
    const fs::path path(target);
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string pending = (folder / ("." + path.filename().string() + ".edit-XXXXXX")).string();
    const int descriptor = ::mkstemp(pending.data());
    if (descriptor < 0)
        return EditStatus::refused(target +
                                   ": cannot create a file in its folder: " + std::strerror(errno));
    ::close(descriptor);
    m_host.takeMessages();
    if (!doc.saveDocument(pending)) {
        std::remove(pending.c_str());
        const std::string why = m_host.takeMessages();
        return EditStatus::refused(target + ": " + (why.empty() ? "cannot be written" : why));
    }
    giveTargetMode(pending, target);
    for (auto& [heldTarget, held] : m_pending) {
        if (heldTarget == target) {
            std::remove(held.c_str());
            held = pending;
            return EditStatus::done();
        }
    }
    m_pending.emplace_back(target, pending);
    return EditStatus::done();
}

bool EditSaves::commit(std::string& error) {
    while (!m_pending.empty()) {
        const auto [target, pending] = m_pending.front();
        if (std::rename(pending.c_str(), target.c_str()) != 0) {
            error = target + ": cannot replace the file: " + std::strerror(errno);
            return false;
        }
        m_pending.erase(m_pending.begin());
    }
    return true;
}
