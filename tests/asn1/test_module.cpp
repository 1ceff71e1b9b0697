#include "tests/asn1/test_module.h"

namespace TestModule {

using ASN1::create_as;

namespace {
constexpr const char* MccType_enum_names__[] = {"data", "bri", "transparent"};
constexpr const char* StandbyState_enum_names__[] = {"initial", "learn",     "listen",
                                                     "speak=4", "standby=8", "active=16"};

constexpr const void* DualTone_fieldInfos[] = {&U16::theInfo, &U16::theInfo};
constexpr int DualTone_fieldIds[] = {-1, 0};
constexpr const char* DualTone_fieldNames[] = {"freq1", "freq2"};

constexpr const void* Params_fieldInfos[] = {
    &ASN1::IA5String::theInfo, &DualTones::theInfo, &S8::theInfo,
    &MccType::theInfo,         &U8::theInfo,        &StandbyState::theInfo};
constexpr int Params_fieldIds[] = {0, -1, 1, -1, 0, 0};
constexpr const char* Params_fieldNames[] = {"name", "tones", "level", "mode", "gain", "standby"};

constexpr const void* Response_selectionInfos[] = {&ASN1::Null::theInfo, &MccType::theInfo,
                                                   &ASN1::IA5String::theInfo, &U8::theInfo};
constexpr const char* Response_selectionNames[] = {"success", "error", "info", "count"};

constexpr const void* Command_selectionInfos[] = {&Params::theInfo, &ASN1::Null::theInfo,
                                                  &ASN1::Null::theInfo};
constexpr const char* Command_selectionNames[] = {"create", "destroy", "ping"};

constexpr const void* PDU_selectionInfos[] = {&Command::theInfo, &Response::theInfo};
constexpr const char* PDU_selectionNames[] = {"command", "response"};

constexpr const void* Message_fieldInfos[] = {&ASN1::INTEGER::theInfo, &SlotNumber::theInfo, &PDU::theInfo};
constexpr int Message_fieldIds[] = {0, 1, -1};
constexpr const char* Message_fieldNames[] = {"seq", "slot", "pdu"};
}  // namespace

constexpr ASN1::ENUMERATED::InfoType MccType::theInfo =
    ASN1::ENUMERATED::makeInfo(&create_as<MccType>, false, MccType_enum_names__);
constexpr ASN1::ENUMERATED::InfoType StandbyState::theInfo =
    ASN1::ENUMERATED::makeInfo(&create_as<StandbyState>, true, StandbyState_enum_names__);

constexpr ASN1::SEQUENCE::InfoType DualTone::theInfo{
    {&create_as<DualTone>, 16}, true, DualTone_fieldInfos, DualTone_fieldIds, 2, 0, 1, nullptr, nullptr,
    DualTone_fieldNames};
constexpr ASN1::SEQUENCE::InfoType Params::theInfo{
    {&create_as<Params>, 16}, true, Params_fieldInfos, Params_fieldIds, 4, 2, 2, nullptr, nullptr,
    Params_fieldNames};
constexpr ASN1::CHOICE::InfoType Response::theInfo{
    {&create_as<Response>, 0}, true, Response_selectionInfos, 3, 4, nullptr, Response_selectionNames};
constexpr ASN1::CHOICE::InfoType Command::theInfo{
    {&create_as<Command>, 0}, false, Command_selectionInfos, 3, 3, nullptr, Command_selectionNames};
constexpr ASN1::CHOICE::InfoType PDU::theInfo{{&create_as<PDU>, 0}, false, PDU_selectionInfos, 2, 2, nullptr,
                                              PDU_selectionNames};
constexpr ASN1::SEQUENCE::InfoType Message::theInfo{
    {&create_as<Message>, 16}, false, Message_fieldInfos, Message_fieldIds, 3, 0, 2, nullptr, nullptr,
    Message_fieldNames};

}  // namespace TestModule
