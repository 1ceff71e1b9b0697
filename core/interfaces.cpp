#include "core/interfaces.h"

#include <net/if.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <functional>

#include "core/fd.h"

namespace Net {

namespace {

// Room for 16 interface records whatever the size of one record on this machine.
constexpr int kInterfaceRecords = 16;

bool InNet(uint32_t host_order, uint32_t net, int bits) {
    return (host_order >> (32 - bits)) == (net >> (32 - bits));
}

// Calls take(socket, record) for each selected IPv4 record; -1 when listing fails.
int ForEachSelected(ifconfig_mode_t mode, const std::function<bool(int, ifreq&)>& take) {
    Fd sock(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!sock.is_valid()) return -1;
    ifreq records[kInterfaceRecords];
    std::memset(records, 0, sizeof(records));
    ifconf conf;
    conf.ifc_len = sizeof(records);
    conf.ifc_req = records;
    if (::ioctl(sock.lowlevel_fd(), SIOCGIFCONF, &conf) < 0) return -1;

    int count = 0;
    int n = conf.ifc_len / static_cast<int>(sizeof(ifreq));
    for (int i = 0; i < n && i < kInterfaceRecords; ++i) {
        ifreq& rec = records[i];
        if (rec.ifr_addr.sa_family != AF_INET) continue;
        auto* sin = reinterpret_cast<sockaddr_in*>(&rec.ifr_addr);
        char name[IFNAMSIZ + 1] = {};
        std::memcpy(name, rec.ifr_name, IFNAMSIZ);
        if (!ifconfig_selects(mode, name, sin->sin_addr.s_addr)) continue;
        if (take(sock.lowlevel_fd(), rec)) ++count;
    }
    return count;
}

}  // namespace

bool ifconfig_selects(ifconfig_mode_t mode, const char* name, uint32_t address) {
    if (mode == ifconfig_all) return true;
    uint32_t host = ntohl(address);
    if ((mode & ifconfig_no_loopback) && ::strcasecmp(name, "lo") != 0) return true;
    if ((mode & ifconfig_link_local) && InNet(host, 0xA9FE0000u, 16)) return true;
    if ((mode & ifconfig_private) &&
        (InNet(host, 0xC0A80000u, 16) || InNet(host, 0xAC100000u, 12) || InNet(host, 0x0A000000u, 8)))
        return true;
    return false;
}

std::string hostname() {
    char name[512];
    if (::gethostname(name, sizeof(name)) != 0) return std::string();
    name[sizeof(name) - 1] = '\0';
    return name;
}

int hostname(const std::string& name) {
    return ::sethostname(name.data(), name.size());
}

int ifconfig(std::list<INet4::Addr>& out, ifconfig_mode_t mode) {
    return ForEachSelected(mode, [&out](int sock, ifreq& rec) {
        if (::ioctl(sock, SIOCGIFADDR, &rec) < 0) return false;
        out.push_back(INet4::Addr(*reinterpret_cast<const sockaddr_in*>(&rec.ifr_addr)));
        return true;
    });
}

int ifconfig(std::list<std::string>& out, ifconfig_mode_t mode, unsigned flags) {
    return ForEachSelected(mode, [&out, flags](int sock, ifreq& rec) {
        if (::ioctl(sock, SIOCGIFADDR, &rec) < 0) return false;
        if (::ioctl(sock, SIOCGIFFLAGS, &rec) < 0) return false;
        if ((static_cast<unsigned>(rec.ifr_flags) & flags) != flags) return false;
        out.push_back(std::string(rec.ifr_name, ::strnlen(rec.ifr_name, IFNAMSIZ)));
        return true;
    });
}

}  // namespace Net
