// An HDLC channel of the board wired to one signalling channel of a line: time
// slot 16 of an E1 trunk, or the D channel of a basic-rate line. The signalling
// slots own one each. The line channel is taken from LineHolders for the
// owning slot while the channel is open; closing it stops the channel and gives
// the switch connections it made back as idle.
#pragma once

#include <iosfwd>

#include "hardware/hdlc.h"
#include "protocol/LGCP.h"

class Slot;

class HdlcLine {
public:
    enum class Kind { e1, bri };
    // The channel's framing, as the controller channel is allocated for it.
    enum Mode { ss7 = 0, primary = 1, basic = 2 };

    // `owner` is the slot that holds the line channel while the channel is open.
    explicit HdlcLine(const Slot& owner) : owner_(owner) {}
    ~HdlcLine() { Close(); }
    HdlcLine(const HdlcLine&) = delete;
    HdlcLine& operator=(const HdlcLine&) = delete;

    // The line channel of trunk or line `line`; -1 when the board has none.
    static int LineChannel(Kind kind, int line);

    // How an Open went: a line channel held by another slot has been named with
    // its holder already; a failed one needs the caller's line.
    enum class Opening { opened, held, failed };

    // Activates the channel on the line with received frames going to `sink`.
    // Failed: the board has no such line channel, or the channel did not start
    // (its own line on the error stream).
    Opening Open(Kind kind, int line, Mode mode, HDLC::Notify* sink);
    void Close();
    bool IsOpen() const { return line_channel_ >= 0; }

    // The channel's counters for the controller; false when none changed since
    // the last call.
    bool TakeLinkInfo(LGCP::HdlcLinkInfo& info);

    HDLC& channel() { return hdlc_; }
    const HDLC& channel() const { return hdlc_; }
    Kind kind() const { return kind_; }
    int line() const { return line_; }

private:
    const Slot& owner_;
    HDLC hdlc_;
    Kind kind_ = Kind::e1;
    int line_ = -1;
    int line_channel_ = -1;
    HDLC::Statistics reported_;
};
