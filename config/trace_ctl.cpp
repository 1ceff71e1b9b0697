#include "config/trace_ctl.h"

#include <iostream>

#include "config/ini_reader.h"

TraceCtl traces;

void TraceCtl::Configure(IniFile::Section& section) {
    for (IniFile::SubSection& sub : section) Configure(sub);
}

void TraceCtl::Configure(IniFile::SubSection& sub) {
    IniFile::Reader reader("traces: ", std::cerr);
    // "signalling.events" is deliberately not reset: an occurrence without it
    // keeps what an earlier occurrence set.
    signalling.hdlc = false;
    signalling.lemzgw = false;
    reader.optional.add(&signalling.hdlc, "signalling.hdlc");
    reader.optional.add(&signalling.lemzgw, "signalling.lemzgw");
    reader.optional.add(&signalling.events, "signalling.events");
    monitoring.internal = false;
    reader.optional.add(&monitoring.internal, "monitoring.internal");
    reader(sub);
}
