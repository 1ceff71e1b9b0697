// A scope marker that writes an enter line and a leave line.
#pragma once

#include <ostream>

namespace Trace {

class Block {
public:
    Block(bool enabled, const char* name, std::ostream& os) : mEnabled(enabled), mName(name), mOs(os) {
        if (mEnabled) mOs << "Enter " << mName << std::endl;
    }
    ~Block() {
        if (mEnabled) mOs << "Leave " << mName << std::endl;
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

private:
    bool mEnabled;
    const char* mName;
    std::ostream& mOs;
};

}  // namespace Trace
