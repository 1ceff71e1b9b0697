// Terminal switches on standard input.
#pragma once

namespace Console {

// Raw input without echo; signals (ISIG) and ECHOKE stay. False, with a line on the
// error stream, when the attributes cannot be read or set; nothing is changed when
// they cannot be read.
bool SwitchToBinaryMode();
// Non-blocking standard input (FIONBIO).
bool SwitchToNonBlockMode();

}  // namespace Console
