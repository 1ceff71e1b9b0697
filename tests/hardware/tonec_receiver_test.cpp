// The tone detector service against the simulated /dev/dtmf: request bytes,
// detector ids, event routing, digit playback and ring-back timing.
#include "hardware/tonec_receiver.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "hardware/dtmf_tones.h"
#include "hardware/sim/board.h"
#include "hardware/sim/dtmf_device.h"
#include "hardware/tonec_requests.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/multiplexer_test.h"
#include "tests/hardware/detector_loop.h"

namespace {

namespace Tonec = Hardware::Tonec;
using Sim::DtmfDevice;
using Sim::Request;
using Bytes = std::vector<unsigned char>;
using Tone = DtmfDevice::Tone;
using Lines = std::vector<std::string>;

class Receiver : public Hardware::TonecReceiver {
public:
    explicit Receiver(std::uint32_t ts) : ts_(ts) {}
    void tonec_event(const Params& p) override { events.push_back({p.code, p.timestamp}); }
    std::uint32_t tonec_timeslot() const override { return ts_; }
    void tone_gen_complete() override { completions.push_back(Mux::milliseconds()); }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
    std::vector<std::uint32_t> completions;

private:
    std::uint32_t ts_;
};

class TonecTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.IsOpened());
        device.IReset();
        board.ClearRequests();
    }

    // The ioctls since the last call: number and record bytes.
    std::vector<std::pair<unsigned long, Bytes>> Ioctls() {
        std::vector<std::pair<unsigned long, Bytes>> out;
        for (const auto& r : board.Requests(Request::Kind::ioctl)) out.emplace_back(r.number, r.in);
        board.ClearRequests();
        return out;
    }
    // Generator changes since the last call, as (ms after `start`, tone).
    std::vector<std::pair<std::uint32_t, Tone>> Tones(std::uint32_t start) {
        std::vector<std::pair<std::uint32_t, Tone>> out;
        for (const auto& c : device.tones()) out.emplace_back(c.at - start, c.tone);
        device.ClearHistory();
        return out;
    }

    Sim::Board& board = Sim::board();
    DtmfDevice& device = board.device<DtmfDevice>("/dev/dtmf");
    Hardware::TonecReceiverService& service = Hardware::TonecReceiverService::instance();
    DetectorLoop loop;
    CapturedLines log{std::clog};
    CapturedLines err{std::cerr};
};

Bytes Word(std::uint32_t ts) {
    return {static_cast<unsigned char>(ts >> 24), static_cast<unsigned char>(ts >> 16),
            static_cast<unsigned char>(ts >> 8), static_cast<unsigned char>(ts)};
}

TEST_F(TonecTest, RequestRecordsAndTheirLines) {
    Receiver r(0x0105);
    LGCP::DTMFParams dtmf;
    dtmf.set_threshold().set_twist(1);
    dtmf.set_threshold().set_ratio(0x0203);
    dtmf.set_threshold().set_noise(65535);
    dtmf.set_level().set_silence(4);
    EXPECT_TRUE(r.configureDTMF(dtmf));
    EXPECT_TRUE(r.echoCancel(true));
    EXPECT_TRUE(r.echoCancel(false));
    EXPECT_TRUE(r.enableDTMFReject(true));
    LGCP::IVAParams iva;
    iva.set_det_lvl_dB(-20);
    EXPECT_TRUE(r.configureIVA(iva));
    EXPECT_TRUE(r.enableToneGenerator(697, 1209, 0x1234, 16384));
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Bytes>>{
                            {0x40144202, {0, 0, 1, 5, 0, 0, 0, 1, 0, 0, 2, 3, 0, 0, 0, 4, 0, 0, 0xFF, 0xFF}},
                            {0x40044206, Word(0x0105)},
                            {0x40044207, Word(0x0105)},
                            {0x40044209, Word(0x0105)},
                            {0x4008420D, {0, 0, 1, 5, 0xFF, 0xFF, 0xFF, 0xEC}},
                            {0x400C4205, {0, 0, 1, 5, 0x02, 0xB9, 0x04, 0xB9, 0x12, 0x34, 0x40, 0x00}},
                        }));
    EXPECT_EQ(log.Take(),
              (Lines{"DTMF_CONFIGURE_DETECTOR ts=261 twist=1 ratio=515 noise=65535 silence=4",
                     "CHANNEL_LMS_ON[261] ok", "CHANNEL_LMS_OFF[261] ok", "DTMF_REJECTION_ENABLE[261] ok",
                     "IVA_CONFIGURE_DETECTOR ts=261 det_lvl_dB=-20"}));

    // SELCAL: fewer than four signs send nothing; more send the first four.
    TERM::SelcalCommand selcal;
    selcal.set_signs("ABC");
    r.translateSelcal(selcal);
    EXPECT_TRUE(Ioctls().empty());
    EXPECT_EQ(err.Take(), Lines{"SELCAL_DIAL fail: timeslot=261 incorect signs:ABC"});
    selcal.set_signs("PQRSTU");
    r.translateSelcal(selcal);
    selcal.set_amp(70000);  // low 16 bits: 4464
    r.translateSelcal(selcal);
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Bytes>>{
                            {0x400C420E, {0, 0, 1, 5, 0x2E, 0xE0, 'P', 'Q', 'R', 'S', 0, 0}},
                            {0x400C420E, {0, 0, 1, 5, 0x11, 0x70, 'P', 'Q', 'R', 'S', 0, 0}},
                        }));
    ASSERT_EQ(device.selcals().size(), 2u);
    EXPECT_EQ(device.selcals()[0].signs, "PQRS");

    // Failures report the request's name and the error text.
    board.FailRequest("/dev/dtmf", Tonec::CHANNEL_LMS_ON, EIO);
    board.FailRequest("/dev/dtmf", Tonec::DTMF_DIAL, EINVAL);
    board.FailRequest("/dev/dtmf", Tonec::SELCAL_DIAL, EBUSY);
    EXPECT_FALSE(r.echoCancel(true));
    EXPECT_FALSE(r.enableToneGenerator(1, 2, 3, 4));
    r.translateSelcal(selcal);
    EXPECT_EQ(err.Take(), (Lines{"CHANNEL_LMS_ON fail: timeslot=261 errno=\"Input/output error\"",
                                 "DTMF_DIAL fail: timeslot=261 errno=\"Invalid argument\"",
                                 "SELCAL_DIAL fail: timeslot=261 errno=\"Device or resource busy\""}));
}

