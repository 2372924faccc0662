#pragma once

// A simple time text for the command line: the value in the largest unit that keeps it exact
// ("10 ns", "1500 ps", "2 us"). TODO: replace with FormatTime when it lands.

#include "storage/SimTime.h"

#include <string>

std::string timeText(SimTime time);
