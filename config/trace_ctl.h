// The process's trace switches, set once from the "traces" section.
#pragma once

#include "config/ini_file.h"

class TraceCtl {
public:
    struct Signalling {
        bool hdlc = false;
        bool lemzgw = false;
        bool events = false;
    };
    struct Monitoring {
        bool internal = false;
    };

    // Applies every occurrence of the section in file order.
    void Configure(IniFile::Section& section);
    void Configure(IniFile::SubSection& sub);

    Signalling signalling;
    Monitoring monitoring;
};

extern TraceCtl traces;
