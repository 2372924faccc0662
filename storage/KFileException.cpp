#include "storage/KFileException.h"

#include <cstring>

namespace {

std::string composeMessage(const std::string& fileName, const std::string& what, int osError) {
    std::string text = fileName.empty() ? what : fileName + ": " + what;
    if (osError > 0) {
        text += " (";
        text += std::strerror(osError);
        text += ")";
    }
    return text;
}

} // namespace

KFileException::KFileException(Cause cause, std::string fileName, std::string what, int osError)
    : std::runtime_error(composeMessage(fileName, what, osError)), m_cause(cause),
      m_osError(osError), m_fileName(std::move(fileName)), m_detail(std::move(what)) {}

KFileException KFileException::generic(std::string fileName, std::string what) {
    return KFileException(Cause::Generic, std::move(fileName), std::move(what), -1);
}
