// Host name and the local IPv4 interface list.
#pragma once

#include <list>
#include <string>

#include "core/inet4_addr.h"

namespace Net {

// Which interfaces ifconfig selects; the bits combine, 0 takes every one.
enum ifconfig_mode_t : unsigned {
    ifconfig_all = 0,
    ifconfig_no_loopback = 1,  // any interface not named "lo" (any case)
    ifconfig_link_local = 2,   // 169.254.0.0/16
    ifconfig_private = 4,      // 192.168.0.0/16, 172.16.0.0/12, 10.0.0.0/8
};

inline ifconfig_mode_t operator|(ifconfig_mode_t a, ifconfig_mode_t b) {
    return static_cast<ifconfig_mode_t>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// The empty string when gethostname fails.
std::string hostname();
int hostname(const std::string& name);

// Appends the addresses of the selected IPv4 interfaces; returns how many were
// appended, or -1 when the interfaces cannot be listed.
int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode);
// Appends the names of the selected interfaces whose flags hold every bit of flags.
int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags);

// The selection rule, for one interface name and address (network order).
bool ifconfig_selects(ifconfig_mode_t mode, const char* name, uint32_t address);

}  // namespace Net
