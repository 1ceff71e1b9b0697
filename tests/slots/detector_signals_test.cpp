// The signals a channel sends for its detector events, as encoded for the
// controller: a slot kind that derives from both detector receivers, as the RTP
// and mixer channels do, fed through the simulated /dev/dtmf and /dev/dsp.
#include <gtest/gtest.h>

#include <bit>
#include <iterator>
#include <memory>
#include <vector>

#include "asn1/coder_env.h"
#include "hardware/dsproc_receiver.h"
#include "hardware/sim/board.h"
#include "hardware/sim/dsp_device.h"
#include "hardware/sim/dtmf_device.h"
#include "hardware/tonec_receiver.h"
#include "slots/slot.h"
#include "tests/hardware/detector_loop.h"

namespace {

namespace Dsproc = Hardware::Dsproc;
using Bytes = std::vector<unsigned char>;

class DetectorSlot : public Slot, public Hardware::TonecReceiver, public Hardware::DSProcReceiver {
public:
    explicit DetectorSlot(std::uint32_t ts) : Slot(nullptr), ts_(ts) {}
    ~DetectorSlot() override {
        TonecReceiver::CleanBeforeDestroy();
        DSProcReceiver::CleanBeforeDestroy();
    }
    const char* GetName() const override { return "detector"; }

    void tonec_event(const Params& p) override { processTonecEvent(static_cast<int>(p.code), p.timestamp); }
    std::uint32_t tonec_timeslot() const override { return ts_; }
    void tone_gen_complete() override { processToneGenEvent(); }
    void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override { processVADEvent(e); }
    void dsproc_bss_event(const ::dsproc_bss_event* e) override { processBSSEvent(e); }
    void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override { processSDEvent(e); }
    void dsproc_tone_flt_event(const dsproc_tone_event* e) override { processToneFltEvent(e); }
    void dsproc_flags_event(const ::dsproc_flags_event* e) override { processFlagsEvent(e); }
    std::uint32_t dsproc_timeslot() const override { return ts_; }

private:
    std::uint32_t ts_;
};

// Keeps each signal as the aligned PER bytes of the LGCP::Signal.
class Host : public SlotHost {
public:
    void SendSlotSignal(unsigned slot, const LGCP::Signal& signal) override {
        ASN1::CoderEnv env;
        env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
        std::vector<char> out;
        EXPECT_TRUE(ASN1::encode(signal, env, std::back_inserter(out)));
        EXPECT_EQ(slot, 45u);
        sent.emplace_back(out.begin(), out.end());
    }
    void OnSlotReleased(Slot*) override {}
    void RemoveSlot(Slot*) override {}
    std::vector<Bytes> Take() {
        std::vector<Bytes> out;
        out.swap(sent);
        return out;
    }
    std::vector<Bytes> sent;
};

class DetectorSignalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Opened as a channel's first request would open them.
        ASSERT_TRUE(Hardware::TonecReceiverService::instance().IsOpened());
        ASSERT_TRUE(Hardware::DSProcReceiverService::instance().IsOpened());
        dtmf.IReset();
        dsp.IReset();
        slot = std::make_unique<DetectorSlot>(300);
        slot->Install(&host, 45);
    }

    Sim::Board& board = Sim::board();
    Sim::DtmfDevice& dtmf = board.device<Sim::DtmfDevice>("/dev/dtmf");
    Sim::DspDevice& dsp = board.device<Sim::DspDevice>("/dev/dsp");
    // The slot goes first, its clean-up lines still captured.
    CapturedLines log{std::clog};
    CapturedLines err{std::cerr};
    DetectorLoop loop;
    Host host;
    std::unique_ptr<DetectorSlot> slot;
};

TEST_F(DetectorSignalsTest, ToneCodesBecomeTonecSignals) {
    ASSERT_TRUE(slot->enableDTMF(true));
    err.Take();
    for (std::uint32_t code : {17u, 18u, 0u, 127u, 0x0100u, 0x1400u, 0x1500u, 0x1600u, 128u, 0xFFFFFFFFu})
        dtmf.Inject(300, code, code == 17 ? 1234 : 5);
    loop.Pass();
    EXPECT_EQ(host.Take(), (std::vector<Bytes>{
                               {0x04, 0x02, 0x04, 0xD2, 0x20},  // ced, timestamp 1234
                               {0x04, 0x01, 0x05, 0x30},        // cng
                               {0x04, 0x01, 0x05, 0x00, 0x00},  // dtmf 0
                               {0x04, 0x01, 0x05, 0x0F, 0xE0},  // dtmf 127
                               {0x04, 0x01, 0x05, 0x40, 0x00},  // iva code 1
                               {0x04, 0x01, 0x05, 0x44, 0xC0},  // iva code 20
                               {0x04, 0x01, 0x05, 0x48},        // iva ringoff
                           }));
    EXPECT_EQ(err.Take(), std::vector<std::string>(3, "bad DTMF code, ignored."));
}

