#include "hardware/device_names.h"

#include <array>

#include "hardware/dsproc_records.h"
#include "hardware/tonec_requests.h"

const char* GetVoiceDevName() {
    return "/dev/voice";
}
const char* GetMixerDevName() {
    return "/dev/mixer";
}
const char* GetDTMFDevName() {
    return Hardware::Tonec::kPath;
}
const char* GetDSPDevName() {
    return Hardware::Dsproc::kPath;
}
const char* GetRtpDevName() {
    return "/dev/rtp";
}
const char* GetModemDevName() {
    return "/dev/mctl";
}
const char* GetMaintenance() {
    return "/dev/maintenance";
}
const char* GetRtpExtDevName() {
    return "/dev/rtp_ext";
}
const char* GetSpiTdmDevName() {
    return "/dev/spi_tdm";
}

const char* GetCodecAsStr(int codec) {
    static constexpr std::array<const char*, 9> kNames = {"unknown",  "g711",     "g723",     "g729", "tonec",
                                                          "g711-rtp", "g729-rtp", "g723-rtp", "conf"};
    if (codec < 0 || codec >= static_cast<int>(kNames.size())) return "invalid";
    return kNames[codec];
}
