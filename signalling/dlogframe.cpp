#include "signalling/dlogframe.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ISDN {

char logbuf[kLogBufSize];

namespace {

// Appends to a fixed buffer; what does not fit is cut and marked once.
class Text {
public:
    explicit Text(char* out) : out_(out) { out_[0] = '\0'; }
    ~Text() {
        if (!cut_) return;
        static const char mark[] = "...\n";
        std::memcpy(out_ + kLogBufSize - sizeof mark, mark, sizeof mark);
    }

    void printf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        vprintf(format, args);
        va_end(args);
    }
    // A line: the label from format, then the whole octet in bits.
    void octet(unsigned char o, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list args;
        va_start(args, format);
        vprintf(format, args);
        va_end(args);
        bits(o, 8, 8);
        put('\n');
    }
    void put(char c) { printf("%c", c); }
    // count bits of the octet from bit position start (8 = most significant) down.
    void bits(unsigned char octet, int start, int count) {
        for (int b = start; b > start - count && b >= 1; --b) put((octet >> (b - 1)) & 1 ? '1' : '0');
    }
    // Octets as characters; those that are not printable show as '.'.
    void chars(const unsigned char* p, const unsigned char* end) {
        for (; p < end; ++p) put(*p >= 0x20 && *p < 0x7F ? static_cast<char>(*p) : '.');
    }

private:
    void vprintf(const char* format, va_list args) {
        if (cut_) return;
        const int n = std::vsnprintf(out_ + used_, kLogBufSize - used_, format, args);
        if (n < 0) return;
        if (used_ + static_cast<std::size_t>(n) >= kLogBufSize) {
            used_ = kLogBufSize - 1;
            cut_ = true;
        } else {
            used_ += static_cast<std::size_t>(n);
        }
    }

    char* out_;
    std::size_t used_ = 0;
    bool cut_ = false;
};

// One information element: its contents run from octet 3 (c) up to end, cut at
// the end of the frame.
struct Element {
    const unsigned char* c;
    const unsigned char* end;
    int size() const { return static_cast<int>(end - c); }
};

// The position after the first octet from p on with bit 8 set (or end).
const unsigned char* skipext(const unsigned char* p, const unsigned char* end) {
    while (p < end && (*p & 0x80) == 0) ++p;
    return p < end ? p + 1 : end;
}

void general(Text& t, Element e) {
    int number = 3;
    char suffix = ' ';
    for (const unsigned char* p = e.c; p < e.end; ++p) {
        t.octet(*p, "    octet %d%c ", number, suffix);
        if (p + 1 == e.end) break;
        if ((p[1] & 0x80) != 0) {
            ++number;
            suffix = ' ';
        } else {
            suffix = suffix == ' ' ? 'a' : static_cast<char>(suffix + 1);
        }
    }
}

void prchident(Text& t, Element e) {
    if (e.size() < 1) return;
    t.octet(e.c[0], "    octet 3 ");
}

void prcalled(Text& t, Element e) {
    if (e.size() < 1) return;
    t.printf("    octet 3 ");
    t.bits(e.c[0], 8, 8);
    t.printf("\n    number digits ");
    t.chars(e.c + 1, e.end);
    t.put('\n');
}

void prcalling(Text& t, Element e) {
    if (e.size() < 1) return;
    t.octet(e.c[0], "    octet 3 ");
    const unsigned char* digits = e.c + 1;
    if ((e.c[0] & 0x80) == 0 && digits < e.end) {
        t.octet(*digits, "    octet 3a ");
        ++digits;
    }
    t.printf("    number digits ");
    t.chars(digits, e.end);
    t.put('\n');
}

void prbearer(Text& t, Element e) {
    const unsigned char* p = e.c;
    if (p >= e.end) return;
    t.octet(*p++, "    octet 3  ");
    if (p >= e.end) return;
    const unsigned char octet4 = *p++;
    t.octet(octet4, "    octet 4  ");
    if ((octet4 & 0x1F) == 0x18 && p < e.end) {
        t.octet(*p++, "    octet 4.1 ");
    }
    if (p < e.end && (*p & 0x60) == 0x20) {
        char suffix = ' ';
        while (p < e.end) {
            const unsigned char o = *p++;
            t.octet(o, "    octet 5%c ", suffix);
            if ((o & 0x80) != 0) break;
            suffix = suffix == ' ' ? 'a' : static_cast<char>(suffix + 1);
        }
    }
    if (p < e.end && (*p & 0x60) == 0x40) {
        t.octet(*p++, "    octet 6  ");
    }
    if (p < e.end && (*p & 0x60) == 0x60) {
        t.octet(*p++, "    octet 7  ");
    }
}

