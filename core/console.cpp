#include "core/console.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace Console {

bool SwitchToBinaryMode() {
    termios attributes;
    if (::tcgetattr(STDIN_FILENO, &attributes) != 0) {
        // Setting attributes we never read would apply garbage.
        std::cerr << "can't obtain terminal attributes" << std::endl;
        return false;
    }
    attributes.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOPRT | ECHOCTL);
    if (::tcsetattr(STDIN_FILENO, TCSADRAIN, &attributes) != 0) {
        std::cerr << "can't set terminal attributes" << std::endl;
        return false;
    }
    return true;
}

bool SwitchToNonBlockMode() {
    int on = 1;
    if (::ioctl(STDIN_FILENO, FIONBIO, &on) != 0) {
        std::cerr << "can't switch terminal to blocked mode" << std::endl;
        return false;
    }
    return true;
}

}  // namespace Console