TEST_F(DetectorSignalsTest, DigitsDoneAndToneFilterPresence) {
    slot->translateDTMF(LGCP::TranslateDtmfParams{});
    dsp.Inject(300, Dsproc::TONE_FILTER, 1000, 1);
    dsp.Inject(300, Dsproc::TONE_FILTER, 1000, 0);
    loop.Pass();
    EXPECT_EQ(host.Take(), (std::vector<Bytes>{
                               {0x04, 0x01, 0x00, 0x80, 0x01, 0x00},              // dtmfDone
                               {0x04, 0x01, 0x00, 0x50, 0x02, 0x03, 0xE8, 0x80},  // present
                               {0x04, 0x01, 0x00, 0x50, 0x02, 0x03, 0xE8, 0x00},  // gone
                           }));
}

TEST_F(DetectorSignalsTest, VadSdBssAndFlagsPayloads) {
    ASSERT_TRUE(slot->enableVAD(true));
    ASSERT_TRUE(slot->enableSD(true));
    ASSERT_TRUE(slot->enableBSS(true));
    err.Take();
    dsp.Inject(300, Dsproc::VAD, 1, 1, 0);  // rx only
    dsp.Inject(300, Dsproc::VAD, 3, 1, 0);  // rx voice, tx silence
    dsp.Inject(300, Dsproc::VAD, 0, 1, 1);  // neither direction
    dsp.Inject(300, Dsproc::SD, 1);
    dsp.Inject(300, Dsproc::SD, 0);
    dsp.Inject(300, Dsproc::BSS, std::bit_cast<std::uint32_t>(0.5f));
    dsp.Inject(300, Dsproc::FLAGS, 1, 1);  // rx voice only
    dsp.Inject(300, Dsproc::FLAGS, 4, 4);  // SELCAL in progress
    dsp.Inject(300, Dsproc::FLAGS, 2, 7);  // tx voice, SELCAL over
    dsp.Inject(300, Dsproc::FLAGS, 7, 0);  // nothing reported
    loop.Pass();
    EXPECT_EQ(host.Take(), (std::vector<Bytes>{
                               {0x42, 0x80},
                               {0x43, 0x80},
                               {0x4F},
                               {0x4E},
                               {0x50, 0x08, '0', '.', '5', '0', '0', '0', '0', '0'},
                               {0x42, 0x80},
                               {0x59},
                               {0x43, 0x40},
                               {0x58},
                           }));
    EXPECT_EQ(err.Take(), std::vector<std::string>{"bad VAD event, ignored."});

    // A score is cut at 30 characters.
    dsp.Inject(300, Dsproc::BSS, std::bit_cast<std::uint32_t>(1e30f));
    loop.Pass();
    auto sent = host.Take();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 32u);
    EXPECT_EQ(sent[0][1], 30);
    EXPECT_EQ(std::string(sent[0].begin() + 2, sent[0].begin() + 12), "1000000015");
}

TEST_F(DetectorSignalsTest, PdReportAndStreamChanges) {
    slot->processRtpEvent(3, 500);
    slot->OnChangeInputStream(Slot::Stream::active, 77);
    slot->OnChangeOutputStream(Slot::Stream::active, 1);
    slot->OnChangeOutputStream(Slot::Stream::inactive, 0);
    EXPECT_EQ(host.Take(), (std::vector<Bytes>{
                               {0x54, 0x01, 0x03, 0x02, 0x01, 0xF4},
                               {0x26, 0x01, 0x4D},
                               {0x2A, 0x01, 0x01},
                               {0x28},
                           }));
}

TEST_F(DetectorSignalsTest, DestroyedChannelLeavesNoDetectorOn) {
    ASSERT_TRUE(slot->enableDTMF(true));
    ASSERT_TRUE(slot->enableIVA(true));
    ASSERT_TRUE(slot->enableDTMFReject(true));
    ASSERT_TRUE(slot->enableVAD(true));
    ASSERT_TRUE(slot->enableSD(true));
    ASSERT_TRUE(slot->enableMute(true, false));
    slot->configureToneFilter(2100, 1, 100, -40);
    slot.reset();
    EXPECT_FALSE(dtmf.DetectorOn(300));
    EXPECT_FALSE(dsp.AnyOn(300));
    // Its events find no receiver any more.
    dtmf.Inject(300, 1, 1, 1);
    loop.Pass();
    EXPECT_EQ(err.Take().back(), "receive tonec event from unknown timeslot 300");
}

}  // namespace
