// The DSP detector service against the simulated /dev/dsp: configure records by
// driver version, feature switching with shared ids, event routing and the
// clean-up before a channel goes.
#include "hardware/dsproc_receiver.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <bit>
#include <cerrno>
#include <vector>

#include "config/trace_ctl.h"
#include "hardware/sim/board.h"
#include "hardware/sim/dsp_device.h"
#include "tests/hardware/detector_loop.h"

namespace {

namespace Dsproc = Hardware::Dsproc;
using Sim::DspDevice;
using Sim::Request;
using Bytes = std::vector<unsigned char>;
using Lines = std::vector<std::string>;
using Words = std::vector<std::int32_t>;

class Receiver : public Hardware::DSProcReceiver {
public:
    explicit Receiver(std::uint32_t ts) : ts_(ts) {}
    void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override { seen.push_back("vad " + Pair(e.rx, e.tx)); }
    void dsproc_bss_event(const ::dsproc_bss_event* e) override { seen.push_back("bss " + std::to_string(e->score)); }
    void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override { seen.push_back("sd " + std::to_string(e.rx)); }
    void dsproc_tone_flt_event(const dsproc_tone_event* e) override {
        seen.push_back("tone " + Pair(static_cast<int>(e->freq), static_cast<int>(e->presence)));
    }
    void dsproc_flags_event(const ::dsproc_flags_event* e) override {
        seen.push_back("flags " + Pair(static_cast<int>(e->flags), static_cast<int>(e->mask)));
    }
    std::uint32_t dsproc_timeslot() const override { return ts_; }

    std::vector<std::string> seen;

private:
    static std::string Pair(int a, int b) { return std::to_string(a) + "," + std::to_string(b); }
    std::uint32_t ts_;
};

class DsprocTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.IsOpened());
        device.IReset();
        board.ClearRequests();
        traces.signalling.events = false;
    }
    void TearDown() override { traces.signalling.events = false; }

    std::vector<std::pair<unsigned long, Words>> Ioctls() {
        std::vector<std::pair<unsigned long, Words>> out;
        for (const auto& r : board.Requests(Request::Kind::ioctl)) out.emplace_back(r.number, r.InWords());
        board.ClearRequests();
        return out;
    }
    Bytes Config(std::uint32_t ts, std::uint32_t kind) {
        auto params = device.config(ts, kind);
        return params ? Bytes(params->begin(), params->end()) : Bytes{};
    }

    Sim::Board& board = Sim::board();
    DspDevice& device = board.device<DspDevice>("/dev/dsp");
    Hardware::DSProcReceiverService& service = Hardware::DSProcReceiverService::instance();
    DetectorLoop loop;
    CapturedLines log{std::clog};
    CapturedLines err{std::cerr};
};

LGCP::VADParams V2(int voice, int silence, int level) {
    LGCP::VADParams p;
    TERM::VADParamsV2& v2 = p.select_v2();
    v2.set_voice_th_msec(voice);
    v2.set_silence_th_msec(silence);
    v2.set_e_th_dB(level);
    return p;
}

TEST_F(DsprocTest, VadConfigurationFollowsTheDriverVersion) {
    Receiver r(40);
    EXPECT_TRUE(r.configureVAD(V2(0x0102, 600, -3)));
    EXPECT_EQ(Config(40, Dsproc::VAD), (Bytes{0x01, 0x02, 0x02, 0x58, 0xFD, 0, 0, 0, 0, 0, 0, 0}));
    auto requests = Ioctls();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].first, 0x40046404u);  // the version, asked every time
    EXPECT_EQ(requests[1].first, 0x40146401u);
    EXPECT_EQ(requests[1].second[0], 40);
    EXPECT_EQ(requests[1].second[1], 1);
    EXPECT_EQ(log.Take(), Lines{"DSPROC_CONFIGURE VAD ts=40"});

    // Version 2 wants the v2 thresholds: v1 configures nothing.
    LGCP::VADParams v1;
    v1.select_v1();
    EXPECT_FALSE(r.configureVAD(v1));
    EXPECT_EQ(Ioctls().size(), 1u);
    EXPECT_EQ(err.Take(), Lines{"DSPROC_CONFIGURE VAD: params not specified for v2:  timeslot=40"});

    // Any other answer, a failure too, gives the fixed words whatever was asked.
    for (int version : {1, 3, -EIO}) {
        device.SetVersion(version);
        EXPECT_TRUE(r.configureVAD(V2(1, 2, 3)));
        EXPECT_TRUE(r.configureVAD(v1));
        EXPECT_EQ(Config(40, Dsproc::VAD), (Bytes{0, 0, 0, 3, 0, 0, 0, 127, 0, 0, 0, 0}));
    }

    board.FailRequest("/dev/dsp", Dsproc::CONFIGURE, EIO);
    EXPECT_FALSE(r.configureVAD(v1));
    EXPECT_EQ(err.Take(), Lines{"DSPROC_CONFIGURE VAD fail: timeslot=40 errno=\"Input/output error\""});
}