TEST_F(TonecTest, DetectorIdsAreSharedCountedAndWrap) {
    Receiver a(1), b(2);
    service.SetLastId(100);
    EXPECT_TRUE(a.enableDTMF(true));
    EXPECT_TRUE(a.enableDTMF(true));  // already on: no request, same id
    EXPECT_TRUE(b.enableDTMF(true));
    EXPECT_EQ(a.id(), 101u);
    EXPECT_EQ(b.id(), 102u);
    EXPECT_EQ(Ioctls(),
              (std::vector<std::pair<unsigned long, Bytes>>{{0x40084203, {0, 0, 0, 1, 0, 0, 0, 101}},
                                                            {0x40084203, {0, 0, 0, 2, 0, 0, 0, 102}}}));
    EXPECT_TRUE(a.disableDTMF());
    EXPECT_TRUE(a.disableDTMF());
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Bytes>>{{0x40044204, Word(1)}}));
    EXPECT_EQ(a.id(), 101u);  // kept after the disable
    EXPECT_EQ(err.Take(), (Lines{"DTMF_ENABLE_DETECTOR done: timeslot=1 id=101",
                                 "DTMF_ENABLE_DETECTOR done: timeslot=2 id=102",
                                 "DTMF_DISABLE_DETECTOR done: timeslot=1"}));

    // A failed enable uses its id up.
    board.FailRequest("/dev/dtmf", Tonec::DTMF_ENABLE_DETECTOR, EIO);
    EXPECT_FALSE(a.enableDTMF(true));
    EXPECT_FALSE(a.isDTMFEnabled());
    EXPECT_EQ(service.lastId(), 103u);
    EXPECT_EQ(err.Take(), Lines{"DTMF_ENABLE_DETECTOR fail: timeslot=1 id=103 errno=\"Input/output error\""});
    board.FailRequest("/dev/dtmf", Tonec::DTMF_DISABLE_DETECTOR, EIO);
    EXPECT_FALSE(b.disableDTMF());
    EXPECT_TRUE(b.isDTMFEnabled());

    service.SetLastId(4294967294u);
    EXPECT_TRUE(a.enableDTMF(true));
    EXPECT_EQ(a.id(), 4294967295u);
    EXPECT_TRUE(a.disableDTMF());
    EXPECT_TRUE(a.enableDTMF(true));
    EXPECT_EQ(a.id(), 1u);
    EXPECT_EQ(device.slot(1).id, 1u);
}

