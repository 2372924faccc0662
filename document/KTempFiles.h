#pragma once

// The program's temporary files: converted imports and the files a save writes before copying
// them over the user's path. Each name is made with mkstemp in the system temporary folder with
// the prefix "wfv" and entered in one registry; every file still registered is deleted when the
// program exits, also after errors, as long as the exit runs static destructors (return from main
// or exit()), and when SIGINT or SIGTERM ends it (unless the program set its own handling of
// those signals before the first file was made). A document deletes its file earlier when it no
// longer needs it.

#include <string>

namespace KTempFiles {

// Creates a new, empty temporary file and registers it; its path, or empty when no file could be
// made.
std::string create(const std::string& suffix = {});
// Deletes a registered file now and forgets it. Paths the registry does not hold are left alone.
void remove(const std::string& path);
// Whether the registry holds a path (tests).
bool isRegistered(const std::string& path);
// Deletes every registered file; also runs at exit.
void removeAll();
// The folder new files go to.
std::string directory();

} // namespace KTempFiles
