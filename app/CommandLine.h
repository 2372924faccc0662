#pragma once

// The command-line front end: `tessel-wave VERB ...` and the global options.
// Returns the process exit code: 0 success, 1 the job failed, 2 bad usage.
int runCommandLine(int argc, char** argv);
