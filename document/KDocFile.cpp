#include "document/KDoc.h"
#include "document/KTempFiles.h"
#include "document/KWaveformReader.h"
#include "document/KWaveformWriter.h"
#include "storage/KFileException.h"
#include "storage/evstream/EventStore.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kAskOverwriteConverted = 62128;
constexpr int kWriteError = 62126;
constexpr const char* kOverwriteConvertedText =
    "The file will be saved in the Waveform text format (.awf) and its original contents will be "
    "lost. Using Save As option and saving under a different name is recommended. Do you want to "
    "continue with saving under the original name?";
constexpr const char* kWriteErrorText = "Error while writing file";
constexpr int kAskTemporaryFailed = 62110;
constexpr const char* kTemporaryFailedText =
    "Cannot create temporary file in\n'%s'.\nTry again? (If you answer 'No', waveforms will be "
    "cleared).";

[[noreturn]] void failOs(const std::string& file, const std::string& what) {
    const int error = errno;
    const auto cause = error == ENOSPC   ? KFileException::Cause::DiskFull
                       : error == EACCES ? KFileException::Cause::AccessDenied
                                         : KFileException::Cause::Generic;
    throw KFileException(cause, file, what + ": " + std::strerror(error), error);
}

// Closes a descriptor and removes a half-made file unless told that it is done.
class PendingFile {
public:
    PendingFile(int descriptor, std::string path) : m_fd(descriptor), m_path(std::move(path)) {}
    ~PendingFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_done)
            ::unlink(m_path.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    int fd() const { return m_fd; }
    void closeNow() {
        const int descriptor = m_fd;
        m_fd = -1;
        if (::close(descriptor) != 0)
            failOs(m_path, "cannot complete the file");
    }
    void setDone() { m_done = true; }

private:
    int m_fd;
    std::string m_path;
    bool m_done = false;
};

void copyAll(int from, int to, const std::string& source, const std::string& target) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            failOs(source, "cannot read the saved waveforms");
        if (got == 0)
            return;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, got - done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                failOs(target, "cannot write the file");
            done += put;
        }
    }
}

// Puts a copy of `source` at `target`: written beside the target, flushed to the disk, then
// renamed over it, so that the target is either the old file or the whole new one.
void replaceFile(const std::string& source, const std::string& target) {
    const std::filesystem::path targetPath(target);
    const std::filesystem::path folder =
        targetPath.has_parent_path() ? targetPath.parent_path() : std::filesystem::path(".");
    std::string beside = (folder / ("." + targetPath.filename().string() + ".XXXXXX")).string();
    const int out = ::mkstemp(beside.data());
    if (out < 0)
        failOs(target, "cannot create a file in its folder");
    PendingFile pending(out, beside);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        failOs(source, "cannot open the saved waveforms");
    try {
        copyAll(in, out, source, target);
    } catch (...) {
        ::close(in);
        throw;
    }
    ::close(in);
    // mkstemp makes the file private; give it the target's mode, or the usual one for a new file.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        ::fchmod(out, existing.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(out, 0666 & ~mask);
    }
    if (::fsync(out) != 0)
        failOs(target, "cannot write the file to the disk");
    pending.closeNow();
    if (::rename(beside.c_str(), target.c_str()) != 0)
        failOs(target, "cannot replace the file");
    pending.setDone();
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

bool KDoc::openDocument(const std::string& path) {
    m_openError.clear();
    try {
        KEventsReadHandle file = KEventsReadHandle::adopt(evstream::OpenStreamRead(path));
        KWaveformReader reader(*this, std::move(file));
        if (!reader.read())
            return false;
    } catch (const KFileException& error) {
        m_openError = error.detail();
        return false;
    }
    setInitialised();
    return true;
}

void KDoc::rebaseOnto(const std::string& path) {
    KEventsReadHandle file;
    if (!path.empty()) {
        file = KEventsReadHandle::openDatabase(path);
        if (!file)
            throw KFileException::generic(path, "cannot read the saved waveforms back");
    }
    for (SignalHandle row : m_rows) {
        const KSignalRecordPtr top = record(row);
        if (!top || top->isReadOnly())
            continue;
        for (SignalHandle handle : collect(row)) {
            KSignalRecord& signal = *m_signals.at(handle);
            if (!signal.children().empty() || signal.segments().empty())
                continue;
            const EventKey from = signal.segments().begin()->second.from();
            const EventKey to = std::prev(signal.segments().end())->second.to();
            // A new map, not a change of the old one: undo items keep the old segments.
            KEventSegmentMap segments;
            if (file)
                segments.insert(KEventSegment(from, to, file, handle), InsertForm::Overwrite);
            signal.setSegments(std::move(segments));
        }
    }
}

bool KDoc::saveDocument(const std::string& path) {
    const std::string convertedFrom = std::exchange(m_convertedFrom, std::string());
    if (!convertedFrom.empty() && convertedFrom == path &&
        host().ask(kAskOverwriteConverted, kOverwriteConvertedText) == HostAnswer::No)
        return false;
    std::string temporary;
    try {
        temporary = writeTemporaryFile();
        rebaseOnto(temporary);
        replaceFile(temporary, path);
    } catch (const KFileException& error) {
        host().printOutput(error.message());
        host().showMessage(kWriteError, kWriteErrorText);
        // Unless the document already reads from it, the new file is of no use.
        if (!temporary.empty() && temporary != m_temporaryFile) {
            bool inUse = false;
            for (const auto& [handle, signal] : m_signals)
                for (const auto& [from, segment] : signal->segments())
                    inUse = inUse || (segment.source() && segment.source().fileName() == temporary);
            if (!inUse)
                KTempFiles::remove(temporary);
        }
        return false;
    }
    // Open sources of the previous file keep reading it after it is gone from the folder.
    if (!m_temporaryFile.empty())
        KTempFiles::remove(m_temporaryFile);
    m_temporaryFile = temporary;
    m_modified = false;
    host().setModified(false);
    return true;
}

std::string KDoc::writeTemporaryFile() const {
    const std::string temporary = KTempFiles::create(".awf");
    if (temporary.empty())
        throw KFileException::generic(KTempFiles::directory(), "cannot create a temporary file");
    try {
        KWaveformWriter(*this).write(temporary, m_saveLimit);
    } catch (const KFileException&) {
        KTempFiles::remove(temporary);
        throw;
    }
    return temporary;
}

std::string KDoc::saveToTemporary() {
    for (;;) {
        try {
            return writeTemporaryFile();
        } catch (const KFileException& error) {
            host().printOutput(error.message());
        }
        std::string text = kTemporaryFailedText;
        text.replace(text.find("%s"), 2, KTempFiles::directory());
        if (host().ask(kAskTemporaryFailed, text) == HostAnswer::No)
            return {};
    }
}
