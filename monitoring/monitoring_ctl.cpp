#include "monitoring/monitoring_ctl.h"

#include <iostream>
#include <string>

#include "protocol/HSP.h"

namespace {

// The power supervisor is not read on this build: the state stays unknown.
LGCP::POWERStatus::NamedNumber UnknownPower() {
    return LGCP::POWERStatus::unknown;
}

std::string Text(const ASN1::OCTET_STRING& octets) {
    return std::string(octets.begin(), octets.end());
}

std::string Number(int value) {
    return std::to_string(value);
}

}  // namespace

MonitoringCtl::PowerSource MonitoringCtl::powerSource_ = &UnknownPower;

MonitoringCtl& MonitoringCtl::instance() {
    static MonitoringCtl ctl;
    return ctl;
}

MonitoringCtl::MonitoringCtl() = default;
MonitoringCtl::~MonitoringCtl() = default;

void MonitoringCtl::Configure(IniFile::File& file) {
    agents_.Configure(file, this);
}

MonitoringCtl::PowerSource MonitoringCtl::SetPowerSource(PowerSource source) {
    PowerSource previous = powerSource_;
    powerSource_ = source != nullptr ? source : &UnknownPower;
    return previous;
}

LGCP::POWERStatus::NamedNumber MonitoringCtl::CheckPower() {
    power_ = powerSource_();
    agents_.Send(SnmpAgentCtrl::powerStatus, Number(power_));
    return power_;
}

void MonitoringCtl::CheckController() {
    bool connected = false;
    CheckServerConnection(connected);
    if (connected)
        controllerStatus_ = reportedController_ >= 0 ? reportedController_ : HSP::ControllerStatus::ok;
    else
        controllerStatus_ = HSP::ControllerStatus::notconnection;
    agents_.Send(SnmpAgentCtrl::controllerStatus, Number(controllerStatus_));
}

void MonitoringCtl::OnConnect() {
    LGCP::POWERStatus status(CheckPower());
    SendSignal(LGCP::Signal(LGCP::Signal::power::id, status));
    CheckController();
}

void MonitoringCtl::OnDisconnect() {
    // What the last controller reported about itself no longer holds.
    reportedController_ = -1;
    CheckController();
}

bool MonitoringCtl::OnCommand(const LGCP::Command& command) {
    if (!command.display_isSelected()) return false;
    OnDisplayCMD(command.get_display());
    Success();
    return true;
}

void MonitoringCtl::OnSnmpAgentConnect(const std::string&) {
    // A new agent gets the whole state: the lists and values we hold now.
    if (!trapReceivers_.empty()) agents_.SendTrapsink(trapReceivers_);
    agents_.Send(SnmpAgentCtrl::powerStatus, Number(power_));
    agents_.Send(SnmpAgentCtrl::controllerStatus, Number(controllerStatus_));
    for (const auto& [position, board] : boards_) SendBoardStatus(board);
    for (const auto& [id, phone] : phones_) SendPhoneStatus(phone);
    SendCounters();
}

void MonitoringCtl::OnDisplayCMD(const LGCP::DisplayParams& params) {
    switch (params.currentSelection()) {
        case 0:
            if (params.get_board().boardStatus_isSelected()) {
                const LGCP::BoardStatusParams& board = params.get_board().get_boardStatus();
                StoreStatus(boards_, board.get_position().getValue(), board, "board");
                SendBoardStatus(board);
            }
            break;
        case 1:
            trapReceivers_.clear();
            for (const auto& receiver : params.get_snmpTrapReceivers()) trapReceivers_.push_back(receiver);
            agents_.SendTrapsink(trapReceivers_);
            break;
        case 2: {
            const LGCP::FramerInfo& framer = params.get_framer();
            unsigned e1 = framer.get_e1().getValue();
            if (e1 > 3) break;
            const LGCP::FramerInfoData& info = framer.get_info();
            unsigned bit = 2 * e1;
            bool on = false;
            if (info.link_isSelected()) {
                on = info.get_link();
            } else if (info.line_isSelected()) {
                bit += 1;
                on = info.get_line();
            } else {
                break;
            }
            if (on)
                indicators_ = static_cast<std::uint8_t>(indicators_ | (1u << bit));
            else
                indicators_ = static_cast<std::uint8_t>(indicators_ & ~(1u << bit));
            break;
        }
        case 3:
            if (params.get_emPhone().phoneStatus_isSelected()) {
                const LGCP::EmPhoneStatusParams& phone = params.get_emPhone().get_phoneStatus();
                StoreStatus(phones_, phone.get_id().getValue(), phone, "phone");
                SendPhoneStatus(phone);
            }
            break;
        case 4:
            reportedController_ = static_cast<int>(params.get_controller().get_status().asInt());
            controllerStatus_ = reportedController_;
            agents_.Send(SnmpAgentCtrl::controllerStatus, Number(controllerStatus_));
            break;
        case 5: {
            const LGCP::TermCounter& counter = params.get_termCounter();
            int cnt = counter.get_cnt().getValue();
            switch (counter.get_owner().asInt()) {
                case LGCP::TermCounterOwner::router:
                    routerCount_ = cnt;
                    break;
                case LGCP::TermCounterOwner::controller:
                    controllerCount_ = cnt;
                    break;
                case LGCP::TermCounterOwner::server:
                    serverCount_ = cnt;
                    break;
                case LGCP::TermCounterOwner::extBoard:
                    if (counter.ownerId_isPresent()) StoreBoardCount(counter.get_ownerId().getValue(), cnt);
                    break;
                default:
                    break;
            }
            SendCounters();
            break;
        }
        case 6:
            agents_.Send(params.get_snmp_set());
            break;
        default:
            break;
    }
}