TEST_F(TonecTest, IvaAndDtmfAreSwitchedApart) {
    Receiver r(9);
    ASSERT_TRUE(r.enableDTMF(true));
    EXPECT_TRUE(r.enableIVA(true));
    EXPECT_TRUE(r.enableIVA(false));
    EXPECT_TRUE(r.isDTMFEnabled());
    EXPECT_TRUE(device.slot(9).dtmf);
    Ioctls();
    device.Inject(9, 5, 77);
    loop.Pass();
    EXPECT_EQ(r.events.size(), 1u) << "DTMF still routed after IVA went off";
    EXPECT_TRUE(r.disableDTMF());
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Bytes>>{{0x40044204, Word(9)}}));
    EXPECT_FALSE(device.DetectorOn(9));

    // IVA alone keeps events flowing; with both off they are dropped.
    EXPECT_TRUE(r.enableIVA(true));
    EXPECT_TRUE(r.enabled());
    device.Inject(9, 0x0300, 78);
    loop.Pass();
    EXPECT_EQ(r.events.size(), 2u);
    EXPECT_TRUE(r.enableIVA(false));
    log.Take();
    device.Inject(9, 6, 79);
    loop.Pass();
    EXPECT_EQ(r.events.size(), 2u);
    EXPECT_EQ(log.Take(),
              (Lines{"dtmf event:  timestamp=79 timeslot=9 code=6 id=" + std::to_string(r.id()),
                     "ignore spurious dtmf event (DTMF disabled):  timestamp=79 timeslot=9 code=6 id=" +
                         std::to_string(r.id())}));
}

TEST_F(TonecTest, EventsGoToTheFirstReceiverOfTheirTimeSlotWithTheCurrentId) {
    Receiver first(4), second(4), other(5);
    ASSERT_TRUE(first.enableDTMF(true));
    ASSERT_TRUE(second.enableDTMF(true));
    std::uint32_t old = first.id();
    ASSERT_TRUE(first.disableDTMF());
    ASSERT_TRUE(first.enableDTMF(true));
    std::uint32_t id = first.id();
    log.Take();
    err.Take();

    device.Inject(4, 17, 1000, id);
    device.Inject(4, 3, 1001, old);  // stale
    device.Inject(4, 0x1500, 1002, id);
    device.Inject(6, 1, 1003, id);  // no receiver
    loop.Pass();
    EXPECT_EQ(first.events,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{17, 1000}, {0x1500, 1002}}));
    EXPECT_TRUE(second.events.empty());
    EXPECT_TRUE(other.events.empty());
    std::string ids = " id=" + std::to_string(old);
    EXPECT_EQ(log.Take().at(2), "ignore spurious dtmf event:  timestamp=1001 timeslot=4 code=3" + ids +
                                    " rid=" + std::to_string(id));
    EXPECT_EQ(err.Take(), Lines{"receive tonec event from unknown timeslot 6"});
}

TEST_F(TonecTest, ADeviceAtItsEndOrOutOfStepIsClosedInOnePassAndOpenedByTheNextRequest) {
    Receiver r(3);
    KeepAwake awake;  // the loop has nothing else once the device is closed
    ASSERT_TRUE(r.enableDTMF(true));
    board.HangUp("/dev/dtmf");
    err.Take();
    for (int i = 0; i < 3; ++i) loop.Pass();
    EXPECT_FALSE(service.IsOpened()) << "left polled, a device at its end spins the loop";
    EXPECT_EQ(err.Take(), Lines{"tonec device hung up: closed, opened again by the next request"});
    ASSERT_TRUE(r.enableDTMF(false));
    ASSERT_TRUE(service.IsOpened());

    device.PostRaw(Bytes(10, 0));
    device.Inject(3, 2, 11);
    err.Take();
    for (int i = 0; i < 3; ++i) loop.Pass();
    EXPECT_FALSE(service.IsOpened());
    EXPECT_EQ(err.Take(), (Lines{"short read from tonec: 10 bytes",
                                 "tonec device closed, opened again by the next request"}));
    EXPECT_TRUE(r.events.empty());
    ASSERT_TRUE(r.enableDTMF(true));
    EXPECT_TRUE(service.IsOpened());
}