TEST_F(DsprocTest, OtherConfigureRecordsAndLines) {
    Receiver r(41);
    EXPECT_TRUE(r.configureSD());
    r.configureDelays(0x11223344, 5);
    r.configureRxGain(-6);
    r.configureToneFilter(2100, 1, 450, -43);
    EXPECT_EQ(Config(41, Dsproc::SD), Bytes(12, 0));
    EXPECT_EQ(Config(41, Dsproc::DELAYS), (Bytes{0x11, 0x22, 0x33, 0x44, 0, 0, 0, 5, 0, 0, 0, 0}));
    EXPECT_EQ(Config(41, Dsproc::RX_GAIN), (Bytes{250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Config(41, Dsproc::TONE_FILTER), (Bytes{0x08, 0x34, 1, 0, 0x01, 0xC2, 0xD5, 0, 0, 0, 0, 0}));
    EXPECT_EQ(log.Take(), (Lines{"DSPROC_CONFIGURE SD ts=41", "DSPROC_CONFIGURE DELAYS ts=41 rx=287454020 tx=5",
                                 "DSPROC_CONFIGURE RX GAIN ts=41 gain_dB=250",
                                 "DSPROC_CONFIGURE TONE FILTER ts=41 freq=2100, en=1, dur_th_msec=450, det_lvl_dB=-43"}));
    board.FailRequest("/dev/dsp", Dsproc::CONFIGURE, EIO, 3);
    r.configureRxGain(1);
    r.configureDelays(1, 0);
    EXPECT_FALSE(r.configureSD());
    EXPECT_EQ(err.Take(), (Lines{"DSPROC_CONFIGURE Rx Gain fail: timeslot=41 errno=\"Input/output error\"",
                                 "DSPROC_CONFIGURE DELAYS fail: timeslot=41 errno=\"Input/output error\"",
                                 "DSPROC_CONFIGURE SD fail: timeslot=41 errno=\"Input/output error\""}));
}

TEST_F(DsprocTest, FeaturesSwitchOncePerChangeWithSharedIds) {
    Receiver a(50), b(51);
    service.SetLastId(4294967294u);
    // Unset VAD and SD always send; BSS and NG start off.
    EXPECT_TRUE(a.disableVAD());
    EXPECT_TRUE(a.disableSD());
    EXPECT_TRUE(a.disableBSS());
    EXPECT_TRUE(a.disableNG());
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Words>>{{0x400C6403, {50, 0, 1}},
                                                                      {0x400C6403, {50, 0, 2}}}));
    EXPECT_TRUE(a.enableVAD(true));
    EXPECT_TRUE(a.enableVAD(true));
    EXPECT_TRUE(b.enableSD(true));
    EXPECT_TRUE(b.enableBSS(true));
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Words>>{{0x400C6402, {50, -1, 1}},
                                                                      {0x400C6402, {51, 1, 2}},
                                                                      {0x400C6402, {51, 2, 16}}}));
    EXPECT_EQ(err.Take(), (Lines{"DSPROC_DISABLE VAD done: timeslot=50", "DSPROC_DISABLE SD done: timeslot=50",
                                 "DSPROC_ENABLE VAD done: timeslot=50 id=4294967295",
                                 "DSPROC_ENABLE SD done: timeslot=51 id=1", "DSPROC_ENABLE BSS done: timeslot=51 id=2"}));

    // A failed enable uses its id up and leaves the state.
    board.FailRequest("/dev/dsp", Dsproc::ENABLE, EBUSY);
    EXPECT_FALSE(a.enableNG(true));
    EXPECT_EQ(a.ng(), 0);
    EXPECT_TRUE(a.enableNG(true));
    EXPECT_EQ(device.feature(50, Dsproc::NG).id, 4u);
    EXPECT_EQ(err.Take(), (Lines{"DSPROC_ENABLE NG fail: timeslot=50 id=3 errno=\"Device or resource busy\"",
                                 "DSPROC_ENABLE NG done: timeslot=50 id=4"}));

    // Mute: one id for the directions asked for, a disable of both.
    EXPECT_TRUE(a.enableMute(true, false));
    EXPECT_TRUE(a.enableMute(true, false));
    EXPECT_TRUE(a.disableMute());
    EXPECT_TRUE(a.disableMute());
    Ioctls();
    EXPECT_TRUE(a.enableMute(true, true));
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Words>>{{0x400C6402, {50, 6, 12}}}));
    EXPECT_EQ(err.Take(), (Lines{"DSPROC_ENABLE MUTE done: timeslot=50 id=5", "DSPROC_DISABLE MUTE done: timeslot=50",
                                 "DSPROC_ENABLE MUTE done: timeslot=50 id=6"}));
}