void MonitoringCtl::StoreBoardCount(int ownerId, int cnt) {
    auto it = boardCounts_.find(ownerId);
    if (it != boardCounts_.end()) {
        it->second = cnt;
    } else if (boardCounts_.size() < kMaxExtBoards) {
        boardCounts_.emplace(ownerId, cnt);
    } else {
        std::cerr << "monitoring: counter of extension board " << ownerId << " ignored: more than "
                  << kMaxExtBoards << " boards." << std::endl;
    }
}

template <class Params>
void MonitoringCtl::StoreStatus(std::map<int, Params>& rows, int key, const Params& params, const char* what) {
    auto it = rows.find(key);
    if (it != rows.end()) {
        it->second = params;
    } else if (rows.size() < kMaxStatusRows) {
        rows.emplace(key, params);
    } else {
        std::cerr << "monitoring: status of " << what << " " << key << " not kept: more than "
                  << kMaxStatusRows << "." << std::endl;
    }
}

void MonitoringCtl::SendBoardStatus(const LGCP::BoardStatusParams& board) {
    int position = board.get_position().getValue();
    agents_.Send(SnmpAgentCtrl::extBoardStatus, position, Number(board.get_status().asInt()));
    agents_.Send(SnmpAgentCtrl::extBoardSoftVer, position, Text(board.get_version()));
    agents_.Send(SnmpAgentCtrl::extBoardType, position, Number(board.get_type().asInt()));
}

void MonitoringCtl::SendPhoneStatus(const LGCP::EmPhoneStatusParams& phone) {
    int id = phone.get_id().getValue();
    agents_.Send(SnmpAgentCtrl::emPhonePanelSoftVer, id, Text(phone.get_panelSV()));
    agents_.Send(SnmpAgentCtrl::emPhoneCtrlSoftVer, id, Text(phone.get_ctrlSV()));
    agents_.Send(SnmpAgentCtrl::emPhoneFpgaSoftVer, id, Text(phone.get_fpgaSV()));
    agents_.Send(SnmpAgentCtrl::emPhoneStatus, id, Number(phone.get_status().asInt()));
    agents_.Send(SnmpAgentCtrl::emPhonePowerStatus, id, Number(phone.get_powerStatus().asInt()));
    agents_.Send(SnmpAgentCtrl::emPhoneMode, id, Number(phone.get_mode().asInt()));
    agents_.Send(SnmpAgentCtrl::emPhoneHookStatus, id, Number(phone.get_hookStatus().asInt()));
    agents_.Send(SnmpAgentCtrl::emPhoneBaseStatus, id, Number(phone.get_baseStatus().asInt()));
}

void MonitoringCtl::SendCounters() {
    agents_.Send(SnmpAgentCtrl::routerTermCnt, Number(routerCount_));
    agents_.Send(SnmpAgentCtrl::controllerTermCnt, Number(controllerCount_));
    agents_.Send(SnmpAgentCtrl::serverTermCnt, Number(serverCount_));
    for (const auto& [id, cnt] : boardCounts_) agents_.Send(SnmpAgentCtrl::extBoardTermCnt, id, Number(cnt));
}
