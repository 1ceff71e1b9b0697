// Q.921 octets shared by the data-link entities of the user side and of the
// basic-rate network side.
#pragma once

namespace ISDN::Q921 {

constexpr unsigned char kTeiSapi = 63;    // SAPI of TEI management
constexpr unsigned char kGroupTei = 127;  // broadcast TEI
constexpr unsigned kHeader = 4;           // octets of an I frame before the layer-3 message

// Control octets with the P/F bit clear.
constexpr unsigned char kRR = 0x01;
constexpr unsigned char kRNR = 0x05;
constexpr unsigned char kREJ = 0x09;
constexpr unsigned char kUI = 0x03;
constexpr unsigned char kDM = 0x0F;
constexpr unsigned char kDISC = 0x43;
constexpr unsigned char kUA = 0x63;
constexpr unsigned char kSABME = 0x6F;
constexpr unsigned char kFRMR = 0x87;
constexpr unsigned char kXID = 0xAF;
constexpr unsigned char kPF = 0x10;  // P/F bit of a U frame

// First address octet of SAPI 0 as the network sends it.
constexpr unsigned char kNetworkCommand = 0x02;   // C/R 1
constexpr unsigned char kNetworkResponse = 0x00;  // C/R 0

// TEI management: the entity octet and the message types after it.
constexpr unsigned char kManagementEntity = 0x0F;
enum TeiMessage : unsigned char {
    identity_request = 1,
    identity_assigned = 2,
    identity_denied = 3,
    identity_check_request = 4,
    identity_check_response = 5,
    identity_remove = 6,
    identity_verify = 7,
};

}  // namespace ISDN::Q921