void prcause(Text& t, Element e) {
    if (e.size() < 1) return;
    t.printf("    coding ");
    t.bits(e.c[0], 7, 2);
    t.printf(" location ");
    t.bits(e.c[0], 4, 4);
    t.put('\n');
    const unsigned char* p = skipext(e.c, e.end);
    if (p >= e.end) return;
    const unsigned char value = *p++ & 0x7F;
    if (const char* text = q931_cause_text(value))
        t.printf("  cause value %x : %s \n", value, text);
    else
        t.printf("Unknown cause type %x!\n", value);
    if (p >= e.end) return;
    while (p < e.end) {
        t.printf("    diag attribute %d ", *p++ & 0x7F);
        // An element that ends inside a diagnostic still ends its line.
        if (p >= e.end) break;
        t.printf(" rej %d ", *p & 0x7F);
        if ((*p & 0x80) != 0 || ++p >= e.end) break;
        t.printf(" av %d\n", *p & 0x7F);
        if (p + 1 >= e.end) return;
    }
    t.put('\n');
}

void display(Text& t, Element e) {
    t.printf("   \"");
    t.chars(e.c, e.end);
    t.printf("\"\n");
}

void prfacility(Text& t, Element e) {
    if (e.size() < 1) return;
    t.octet(e.c[0], "    octet 3 ");
    const unsigned char* p = e.c + 1;
    while (p < e.end) {
        t.octet(*p, "   octet 4 ");
        if (p + 1 >= e.end) return;
        const int n = p[1] & 0x7F;
        t.printf("   octet 5 %d\n", n);
        t.printf("   contents ");
        p += 2;
        for (int i = 0; i < n && p < e.end; ++i) t.printf("%2x ", *p++);
        t.put('\n');
    }
}

using Printer = void (*)(Text&, Element);

struct ElementRow {
    unsigned char id;
    const char* name;
    Printer print;
};

const ElementRow kElements[] = {
    {0x00, "Segmented message", general},
    {0x04, "Bearer capability", prbearer},
    {0x08, "Cause", prcause},
    {0x10, "Call identity", general},
    {0x14, "Call state", general},
    {0x18, "Channel identification", prchident},
    {0x1C, "Facility", prfacility},
    {0x1E, "Progress indicator", general},
    {0x20, "Network-specific facilities", general},
    {0x27, "Notification indicator", general},
    {0x28, "Display", display},
    {0x29, "Date/Time", general},
    {0x2C, "Keypad facility", general},
    {0x34, "Signal", general},
    {0x40, "Information rate", general},
    {0x42, "End-to-end delay", general},
    {0x43, "Transit delay selection and indication", general},
    {0x44, "Packet layer binary parameters", general},
    {0x45, "Packet layer window size", general},
    {0x46, "Packet size", general},
    {0x47, "Closed user group", general},
    {0x4A, "Reverse charge indication", general},
    {0x6C, "Calling party number", prcalling},
    {0x6D, "Calling party subaddress", general},
    {0x70, "Called party number", prcalled},
    {0x71, "Called party subaddress", general},
    {0x74, "Redirecting number", general},
    {0x78, "Transit network selection", general},
    {0x79, "Restart indicator", general},
    {0x7C, "Low layer compatibility", general},
    {0x7D, "High layer compatibility", general},
    {0x7E, "User-user", general},
    {0x7F, "Escape for extension", general},
};

struct NameRow {
    unsigned char code;
    const char* name;
};

