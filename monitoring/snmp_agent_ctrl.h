// The SNMP agent links and what goes over them: monitoring values collected into one
// pending `snmp-set` batch per agent kind and sent together from a deferred call,
// the controller's own set batches, and the trap-receiver list.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "core/dpc.h"
#include "monitoring/snmp_agent_instance.h"
#include "protocol/MON.h"

class SnmpAgentCtrl {
public:
    // The monitoring items the agents know, by section and name.
    enum ItemType {
        driverBuild,
        softwareBuild,
        powerStatus,
        controllerStatus,
        gatewayDip,
        gatewayConfigVersion,
        extBoardStatus,
        extBoardSoftVer,
        extBoardType,
        emPhonePanelSoftVer,
        emPhoneCtrlSoftVer,
        emPhoneFpgaSoftVer,
        emPhoneStatus,
        emPhonePowerStatus,
        emPhoneMode,
        emPhoneHookStatus,
        emPhoneBaseStatus,
        routerTermCnt,
        controllerTermCnt,
        serverTermCnt,
        extBoardTermCnt,
        e1Connected,
        e1StatusDsc,
        e1SignalLoss,
        e1FrameAlignLoss,
        e1NegSlipCount,
        e1PosSlipCount,
        sgBuildVersion,
        sgFPGAVersion,
        sgBootVersion,
        sgBoardVersion,
        ifDescr,
        ifAdminStatus,
        ifOperStatus,
        kItemCount
    };
    struct Item {
        const char* section;
        const char* name;
        unsigned kinds;  // mask of SnmpAgentInstance::MonitoringAddressType
    };
    static const Item kItems[kItemCount];

    // What one `snmp-set` message holds at most: the agents decode with our coder, which
    // refuses a list of more than 128 elements, and a frame carries at most 65531 bytes.
    static constexpr size_t kMaxBatchCommands = 128;
    static constexpr size_t kMaxBatchBytes = 60000;

    SnmpAgentCtrl();
    ~SnmpAgentCtrl();
    SnmpAgentCtrl(const SnmpAgentCtrl&) = delete;
    SnmpAgentCtrl& operator=(const SnmpAgentCtrl&) = delete;

    // One link per "snmpagent" section (keys "host" and "name"), bound to `notify`
    // and started. Bad sections are reported and skipped.
    void Configure(IniFile::File& file, ISnmpAgentNotify* notify);
    void Add(std::unique_ptr<SnmpAgentInstance> agent);
    void Clear();

    void Send(ItemType item, int index, const std::string& value);
    void Send(ItemType item, const std::string& value) { Send(item, 0, value); }
    void Send(const MON::SnmpSetCommands& commands);
    void SendTrapsink(const std::list<std::string>& receivers);
    // The pending batches, at once.
    void OnDpcSend();

    const std::vector<std::unique_ptr<SnmpAgentInstance>>& agents() const { return agents_; }
    // The running number of the last command made.
    int uniq() const { return uniq_; }
    void set_uniq(int last) { uniq_ = last; }

private:
    // One `snmp-set` message in the making, with the most its encoding can take.
    struct Batch {
        MON::SnmpSetCommands commands;
        size_t count = 0;
        size_t bytes = 0;
    };

    // Where a batch goes: every agent of one kind, or one agent alone (its replay).
    using Destination = std::pair<SnmpAgentInstance*, unsigned>;

    void SendAll(const MON::Command& command, unsigned kinds);
    int NextUniq();
    // The agent a replay is for when one of ours is connecting, else null.
    SnmpAgentInstance* ReplayTarget() const;
    // The agent kinds that are configured.
    unsigned Kinds() const;

    std::vector<std::unique_ptr<SnmpAgentInstance>> agents_;
    std::map<Destination, std::list<Batch>> pending_;
    int uniq_ = 0;
    Dpc dpc_;
};
