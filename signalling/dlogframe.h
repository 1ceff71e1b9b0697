// Readable text of one LAPD frame and the Q.931 message it carries, for the
// trace lines of the LAPD entities.
#pragma once

#include <cstddef>

namespace ISDN {

constexpr std::size_t kLogBufSize = 1024;

// Shared by every LAPD entity: each renders one frame here and prints it at once.
extern char logbuf[kLogBufSize];

// Writes the text of frame into out (kLogBufSize characters, always NUL
// terminated; a text that does not fit ends in "...\n"). direction non-zero
// labels the frame "network->user", zero "user->network".
void dlogframe(const unsigned char* frame, int length, int direction, char* out);

// Names from the decoder's tables; null when the value is not in them.
const char* q931_message_name(unsigned char type);
const char* q931_element_name(unsigned char id);
const char* q931_cause_text(unsigned char value);

}  // namespace ISDN
