#include "hardware/device_names.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "hardware/rtp_records.h"

namespace {

TEST(DeviceNamesTest, PathsAreFixedAndStable) {
    EXPECT_STREQ(GetVoiceDevName(), "/dev/voice");
    EXPECT_STREQ(GetMixerDevName(), "/dev/mixer");
    EXPECT_STREQ(GetDTMFDevName(), "/dev/dtmf");
    EXPECT_STREQ(GetDSPDevName(), "/dev/dsp");
    EXPECT_STREQ(GetRtpDevName(), "/dev/rtp");
    EXPECT_STREQ(GetModemDevName(), "/dev/mctl");
    EXPECT_STREQ(GetMaintenance(), "/dev/maintenance");
    EXPECT_STREQ(GetRtpExtDevName(), "/dev/rtp_ext");
    EXPECT_STREQ(GetSpiTdmDevName(), "/dev/spi_tdm");
    for (const char* (*name)() :
         {GetVoiceDevName, GetMixerDevName, GetDTMFDevName, GetDSPDevName, GetRtpDevName, GetModemDevName,
          GetMaintenance, GetRtpExtDevName, GetSpiTdmDevName})
        EXPECT_EQ(name(), name());
}

TEST(DeviceNamesTest, CodecNamesAndTheirBounds) {
    EXPECT_STREQ(GetCodecAsStr(-1), "invalid");
    EXPECT_STREQ(GetCodecAsStr(0), "unknown");
    EXPECT_STREQ(GetCodecAsStr(5), "g711-rtp");
    EXPECT_STREQ(GetCodecAsStr(8), "conf");
    EXPECT_STREQ(GetCodecAsStr(9), "invalid");
}

TEST(RtpRecordsTest, Printers) {
    std::ostringstream line;
    line << rtp_channel_info{8200, 1, 17};
    EXPECT_EQ(line.str(), "rtp_channel_info { tdm=8200 dev_no=1 chn=17 }");

    std::ostringstream block;
    block << rtp_attach_session_params{12, 345};
    EXPECT_EQ(block.str(), "  rtp_attach_session_params\n  {\n   fd_rtp = 12\n   pid_rtp = 345\n  }\n");
    std::ostringstream ext;
    ext << rtp_ext_attach_session_params{-1, 0};
    EXPECT_EQ(ext.str(), "  rtp_ext_attach_session_params\n  {\n   fd_rtp = -1\n   pid_rtp = 0\n  }\n");
}

}  // namespace
