// The monitoring service: keeps the status the controller reports with `display`,
// passes the values on to the SNMP agents, and tells the controller the power
// supply state when it connects.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "config/ini_file.h"
#include "monitoring/snmp_agent_ctrl.h"
#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"

class MonitoringCtl : public CtrlSrv::Service, public ISnmpAgentNotify {
public:
    // Where the power check reads the supply state; the board's reader by default.
    using PowerSource = LGCP::POWERStatus::NamedNumber (*)();

    static MonitoringCtl& instance();

    MonitoringCtl();
    ~MonitoringCtl() override;

    void Configure(IniFile::File& file);

    void OnConnect() override;
    void OnDisconnect() override;
    bool OnCommand(const LGCP::Command& command) override;
    void OnSnmpAgentConnect(const std::string& name) override;

    void OnDisplayCMD(const LGCP::DisplayParams& params);

    static PowerSource SetPowerSource(PowerSource source);
    LGCP::POWERStatus::NamedNumber CheckPower();
    void CheckController();

    SnmpAgentCtrl& agents() { return agents_; }
    std::uint8_t indicators() const { return indicators_; }
    const std::list<std::string>& trapReceivers() const { return trapReceivers_; }
    int controllerStatus() const { return controllerStatus_; }
    size_t extBoardCounters() const { return boardCounts_.size(); }

    // Extension boards whose counters are kept; the ids come from the controller.
    static constexpr size_t kMaxExtBoards = 256;
    // Board positions and phones whose status is kept for the agents that connect later.
    static constexpr size_t kMaxStatusRows = 256;

private:
    void SendBoardStatus(const LGCP::BoardStatusParams& board);
    void SendPhoneStatus(const LGCP::EmPhoneStatusParams& phone);
    void SendCounters();
    void StoreBoardCount(int ownerId, int cnt);
    template <class Params>
    void StoreStatus(std::map<int, Params>& rows, int key, const Params& params, const char* what);

    SnmpAgentCtrl agents_;
    static PowerSource powerSource_;
    LGCP::POWERStatus::NamedNumber power_ = LGCP::POWERStatus::unknown;
    std::uint8_t indicators_ = 0;
    std::list<std::string> trapReceivers_;
    // HSP::ControllerStatus value the controller last reported; -1 before any.
    int reportedController_ = -1;
    int controllerStatus_ = 0;
    int routerCount_ = 0;
    int controllerCount_ = 0;
    int serverCount_ = 0;
    std::map<int, int> boardCounts_;
    // The last status the controller displayed for each board position and phone,
    // all of which a connecting agent receives.
    std::map<int, LGCP::BoardStatusParams> boards_;
    std::map<int, LGCP::EmPhoneStatusParams> phones_;
};