TEST_F(TonecTest, DigitsPlayAtTheirDurationsThenCompleteOnce) {
    Receiver r(12);
    LGCP::TranslateDtmfParams digits;
    for (auto [f1, f2] : {std::pair{697, 1209}, {770, 1336}, {941, 1477}}) {
        LGCP::DualTone t;
        t.set_freq1(f1);
        t.set_freq2(f2);
        digits.set_digits().push_back(t);
    }
    std::uint32_t start = loop.now();
    r.translateDTMF(digits);
    EXPECT_TRUE(r.is_inDTMFTransmit());
    loop.RunFor(1000);
    const Tone silence{1000, 1000, 0, 0};
    EXPECT_EQ(Tones(start), (std::vector<std::pair<std::uint32_t, Tone>>{{0, {697, 1209, 16384, 16384}},
                                                                         {70, silence},
                                                                         {140, {770, 1336, 16384, 16384}},
                                                                         {210, silence},
                                                                         {280, {941, 1477, 16384, 16384}},
                                                                         {350, silence},
                                                                         {420, {}}}));
    EXPECT_EQ(r.completions, std::vector<std::uint32_t>{start + 420});
    EXPECT_FALSE(r.is_inDTMFTransmit());

    // An empty string completes at once; given durations and amplitudes are
    // used, a negative duration as 0.
    r.completions.clear();
    start = loop.now();
    r.translateDTMF(LGCP::TranslateDtmfParams{});
    EXPECT_EQ(r.completions, std::vector<std::uint32_t>{start});
    EXPECT_EQ(Tones(start), (std::vector<std::pair<std::uint32_t, Tone>>{{0, {}}}));
    digits.set_amp1(0x10002);
    digits.set_amp2(100);
    digits.set_toneDuration(40);
    digits.set_pauseDuration(-5);
    r.translateDTMF(digits);
    loop.RunFor(30);
    // A new string while one plays replaces the digits not yet played.
    LGCP::TranslateDtmfParams next = digits;
    next.set_digits().erase(next.set_digits().begin());
    next.set_digits().erase(next.set_digits().begin());
    r.translateDTMF(next);
    loop.RunFor(1000);
    EXPECT_EQ(
        Tones(start),
        (std::vector<std::pair<std::uint32_t, Tone>>{
            {0, {697, 1209, 2, 100}}, {40, silence}, {40, {941, 1477, 2, 100}}, {80, silence}, {80, {}}}));
    EXPECT_EQ(r.completions.size(), 2u);
}

TEST_F(TonecTest, RingBackCadenceUntilCancelled) {
    Receiver r(20);
    std::uint32_t start = loop.now();
    r.activateAudibleCall();
    loop.RunFor(9000);
    const Tone ring{425, 0, 2048, 2048}, silence{1000, 1000, 0, 0};
    EXPECT_EQ(Tones(start),
              (std::vector<std::pair<std::uint32_t, Tone>>{
                  {0, ring}, {1000, silence}, {4000, ring}, {5000, silence}, {8000, ring}, {9000, silence}}));
    r.cancelAudibleCall();
    loop.RunFor(20000);
    EXPECT_EQ(Tones(start), (std::vector<std::pair<std::uint32_t, Tone>>{{9000, {}}}));

    // Without force the generator is left alone while no digits play.
    Ioctls();
    EXPECT_FALSE(r.disableToneGenerator(false));
    EXPECT_TRUE(Ioctls().empty());
    EXPECT_TRUE(r.disableToneGenerator(true));
    EXPECT_EQ(Ioctls(), (std::vector<std::pair<unsigned long, Bytes>>{
                            {0x400C4205, Bytes{0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0}}}));

    // Digits started in the cadence take it over; the cadence does not resume,
    // and it cannot be started over them.
    device.ClearHistory();
    start = loop.now();
    r.activateAudibleCall();
    loop.RunFor(500);
    LGCP::TranslateDtmfParams one;
    one.set_digits().push_back(LGCP::DualTone{});
    r.translateDTMF(one);
    r.activateAudibleCall();
    r.cancelAudibleCall();  // digits playing: nothing
    loop.RunFor(10000);
    EXPECT_EQ(Tones(start), (std::vector<std::pair<std::uint32_t, Tone>>{
                                {0, ring}, {500, {0, 0, 16384, 16384}}, {570, silence}, {640, {}}}));
}

TEST_F(TonecTest, CleanBeforeDestroyLeavesNothingOnItsTimeSlot) {
    auto r = std::make_unique<Receiver>(30);
    ASSERT_TRUE(r->enableDTMF(true));
    ASSERT_TRUE(r->enableIVA(true));
    ASSERT_TRUE(r->enableDTMFReject(true));
    r->activateAudibleCall();
    ASSERT_TRUE(device.DetectorOn(30));
    r->CleanBeforeDestroy();
    r.reset();
    EXPECT_FALSE(device.DetectorOn(30));
    EXPECT_TRUE(device.slot(30).tone.off());
    loop.RunFor(5000);  // the cadence's timer went with it
    EXPECT_TRUE(device.slot(30).tone.off());

    // A receiver that switched nothing sends nothing.
    Ioctls();
    Receiver idle(31);
    idle.CleanBeforeDestroy();
    EXPECT_TRUE(Ioctls().empty());
}

