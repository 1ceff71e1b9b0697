#include "hardware/hdlc.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <iostream>

#include "config/trace_ctl.h"
#include "core/errno_text.h"
#include "core/output.h"
#include "hardware/board_record.h"
#include "hardware/driver.h"
#include "hardware/hw_mux.h"
#include "hardware/mcc_requests.h"

namespace Mcc = Hardware::Mcc;
using Hardware::driver;

namespace {

// A frame source that never stops could hold the loop in one event; a bound far
// above what the controller queues for one channel leaves the rest for the
// next pass.
constexpr int kFramesPerEvent = 1024;

bool Tracing() {
    return traces.signalling.hdlc;
}

}  // namespace

HDLC::HDLC() {
    unbind();
}

HDLC::~HDLC() {
    event_.Release();
}

void HDLC::bind(Notify* sink) {
    if (sink == nullptr) {
        unbind();
        return;
    }
    sink_ = sink;
}

void HDLC::unbind() {
    struct Stub final : Notify {
        void on_hdlc_receive(Packet&) override {}
        void on_hdlc_error(Cause::Type) override {}
        void on_hdlc_ready() override {}
    };
    static Stub stub;
    sink_ = &stub;
}

void HDLC::PutHeader(std::ostream& os) const {
    os << "hdlc [" << trunk_ << "/" << static_cast<unsigned>(params_.timeslot) << "]: ";
}

bool HDLC::activate() {
    deactivate();
    statistics_ = Statistics{};
    if (params_.mode < 0 || params_.mode > 2) {
        std::cerr << ext::header(this) << "invalid mode " << params_.mode << std::endl;
        return false;
    }
    Fd fd;
    if (!open_controller(fd)) return false;

    HwMux& mux = HwMux::instance();
    mux.Connect(controller_channel_, params_.mode == 2 ? params_.tdm2 : params_.tdm);
    mux.Connect(params_.tdm, controller_channel_);

    ++generation_;
    shortage_.Served();
    event_.Bind("HDLC::OnEvent", &HDLC::on_event, this);
    event_.Schedule(fd, POLLIN | POLLOUT);  // a duplicate; `fd` closes the first
    ready_ = false;
    if (Tracing()) std::clog << ext::header(this) << "activated" << std::endl;
    return true;
}

// Allocates a controller channel and learns its TDM channel; on failure one
// error line, and nothing stays open.
bool HDLC::open_controller(Fd& fd) {
    int opened = driver().open(Mcc::kPath, O_RDWR | O_NONBLOCK);
    if (opened < 0) {
        Errno error;
        std::cerr << ext::header(this) << "fail to open MCC device: " << error << std::endl;
        return false;
    }
    fd = Fd(opened);
    Hardware::BoardRecord<5> allocate{Mcc::kModeCodes[params_.mode], 512, 0, 1, 4};
    if (driver().ioctl(fd.lowlevel_fd(), Mcc::MCC_ALLOCATE, allocate.data()) == -1) {
        Errno error;
        std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << error << std::endl;
        return false;
    }
    int t = driver().ioctl(fd.lowlevel_fd(), Mcc::MCC_TIMESLOT, nullptr);
    if (t < 0) {
        Errno error;  // meaningful only after -1
        std::cerr << ext::header(this) << "MCC_TIMESLOT fail: ";
        if (t == -1)
            std::cerr << error << std::endl;
        else
            std::cerr << "result " << t << std::endl;
        return false;
    }
    controller_channel_ = t;
    return true;
}

void HDLC::deactivate() {
    event_.Release();
    ready_ = false;
    if (Tracing()) std::clog << ext::header(this) << "deactivated" << std::endl;
}

void HDLC::on_event(int, short revents) {
    const std::uint32_t generation = generation_;
    if (revents & POLLIN) {
        // A channel in error may poll readable with nothing to read: it rests.
        if (!do_read() && is_open() && generation == generation_)
            event_.NothingRead(revents, ext::header(this));
    } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        // Nothing to read will ever come, and the condition would wake the loop
        // on every pass.
        read_error(PollEventAsText(revents).c_str(), 0);
        return;
    }
    if (!is_open() || generation != generation_) return;
    if ((revents & POLLOUT) && !ready_) {
        ready_ = true;
        event_.SetEvents(POLLIN);
        sink_->on_hdlc_ready();
    }
}

bool HDLC::do_read() {
    if (Tracing()) std::clog << ext::header(this) << "do_read" << std::endl;
    if (!is_open()) {
        std::clog << ext::header(this) << "do_read: !m_event.IsActive()" << std::endl;
        return false;
    }
    const std::uint32_t generation = generation_;
    for (int n = 0; n < kFramesPerEvent; ++n) {
        if (!read_one(event_.lowlevel_fd())) return n > 0;
        if (!is_open() || generation != generation_) return true;
    }
    return true;
}

// One frame to the sink; false when nothing more is to be read now.
bool HDLC::read_one(int fd) {
    // No buffer for the frame: it is read into a scratch area and lost.
    static unsigned char scratch[packet_max_size];
    const bool dropped = Packet::available() == 0;
    Packet frame;
    if (!dropped) frame.reserve_head(0);
    ssize_t n = dropped ? driver().read(fd, scratch, sizeof scratch)
                        : driver().read(fd, frame.tail(), frame.tailroom());
    if (n <= 0) {
        if (n == -1 && errno == EAGAIN) return false;
        read_error(n == 0 ? "end of file" : nullptr, n == 0 ? 0 : errno);
        return false;
    }
    event_.DataRead();
    if (dropped) {
        if (auto line = shortage_.Refused(std::cerr))
            line << ext::header(this) << "no packet for a received frame: dropped";
        return true;
    }
    shortage_.Served();
    frame.put(static_cast<unsigned>(n));
    if (Tracing()) std::clog << "HDLC[" << trunk_ << "]: rx " << frame << std::endl;
    ++statistics_.rxSU;
    sink_->on_hdlc_receive(frame);
    frame.clear();
    return true;
}

// The channel ends: one line, then the sink learns it.
void HDLC::read_error(const char* what, int error) {
    std::cerr << ext::header(this) << "read error: ";
    if (what != nullptr)
        std::cerr << what << std::endl;
    else
        std::cerr << Errno(error) << std::endl;
    deactivate();
    sink_->on_hdlc_error(Notify::Cause::read_error);
}

bool HDLC::hdlc_transmit(Packet& frame) {
    if (frame.empty()) return true;
    if (!is_open()) {
        ++statistics_.txDiscard;
        return false;
    }
    if (Tracing()) std::clog << "HDLC[" << trunk_ << "]: tx " << frame << std::endl;
    ssize_t n;
    do {
        // Read through a const view: a frame shared with a retransmission buffer is
        // written as it is, never copied (the pool may have no block for a copy).
        n = driver().write(event_.lowlevel_fd(), static_cast<const Packet&>(frame).data(), frame.length());
    } while (n == -1 && errno == EINTR);
    if (n != -1) {
        ++statistics_.txSU;
        return true;
    }
    if (errno == EAGAIN) {
        ready_ = false;
        event_.SetEvents(POLLIN | POLLOUT);
        return false;
    }
    ++statistics_.txError;
    return false;
}
