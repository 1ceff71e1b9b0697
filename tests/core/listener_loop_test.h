// A listener on the driven loop whose poll reports it in error.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/multiplexer_test.h"

class ListenerLoopTest : public LoopTest {
protected:
    // POLLERR without POLLIN on the listener rests it: two seconds take a few dozen
    // passes and write `line` once. A client that comes once the error clears is
    // taken, which ends the condition.
    void ExpectRestsInError(uint16_t port, const std::string& line, const std::function<bool()>& taken) {
        testing_core::LineCapture errors(std::cerr);
        bool stuck = true;
        StickBits([&](int fd) -> short { return stuck && Listening(fd, port) ? POLLERR : 0; });
        ExpectNoSpinFor2s();
        EXPECT_EQ(std::vector<std::string>{line}, errors.own_texts());
        stuck = false;
        testing_core::Client client = testing_core::Client::Tcp(port);
        PassesIn(200);
        EXPECT_TRUE(taken());
        const ConditionLines c = Account(errors.texts(), line);
        EXPECT_TRUE(c.ended);
        EXPECT_GE(c.counted, 15u);  // one rest of 100 ms after another
    }

private:
    static bool Listening(int fd, uint16_t port) {
        int listening = 0;
        socklen_t length = sizeof(listening);
        return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening != 0 &&
               testing_core::LocalPort(fd) == port;
    }
};