const NameRow kMessages[] = {
    {0x01, "ALERTING"},
    {0x02, "CALL PROCEEDING"},
    {0x07, "CONNECT"},
    {0x0F, "CONNECT ACKNOWLEDGE"},
    {0x03, "PROGRESS"},
    {0x05, "SETUP"},
    {0x0D, "SETUP ACKNOWLEDGE"},
    {0x24, "HOLD"},
    {0x28, "HOLD ACKNOWLEDGE"},
    {0x30, "HOLD REJECT"},
    {0x31, "RETRIEVE"},
    {0x33, "RETRIEVE ACKNOWLEDGE"},
    {0x37, "RETRIEVE REJECT"},
    {0x26, "RESUME"},
    {0x2E, "RESUME ACKNOWLEDGE"},
    {0x22, "RESUME REJECT"},
    {0x25, "SUSPEND"},
    {0x2D, "SUSPEND ACKNOWLEDGE"},
    {0x21, "SUSPEND REJECT"},
    {0x20, "USER INFORMATION"},
    {0x45, "DISCONNECT"},
    {0x4D, "RELEASE"},
    {0x5A, "RELEASE COMPLETE"},
    {0x46, "RESTART"},
    {0x4E, "RESTART ACKNOWLEDGE"},
    {0x60, "SEGMENT"},
    {0x79, "CONGESTION CONTROL"},
    {0x7B, "INFORMATION"},
    {0x62, "FACILITY"},
    {0x6E, "NOTIFY"},
    {0x7D, "STATUS"},
    {0x75, "STATUS ENQUIRY"},
};

const NameRow kCauses[] = {
    {0x01, "Unallocated (unassigned) number"},
    {0x02, "No route to specified transit network"},
    {0x03, "No route to destination"},
    {0x04, "Send special information tone"},
    {0x05, "Misdialled trunk prefix"},
    {0x06, "Channel unacceptable"},
    {0x07, "Channel awarded and being delivered in an established channel"},
    {0x08, "Preemption"},
    {0x09, "Preemption - circuit reserved for reuse"},
    {0x10, "Normal call clearing"},
    {0x11, "User busy"},
    {0x12, "No user responding"},
    {0x13, "No answer from user (user alerted)"},
    {0x14, "Subscriber absent"},
    {0x15, "Call rejected"},
    {0x16, "Number changed"},
    {0x1A, "non-selected user clearing"},
    {0x1B, "Destination out of order"},
    {0x1C, "Invalid number format (address incomplete)"},
    {0x1D, "Facility rejected"},
    {0x1E, "Response to Status enquiry"},
    {0x1F, "Normal, unspecified"},
    {0x22, "No circuit/channel available"},
    {0x26, "Network out of order"},
    {0x27, "Permanent frame mode connection out-of-service"},
    {0x28, "Permanent frame mode connection operational"},
    {0x29, "Temporary failure"},
    {0x2A, "Switching equipment congestion"},
    {0x2B, "Access information discarded"},
    {0x2C, "Requested circuit/channel not available"},
    {0x2E, "Precedence call blocked"},
    {0x2F, "Resource unavailable, unspecified"},
    {0x31, "Quality of service unavailable"},
    {0x32, "Requested facility not subscribed"},
    {0x35, "Outgoing calls barred within CUG"},
    {0x37, "Incoming calls barred within CUG"},
    {0x39, "Bearer capability not authorized"},
    {0x3A, "Bearer capability not presently available"},
    {0x3E, "Inconsistency in designated outgoing access information and subscriber class "},
    {0x3F, "Service or option not available, unspecified"},
    {0x41, "Bearer capability not implemented"},
    {0x42, "Channel type not implemented"},
    {0x43, "Requested facility not implemented"},
    {0x44, "Only restricted digital information bearer capability is available"},
    {0x4F, "Service or option not implemented"},
    {0x51, "Invalid call reference value"},
    {0x52, "Identified channel does not exist"},
    {0x53, "A suspended call exists, but this call identity does not"},
    {0x54, "Call identity in use"},
    {0x55, "No call suspended"},
    {0x56, "Call having the requested call identity has been cleared"},
    {0x57, "User not member of CUG"},
    {0x58, "Incompatible destination"},
    {0x5A, "Non-existent CUG"},
    {0x5B, "Invalid transit network selection"},
    {0x5F, "Invalid message, unspecified"},
    {0x60, "Mandatory information element is missing"},
    {0x61, "Message type non-existent or not implemented"},
    {0x62, "Message not compatible with call state or message type non-existent or not implemented "},
    {0x63, "Information element/parameter non-existent or not implemented"},
    {0x64, "Invalid information element contents"},
    {0x65, "Message not compatible with call state"},
    {0x66, "Recovery on timer expiry"},
    {0x67, "Parameter non-existent or not implemented - passed on"},
    {0x6E, "Message with unrecognized parameter discarded"},
    {0x6F, "Protocol error, unspecified"},
    {0x7F, "Interworking, unspecified"},
};

template <std::size_t N>
const char* lookup(const NameRow (&rows)[N], unsigned char code) {
    for (const NameRow& r : rows)
        if (r.code == code) return r.name;
    return nullptr;
}

