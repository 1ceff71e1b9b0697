#include "monitoring/snmp_agent_ctrl.h"

#include <iostream>
#include <limits>
#include <string>

#include "config/ini_reader.h"

namespace {

constexpr unsigned kAllKinds =
    SnmpAgentInstance::lemzgw | SnmpAgentInstance::vaku | SnmpAgentInstance::lemzgw_mb;

}  // namespace

// Every agent kind takes every item.
const SnmpAgentCtrl::Item SnmpAgentCtrl::kItems[kItemCount] = {
    {"gatewayCommon", "driverBuild", kAllKinds},
    {"gatewayCommon", "softwareBuild", kAllKinds},
    {"gatewayCommon", "powerStatus", kAllKinds},
    {"gatewayCommon", "controllerStatus", kAllKinds},
    {"gatewayCommon", "gatewayDip", kAllKinds},
    {"gatewayCommon", "gatewayConfigVersion", kAllKinds},
    {"extBoardTable", "extBoardStatus", kAllKinds},
    {"extBoardTable", "extBoardSoftVer", kAllKinds},
    {"extBoardTable", "extBoardType", kAllKinds},
    {"emPhoneTable", "emPhonePanelSoftVer", kAllKinds},
    {"emPhoneTable", "emPhoneCtrlSoftVer", kAllKinds},
    {"emPhoneTable", "emPhoneFpgaSoftVer", kAllKinds},
    {"emPhoneTable", "emPhoneStatus", kAllKinds},
    {"emPhoneTable", "emPhonePowerStatus", kAllKinds},
    {"emPhoneTable", "emPhoneMode", kAllKinds},
    {"emPhoneTable", "emPhoneHookStatus", kAllKinds},
    {"emPhoneTable", "emPhoneBaseStatus", kAllKinds},
    {"gatewayTermCounters", "routerTermCnt", kAllKinds},
    {"gatewayTermCounters", "controllerTermCnt", kAllKinds},
    {"gatewayTermCounters", "serverTermCnt", kAllKinds},
    {"extBoardTermCntTable", "extBoardTermCnt", kAllKinds},
    {"e1Table", "e1Connected", kAllKinds},
    {"e1Table", "e1StatusDsc", kAllKinds},
    {"e1Table", "e1SignalLoss", kAllKinds},
    {"e1Table", "e1FrameAlignLoss", kAllKinds},
    {"e1Table", "e1NegSlipCount", kAllKinds},
    {"e1Table", "e1PosSlipCount", kAllKinds},
    {"statusGeneral", "sgBuildVersion", kAllKinds},
    {"statusGeneral", "sgFPGAVersion", kAllKinds},
    {"statusGeneral", "sgBootVersion", kAllKinds},
    {"statusGeneral", "sgBoardVersion", kAllKinds},
    {"ifTable", "ifDescr", kAllKinds},
    {"ifTable", "ifAdminStatus", kAllKinds},
    {"ifTable", "ifOperStatus", kAllKinds},
};

SnmpAgentCtrl::SnmpAgentCtrl() {
    dpc_.Bind(this, &SnmpAgentCtrl::OnDpcSend);
}

SnmpAgentCtrl::~SnmpAgentCtrl() = default;

void SnmpAgentCtrl::Configure(IniFile::File& file, ISnmpAgentNotify* notify) {
    for (IniFile::SubSection& sub : file["snmpagent"]) {
        std::string host;
        SnmpAgentInstance::MonitoringAddressType type = SnmpAgentInstance::lemzgw;
        IniFile::Reader reader("snmpagent: ", std::cerr);
        reader.required.add(&host, "host");
        reader.required.add(&type, "name", SnmpAgentInstance::monitoringAddressTypes);
        if (!reader(sub)) continue;
        std::string name;
        for (const auto* row = SnmpAgentInstance::monitoringAddressTypes; row->name != nullptr; ++row)
            if (row->value == type) {
                name = row->name;
                break;
            }
        auto agent = std::make_unique<SnmpAgentInstance>(type, name, host);
        agent->Bind(notify);
        Add(std::move(agent));
    }
}