TEST_F(DsprocTest, EventsPassTheStateAndIdTestsOfTheirFeature) {
    Receiver r(60), shadow(60), none(61);
    ASSERT_TRUE(r.enableVAD(true));
    std::uint32_t old = r.vad_id();
    ASSERT_TRUE(r.disableVAD());
    device.Inject(60, Dsproc::VAD, 3, 1, 0);  // VAD off
    ASSERT_TRUE(r.enableVAD(true));
    ASSERT_TRUE(r.enableSD(true));
    device.InjectWithId(60, old, Dsproc::VAD, 3, 1, 1);  // stale id
    device.Inject(60, Dsproc::VAD, 3, 1, static_cast<std::uint32_t>(-1));
    device.Inject(60, Dsproc::VAD, 2, 7, 0);
    device.Inject(60, Dsproc::VAD, 0, 7, 7);
    device.Inject(60, Dsproc::SD, 5);
    device.Inject(60, Dsproc::BSS, std::bit_cast<std::uint32_t>(0.5f));  // BSS off
    device.Inject(60, Dsproc::FLAGS, 0x5, 0x7);
    device.Inject(60, Dsproc::TONE_FILTER, 2100, 1);
    device.Inject(60, 1024, 1);    // unknown type
    device.Inject(62, Dsproc::FLAGS, 1, 1);  // no receiver
    err.Take();
    loop.Pass();
    EXPECT_EQ(r.seen, (std::vector<std::string>{"vad 1,-1", "vad -1,0", "vad -1,-1", "sd 5", "flags 5,7", "tone 2100,1"}));
    EXPECT_TRUE(shadow.seen.empty());
    EXPECT_TRUE(none.seen.empty());
    EXPECT_TRUE(log.Take().empty()) << "dropped quietly without the trace switch";
    EXPECT_TRUE(err.Take().empty());

    // BSS is not matched by id; with the switch on, every drop is traced.
    ASSERT_TRUE(r.enableBSS(true));
    err.Take();
    r.seen.clear();
    traces.signalling.events = true;
    device.InjectWithId(60, 999, Dsproc::BSS, std::bit_cast<std::uint32_t>(0.25f));
    device.InjectWithId(60, old, Dsproc::SD, 1);
    device.InjectWithId(60, 0, Dsproc::FLAGS, 0xAB, 0x1F);
    device.Inject(62, Dsproc::SD, 1);
    loop.Pass();
    EXPECT_EQ(r.seen, (std::vector<std::string>{"bss 0.250000", "flags 171,31"}));
    std::string sd = std::to_string(r.vad_id() + 1);
    EXPECT_EQ(log.Take(), (Lines{"dsproc event:  timeslot=60 id=999 type=16",
                                 "dsproc bss event:  score=0.25",
                                 "dsproc event:  timeslot=60 id=" + std::to_string(old) + " type=2",
                                 "dsproc sd event:  sd_rx=1",
                                 "ignore spurious dsproc sd event:  timeslot=60 id=" + std::to_string(old) +
                                     " type=2 rid=" + sd,
                                 "dsproc event:  timeslot=60 id=0 type=512",
                                 "dsproc flags event:  flags=ab, mask=1f",
                                 "dsproc event:  timeslot=62 id=0 type=2",
                                 "dsproc sd event:  sd_rx=1"}));
    EXPECT_EQ(err.Take(), Lines{"receive dsproc event from unknown timeslot 62"});

    ASSERT_TRUE(r.disableSD());
    ASSERT_TRUE(r.disableBSS());
    err.Take();
    device.Inject(60, Dsproc::SD, 1);
    device.Inject(60, Dsproc::BSS, 0);
    loop.Pass();
    EXPECT_TRUE(r.seen.size() == 2u);
    EXPECT_EQ(log.Take(), (Lines{"dsproc event:  timeslot=60 id=" + sd + " type=2", "dsproc sd event:  sd_rx=1",
                                 "ignore spurious dsproc sd event (dsproc disabled):  timeslot=60 id=" + sd + " type=2",
                                 "dsproc event:  timeslot=60 id=" + std::to_string(r.vad_id() + 2) + " type=16",
                                 "dsproc bss event:  score=0",
                                 "ignore spurious dsproc bss event (dsproc disabled):  timeslot=60 id=" +
                                     std::to_string(r.vad_id() + 2) + " type=16"}));
}

