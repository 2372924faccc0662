#include "app/CommandLine.h"

#include <csignal>

int main(int argc, char** argv) {
    // A reader that stops early (tessel-wave info FILE | head) must not kill the program by
    // SIGPIPE: a killed program skips the exit handlers that delete its temporary files. Writes
    // fail quietly instead and the verb ends normally.
    std::signal(SIGPIPE, SIG_IGN);
    return runCommandLine(argc, argv);
}