void SnmpAgentCtrl::Add(std::unique_ptr<SnmpAgentInstance> agent) {
    agent->Activate();
    agents_.push_back(std::move(agent));
}

void SnmpAgentCtrl::Clear() {
    agents_.clear();
    pending_.clear();
    dpc_.Deactivate();
}

int SnmpAgentCtrl::NextUniq() {
    // A long-running daemon wraps back to 1 rather than past the largest int.
    uniq_ = uniq_ < std::numeric_limits<int>::max() ? uniq_ + 1 : 1;
    return uniq_;
}

void SnmpAgentCtrl::Send(ItemType item, int index, const std::string& value) {
    if (item < 0 || item >= kItemCount) return;
    const Item& row = kItems[item];
    // At least the command's encoded size: the strings, with room for the numbers,
    // lengths and padding.
    const size_t bytes = 32 + std::char_traits<char>::length(row.section) +
                         std::char_traits<char>::length(row.name) + value.size();
    // One command per agent kind that takes the item and is there to receive it; a
    // replay's commands are for the connecting agent alone.
    SnmpAgentInstance* target = ReplayTarget();
    const unsigned kinds = row.kinds & (target != nullptr ? static_cast<unsigned>(target->type()) : Kinds());
    for (unsigned kind = 1; kind <= SnmpAgentInstance::lemzgw_mb; kind <<= 1) {
        if ((kinds & kind) == 0) continue;
        MON::SnmpSetCommand command;
        command.set_uniq(NextUniq());
        MON::IniName& id = command.set_id().select_name();
        id.set_section(row.section);
        id.set_name(row.name);
        id.set_index(index);
        command.set_value(value);
        std::list<Batch>& batches = pending_[Destination(target, kind)];
        if (batches.empty() || batches.back().count == kMaxBatchCommands ||
            (batches.back().count > 0 && batches.back().bytes + bytes > kMaxBatchBytes))
            batches.emplace_back();
        Batch& batch = batches.back();
        batch.commands.ref_commands().push_back(command);
        ++batch.count;
        batch.bytes += bytes;
    }
    if (kinds != 0) dpc_.Activate();
}

SnmpAgentInstance* SnmpAgentCtrl::ReplayTarget() const {
    SnmpAgentInstance* connecting = SnmpAgentInstance::connecting();
    for (const auto& agent : agents_)
        if (agent.get() == connecting) return connecting;
    return nullptr;
}

unsigned SnmpAgentCtrl::Kinds() const {
    unsigned kinds = 0;
    for (const auto& agent : agents_) kinds |= static_cast<unsigned>(agent->type());
    return kinds;
}

void SnmpAgentCtrl::OnDpcSend() {
    dpc_.Deactivate();
    std::map<Destination, std::list<Batch>> pending;
    pending.swap(pending_);
    for (auto& [destination, batches] : pending) {
        for (const Batch& batch : batches) {
            const MON::Command command(MON::Command::snmp_set::id, batch.commands);
            if (destination.first != nullptr)
                destination.first->Command(command);
            else
                SendAll(command, destination.second);
        }
    }
}

void SnmpAgentCtrl::Send(const MON::SnmpSetCommands& commands) {
    if (commands.get_commands().empty()) return;
    SendAll(MON::Command(MON::Command::snmp_set::id, commands), kAllKinds);
}

void SnmpAgentCtrl::SendTrapsink(const std::list<std::string>& receivers) {
    if (receivers.empty()) return;
    MON::SnmpTrapsinks sinks;
    for (const std::string& receiver : receivers) {
        MON::SnmpTrapsink sink;
        sink.set_host(receiver);
        sink.omit_port();
        sinks.ref_trapsinks().push_back(sink);
    }
    const MON::Command command(MON::Command::snmp_trapsink_set::id, sinks);
    if (SnmpAgentInstance* target = ReplayTarget())
        target->Command(command);
    else
        SendAll(command, kAllKinds);
}

void SnmpAgentCtrl::SendAll(const MON::Command& command, unsigned kinds) {
    for (auto& agent : agents_)
        if ((agent->type() & kinds) != 0) agent->Command(command);
}