TEST_F(DsprocTest, AShortRecordClosesTheDeviceUntilTheNextRequest) {
    Receiver r(63);
    KeepAwake awake;  // the loop has nothing else once the device is closed
    device.PostRaw(Bytes(23, 0));
    device.Inject(63, Dsproc::FLAGS, 1, 1);
    loop.Pass();
    loop.Pass();
    EXPECT_EQ(err.Take(),
              (Lines{"short read from dsproc: 23 bytes", "dsproc device closed, opened again by the next request"}));
    EXPECT_TRUE(r.seen.empty());
    ASSERT_TRUE(r.enableVAD(true));
    EXPECT_TRUE(service.IsOpened());
}

TEST_F(DsprocTest, CleanBeforeDestroyLeavesNothingOnItsTimeSlot) {
    Receiver r(70);
    ASSERT_TRUE(r.enableVAD(true));
    ASSERT_TRUE(r.enableSD(true));
    ASSERT_TRUE(r.enableBSS(true));
    ASSERT_TRUE(r.enableNG(true));
    ASSERT_TRUE(r.enableMute(false, true));
    r.configureDelays(0, 30);
    r.configureRxGain(3);
    r.configureToneFilter(1000, 1, 20, -30);
    ASSERT_TRUE(device.AnyOn(70));
    Ioctls();
    r.CleanBeforeDestroy();
    EXPECT_FALSE(device.AnyOn(70));
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Words>>{
                            {0x400C6403, {70, 0, 1}},
                            {0x400C6403, {70, 0, 2}},
                            {0x400C6403, {70, 0, 16}},
                            {0x400C6403, {70, 0, 128}},
                            {0x400C6403, {70, 0, 12}},
                            {0x40146401, {70, 32, 0, 0, 0}},
                            {0x40146401, {70, 64, 0, 0, 0}},
                            {0x400C6403, {70, 0, 256}},
                        }));
    EXPECT_EQ(log.Take().back(), "DISABLE ALL TONE done:  ts=70");

    // One that switched nothing sends only the tone-filter disable.
    Receiver idle(71);
    idle.CleanBeforeDestroy();
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Words>>{{0x400C6403, {71, 0, 256}}}));
}

TEST_F(DsprocTest, AMissingOrClosedDeviceIsOpenedAgainByTheNextRequest) {
    board.SetOpenError("/dev/dsp", EACCES);
    Hardware::DSProcReceiverService own;
    Receiver r(80);
    EXPECT_FALSE(own.configureSD(80));
    own.disableToneAll(r);
    EXPECT_FALSE(own.enableVAD(r, true));
    EXPECT_EQ(err.Take(), (Lines{"open dsproc fail, VAD proceeding disabled: Permission denied",
                                 "open dsproc fail, VAD proceeding disabled: Permission denied",
                                 "configure SD fail: (interface not opened) timeslot=80",
                                 "open dsproc fail, VAD proceeding disabled: Permission denied",
                                 "Disable All Tone fail: (interface not opened) timeslot=80",
                                 "open dsproc fail, VAD proceeding disabled: Permission denied",
                                 "DSPROC_ENABLE VAD fail: timeslot=80 id=1 errno=\"Bad file descriptor\""}));
    board.SetOpenError("/dev/dsp", 0);
    own.configureDelays(80, 1, 2);
    EXPECT_TRUE(own.IsOpened());
    own.OnEvent(-1, POLLHUP);
    EXPECT_FALSE(own.IsOpened());
    EXPECT_TRUE(own.enableVAD(r, true)) << "a closed device is opened again by any request";
}

}  // namespace
