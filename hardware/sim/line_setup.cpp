#include "hardware/sim/line_setup.h"

#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <vector>

#include "core/output.h"
#include "hardware/e1_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/maintenance_device.h"

namespace Sim {
namespace {

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> items;
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) items.push_back(item);
    return items;
}

bool Refuse(const char* variable, const std::string& item, const char* why) {
    std::cerr << "sim: " << variable << ": " << ext::quoted(item) << " " << why << std::endl;
    return false;
}

}  // namespace

bool LineSetup::FromEnvironment() {
    const char* dir = std::getenv(kDir);
    if (dir != nullptr && *dir != '\0' && !Ports(dir, std::getenv(kPorts))) return false;
    const char* cable = std::getenv(kCable);
    if (cable != nullptr && !Cables(cable)) return false;
    const char* tap = std::getenv(kTap);
    if (tap != nullptr && !Taps(tap)) return false;
    return true;
}

bool LineSetup::Ports(const std::string& dir, const char* list) {
    std::vector<int> channels;
    if (list != nullptr) {
        for (const std::string& name : Split(list)) {
            int ch = TrunkPorts::Parse(name);
            if (ch < 0) return Refuse(kPorts, name, "is no line channel");
            channels.push_back(ch);
        }
    } else {
        for (int trunk = 0; trunk < Tdm::kE1Trunks; ++trunk)
            channels.push_back(Tdm::TrunkTimeSlot(trunk, Tdm::kE1SignallingTimeSlot));
        for (int line = 0; line < Tdm::kBriLines; ++line) channels.push_back(Tdm::BriLineChannel(line, Tdm::kBriD));
    }
    ports_ = std::make_unique<TrunkPorts>(trunks_);
    // A hang-up cuts the trunk; the next connection restores what it reported before.
    ports_->OnConnection([cut = std::map<int, MaintenanceDevice::Status>()](int ch, bool connected) mutable {
        Tdm::LinePlace place = Tdm::PlaceOf(ch);
        if (place.kind != Tdm::LinePlace::e1) return;
        auto& framers = board().device<MaintenanceDevice>(Hardware::Maintenance::kPath);
        auto saved = cut.find(place.line);
        if (connected) {
            if (saved == cut.end()) return;
            framers.SetStatus(place.line, saved->second);
            cut.erase(saved);
            return;
        }
        if (saved == cut.end()) cut.emplace(place.line, framers.status(place.line));
        MaintenanceDevice::Status lost = framers.status(place.line);
        lost.state = 2;  // loss of carrier
        lost.lossCarrier += 1;
        framers.SetStatus(place.line, lost);
    });
    for (int ch : channels)
        if (!ports_->Open(dir, ch)) return Refuse(kDir, dir, "cannot hold the trunk ports");
    std::clog << "sim: " << channels.size() << " trunk ports in " << dir << std::endl;
    return true;
}

bool LineSetup::Cables(const std::string& list) {
    for (const std::string& pair : Split(list)) {
        std::size_t dash = pair.find('-');
        if (dash == std::string::npos || dash + 2 != pair.size() || dash != 1 ||
            !trunks_.Cable(pair[0] - '0', pair[2] - '0'))
            return Refuse(kCable, pair, "is no pair of trunks 0..3");
    }
    return true;
}

bool LineSetup::Taps(const std::string& list) {
    for (const std::string& tap : Split(list)) {
        std::size_t equals = tap.find('='), colon = tap.find(':');
        if (equals == std::string::npos || colon == std::string::npos || colon < equals)
            return Refuse(kTap, tap, "is not <channel>=<lapd|mtp2>:<file>");
        int ch = TrunkPorts::Parse(tap.substr(0, equals));
        std::string kind = tap.substr(equals + 1, colon - equals - 1);
        std::uint16_t link = kind == "lapd" ? PcapngWriter::kLinkLapd : kind == "mtp2" ? PcapngWriter::kLinkMtp2 : 0;
        if (ch < 0 || link == 0) return Refuse(kTap, tap, "is not <channel>=<lapd|mtp2>:<file>");
        if (!trunks_.Tap(ch, tap.substr(colon + 1), link)) return Refuse(kTap, tap, "cannot be written");
    }
    return true;
}

}  // namespace Sim