const ElementRow* find_element(unsigned char id) {
    for (const ElementRow& r : kElements)
        if (r.id == id) return &r;
    return nullptr;
}

void single_octet(Text& t, unsigned char o) {
    switch ((o >> 4) & 7) {
    case 1: t.printf("  Shift %x\n", o & 0x0F); break;
    case 3: t.printf("  Congestion level %x\n", o & 0x0F); break;
    case 5: t.printf("  Repeat indicator %x\n", o & 0x0F); break;
    case 2:
        if (o == 0xA0) t.printf("  More data\n");
        else if (o == 0xA1) t.printf("  Sending complete\n");
        break;
    default: t.printf("  Reserved %x\n", o); break;
    }
}

// The Q.931 message from the protocol discriminator to the end of the frame.
void message(Text& t, const unsigned char* m, const unsigned char* end) {
    const int size = static_cast<int>(end - m);
    if (size <= 0) {
        t.printf("frame too short\n");
        return;
    }
    if (m[0] != 0x08) {
        t.printf("Unknown protocol %x!", m[0]);
        return;
    }
    // Call reference: its length octet gives 0..15 value octets (two on primary rate).
    const unsigned char* p = m + 1;
    if (p >= end) {
        t.printf("frame too short\n");
        return;
    }
    const int cr_length = *p++ & 0x0F;
    if (end - p < cr_length + 1) {
        t.printf("frame too short\n");
        return;
    }
    unsigned long value = 0;
    bool called = false;
    for (int i = 0; i < cr_length; ++i) {
        const unsigned char o = *p++;
        if (i == 0) {
            called = (o & 0x80) != 0;
            value = o & 0x7F;
        } else {
            value = (value << 8 | o) & 0xFFFFFFFFul;
        }
    }
    const unsigned char type = *p++;
    const char* flag = called ? "called" : "caller";
    if (const char* name = q931_message_name(type))
        t.printf("callref %lu %s size %d message type %s\n", value, flag, size, name);
    else
        t.printf("callref %lu %s size %d unknown message type %x!\n", value, flag, size, type);

    while (p < end) {
        const unsigned char id = *p;
        if ((id & 0x80) != 0) {
            single_octet(t, id);
            ++p;
            continue;
        }
        if (end - p < 2) {
            t.printf("  attribute %x cut off\n", id);
            return;
        }
        const int length = p[1];
        Element e{p + 2, end - (p + 2) < length ? end : p + 2 + length};
        if (const ElementRow* row = find_element(id)) {
            t.printf("  %s\n", row->name);
            row->print(t, e);
        } else {
            t.printf("  attribute %x attribute size %d\n", id, length);
        }
        p = e.end;
    }
}

}  // namespace

const char* q931_message_name(unsigned char type) {
    return lookup(kMessages, type);
}

const char* q931_element_name(unsigned char id) {
    const ElementRow* row = find_element(id);
    return row != nullptr ? row->name : nullptr;
}

const char* q931_cause_text(unsigned char value) {
    return lookup(kCauses, value);
}

void dlogframe(const unsigned char* frame, int length, int direction, char* out) {
    Text t(out);
    if (frame == nullptr || length <= 2) return;
    const unsigned char* end = frame + length;
    for (int i = 0; i < length; ++i) t.printf(" %02X", frame[i]);
    t.put('\n');
    t.printf("frame %s ", direction != 0 ? "network->user" : "user->network");
    const int sapi = frame[0] >> 2;
    const int tei = frame[1] >> 1;
    const unsigned char control = frame[2];
    if (tei == 127) {
        if (sapi == 0) {
            if (control != 0x03) {
                t.printf("no UI broadcast\n");
                return;
            }
            t.printf("broadcast\n");
            message(t, frame + 3, end);
        } else if (sapi == 63) {
            t.printf("tei management:\n");
        } else {
            t.printf("unknown sapi %d broadcast\n", sapi);
        }
        return;
    }
    if (sapi != 0) {
        t.printf("unknown sapi = %d; tei = %d\n", sapi, tei);
        return;
    }
    if ((control & 1) != 0) {
        t.printf("SFrame tei = %d (", tei);
        for (const unsigned char* p = frame + 2; p < end; ++p) t.printf("%02X ", *p);
        t.printf(")\n");
        return;
    }
    t.printf("IFrame tei = %d\n", tei);
    message(t, length > 4 ? frame + 4 : end, end);
}

}  // namespace ISDN
