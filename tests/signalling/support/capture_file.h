#pragma once

#include <string>

// Whether tshark is installed to dissect the captures.
bool HaveTshark();
// A fresh, empty /tmp/<stem>_XXXXXX.pcapng of this test's own; "" when none can be made.
std::string TempCapture(const char* stem);
