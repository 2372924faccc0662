#pragma once

// The one exception type for failures of files and event sources.
//
// Whoever owns a whole job (open, save, query, convert) catches it and shows message(), which
// names the file and says what went wrong in words a user can act on.

#include <stdexcept>
#include <string>

class KFileException : public std::runtime_error {
public:
    enum class Cause {
        None = 0,
        Generic = 1, // an event source or stream reported failure
        FileNotFound = 2,
        AccessDenied = 3,
        BadFormat = 4, // the file is not what it claims, or is damaged
        EndOfFile = 5, // the file ends before its content does
        DiskFull = 6,
    };

    KFileException(Cause cause, std::string fileName, std::string what, int osError = -1);

    // A failure reported by a stream operation without more detail (generic cause, OS error -1).
    static KFileException generic(std::string fileName, std::string what);

    Cause cause() const { return m_cause; }
    int osError() const { return m_osError; }
    const std::string& fileName() const { return m_fileName; }
    // What went wrong, without the file name.
    const std::string& detail() const { return m_detail; }
    // The full text for the user: "<file>: <detail>", or the detail alone when no file is known.
    std::string message() const { return what(); }

private:
    Cause m_cause;
    int m_osError;
    std::string m_fileName;
    std::string m_detail;
};