TEST_F(TonecTest, AFailedOpenIsRetriedByConfiguring) {
    board.SetOpenError("/dev/dtmf", ENOENT);
    Hardware::TonecReceiverService own;
    EXPECT_EQ(err.Take(), Lines{"open tonec fail, DTMF proceeding disabled: No such file or directory"});
    Receiver r(7);
    LGCP::IVAParams iva;
    iva.set_det_lvl_dB(-30);
    EXPECT_FALSE(own.configureIVA(r, iva));
    EXPECT_FALSE(own.enableIVA(r, true));
    EXPECT_EQ(err.Take(), (Lines{"open tonec fail, DTMF proceeding disabled: No such file or directory",
                                 "configure IVA fail: (interface not opened) timeslot=7",
                                 "open tonec fail, DTMF proceeding disabled: No such file or directory",
                                 "IVA_DETECTOR_ENABLE fail: timeslot=7 errno=\"Bad file descriptor\""}));
    board.SetOpenError("/dev/dtmf", 0);
    EXPECT_TRUE(own.configureDTMF(7, LGCP::DTMFParams{}));
    EXPECT_TRUE(own.IsOpened());
}

TEST_F(TonecTest, AHungUpDeviceIsClosedAndOpenedAgainByTheNextRequest) {
    Hardware::TonecReceiverService own;
    ASSERT_TRUE(own.IsOpened());
    err.Take();
    own.OnEvent(-1, POLLHUP);
    EXPECT_FALSE(own.IsOpened()) << "left polled, a hung-up device spins the loop";
    EXPECT_EQ(err.Take(), Lines{"tonec device hung up: closed, opened again by the next request"});
    Receiver r(7);
    EXPECT_TRUE(own.enableDTMF(r, true));
    EXPECT_TRUE(own.IsOpened());
    own.OnEvent(-1, POLLHUP);
    EXPECT_TRUE(own.enableIVA(r, true));
    own.OnEvent(-1, POLLHUP);
    EXPECT_TRUE(own.configureDTMF(7, LGCP::DTMFParams{}));
    EXPECT_TRUE(own.IsOpened());
}

// The service's device on the loop's driven clock.
class TonecDeviceTest : public LoopTest {
protected:
    Sim::Board& board = Sim::board();
    DtmfDevice& device = board.device<DtmfDevice>("/dev/dtmf");
    Hardware::TonecReceiverService& service = Hardware::TonecReceiverService::instance();
    CapturedLines err{std::cerr};
};

// The driver reports POLLIN|POLLHUP on the device at every poll, with no event record to
// read: the device rests between polls, stays open and writes one line; the record that
// comes once the driver recovers is read and ends the condition.
TEST_F(TonecDeviceTest, ADeviceInErrorWithoutRecordsRestsBetweenPollsWithOneLine) {
    Receiver r(3);
    ASSERT_TRUE(r.enableDTMF(true));
    err.Take();
    short fault = POLLIN | POLLHUP;
    StickBits([&](int fd) -> short { return board.DeviceOf(fd) == &device ? fault : 0; });
    ExpectNoSpinFor2s();
    EXPECT_TRUE(service.IsOpened());
    const std::string line = "tonec device reports POLLIN|POLLHUP without data: polled again every 100 ms";
    EXPECT_EQ(err.Take(), Lines{line});

    fault = 0;
    device.Inject(3, 17, 1000);
    PassesIn(200);
    EXPECT_EQ(r.events, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{17, 1000}}));
    const Lines end = err.Take();
    EXPECT_EQ(end.size(), 1u);
    EXPECT_TRUE(Account(end, line).ended);
}

TEST(DtmfTones, PairsOfTheCharacters) {
    EXPECT_EQ(Dtmf::tonesValidator.size(), 16u);
    std::string found;
    for (int i = 0; i < Dtmf::NumTones; ++i)
        found += Dtmf::tonesValidator.Find(Dtmf::freq1[i], Dtmf::freq2[i]);
    EXPECT_EQ(found, "0123456789*#ABCD");
    EXPECT_EQ(Dtmf::tonesValidator.Find(941, 1336), '0');
    EXPECT_EQ(Dtmf::tonesValidator.Find(852, 1477), '9');
    EXPECT_EQ(Dtmf::tonesValidator.Find(941, 1477), '#');
    EXPECT_EQ(Dtmf::tonesValidator.Find(1336, 941), 0);
}

}  // namespace
