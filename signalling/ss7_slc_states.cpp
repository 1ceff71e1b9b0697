// What each state of the MTP level 2 link does, its timers, and the texts of
// its prefixes and dumps.
#include <iostream>

#include "core/output.h"
#include "signalling/ss7_slc.h"

namespace SS7 {

namespace L2 {

const char* state_name(unsigned type) {
    switch (type) {
        case idle:
            return "idle";
        case not_aligned:
            return "not aligned";
        case aligned:
            return "aligned";
        case proving:
            return "proving";
        case aligned_ready:
            return "aligned ready";
        case worked:
            return "worked";
        default:
            return "unknown";
    }
}

std::ostream& operator<<(std::ostream& os, Indication indication) {
    switch (indication) {
        case SIO:
            return os << "out of alignment";
        case SIN:
            return os << "normal alignment";
        case SIE:
            return os << "emergency alignment";
        case SIOS:
            return os << "out of service";
    }
    const auto flags = os.flags();
    os << "unknown:" << std::hex << std::nouppercase << static_cast<unsigned>(indication);
    os.flags(flags);
    return os;
}

}  // namespace L2

const SLC::TimerVal SLC::T1{45000, &SLC::on_T1};
const SLC::TimerVal SLC::T2{7000, &SLC::on_T2};
const SLC::TimerVal SLC::T3{1500, &SLC::on_T3};
const SLC::TimerVal SLC::T4n{8200, &SLC::on_T4};
const SLC::TimerVal SLC::T4e{500, &SLC::on_T4};
const SLC::TimerVal SLC::T5{100, &SLC::on_T5};
const SLC::TimerVal SLC::T6{4500, &SLC::on_T6};
const SLC::TimerVal SLC::T7{12000, &SLC::on_T7};

void SLC::PutHeader(std::ostream& os) const {
    PutShortInfo(os);
    os << " (" << current->name() << "): ";
}

void SLC::PutShortInfo(std::ostream& os) const {
    os << "SS7/L2 [dpc=" << dpc << ", slc=" << slc << ", trunk=" << linkno << "]";
}

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d) {
    return d.link->dump_fields(os);
}

std::ostream& SLC::dump_fields(std::ostream& os) const {
    return os << " BSN=" << static_cast<unsigned>(bsnr) << " BIB=" << (bibr ? 1 : 0)
              << " FSN=" << static_cast<unsigned>(fsnr) << " FIB=" << (fibr ? 1 : 0);
}

void SLC::next_state(State& to) {
    if (trace.state)
        std::clog << ext::shortinfo(this) << ": "
                  << "change state from " << ext::quoted(*current) << " to " << ext::quoted(to) << std::endl;
    current->on_leave(*this);
    current = &to;
    to.on_enter(*this);
}

void SLC::set(const TimerVal& t) {
    timer.set<SLC>(t.ms, t.handler, this);
}

// ---- timers ----

void SLC::on_T1(Timer*) {
    if (trace.timers) std::clog << ext::header(this) << "T1 expired" << std::endl;
    next_state(s_idle);
}

void SLC::on_T2(Timer*) {
    if (trace.timers) std::clog << ext::header(this) << "T2 expired" << std::endl;
    next_state(s_idle);
}

void SLC::on_T3(Timer*) {
    if (trace.timers) std::clog << ext::header(this) << "T3 expired" << std::endl;
    next_state(s_idle);
}

void SLC::on_T4(Timer*) {
    if (trace.timers) std::clog << ext::header(this) << "T4 expired." << std::endl;
    next_state(s_aligned_ready);
}

void SLC::on_T5(Timer*) {}

void SLC::on_T6(Timer*) {}

void SLC::on_T7(Timer*) {
    if (trace.timers)
        std::clog << ext::header(this) << "T7 expired: " << rtb_count << " packets in RTB." << std::endl;
    next_state(s_idle);
}

// ---- idle ----

void SLC::on_enter(TState<0>&) {
    reset();
    send_lssu(L2::SIOS);
    on_deactivate(new Protocol_status_error(this, "impossible phasing"));
}

void SLC::lssu(TState<0>&, Indication status) {
    if (status == L2::SIO)
        next_state(s_aligned);
    else if (status == L2::SIN || status == L2::SIE)
        next_state(s_proving);
}

// ---- not aligned ----

void SLC::on_enter(TState<1>&) {
    reset();
    set(T2);
    send_lssu(L2::SIO);
}

void SLC::on_leave(TState<1>&) {
    timer.reset();
}

// Not aligned follows the far end's status as idle does.
void SLC::lssu(TState<1>&, Indication status) {
    lssu(s_idle, status);
}

// ---- aligned ----

void SLC::on_enter(TState<2>&) {
    set(T3);
    if (trace.timers) std::clog << ext::header(this) << "set T3" << std::endl;
    send_lssu(emergency ? L2::SIE : L2::SIN);
}

void SLC::on_leave(TState<2>&) {
    timer.reset();
}

void SLC::lssu(TState<2>&, Indication status) {
    if (status == L2::SIN || status == L2::SIE) next_state(s_proving);
}

// ---- proving, and aligned ready which reacts as proving does ----

void SLC::on_enter(TState<3>&) {
    set(emergency ? T4e : T4n);
    send_lssu(emergency ? L2::SIE : L2::SIN);
    if (trace.timers) std::clog << ext::header(this) << "set T4" << std::endl;
}

void SLC::on_leave(TState<3>&) {
    timer.reset();
}

void SLC::fisu(TState<3>&) {
    next_state(s_worked);
}

void SLC::lssu(TState<3>&, Indication status) {
    if (status != L2::SIN && status != L2::SIE) next_state(s_idle);
}

// The far end is in service already; its MSU itself is not taken.
void SLC::msu(TState<3>&, Packet&) {
    next_state(s_worked);
}

void SLC::on_enter(TState<4, TState<3>>&) {
    set(T1);
    send_fisu();
}

void SLC::on_leave(TState<4, TState<3>>&) {
    timer.reset();
}

// ---- worked ----

void SLC::on_enter(TState<5>&) {
    if (!tb.empty()) {
        if (auto line = tb_discard_line.Admit(std::cerr))
            line << ext::header(this) << "discard " << tb.count() << " msu in TB";
        tb.clear();
    }
    reset();
    send_fisu();
    process_tb();
    on_activate();
}

void SLC::on_leave(TState<5>&) {
    timer.reset();
}

void SLC::lssu(TState<5>&, Indication status) {
    if (auto line = lssu_in_service_line.Admit(std::cerr))
        line << ext::header(this) << "receive lssu: " << status << " " << DumpPtr{this};
    next_state(s_idle);
}

void SLC::fisu(TState<5>&) {
    fsnx = bsnt;
    fibx = bibt;
    bibx = fibt;
    if (fibr != fibx) {
        unexpected_fib();
        return;
    }
    nack_pending = bad_fib = false;
    if (!process_bsnr()) return;
    // The far end has sent MSUs that were not accepted here.
    if (fsnr != fsnx) negative_acknowledge();
}

void SLC::msu(TState<5>&, Packet& su) {
    fsnx = bsnt;
    fibx = bibt;
    bibx = fibt;
    if (fsnr == fsnx) {
        if (trace.msu_processing)
            std::clog << ext::header(this) << "discard msu due to 5.2.2/i Q.702"
                      << " fsnr=" << unsigned(fsnr) << " fsnx=" << unsigned(fsnx) << std::endl;
        return;
    }
    if (fibr != fibx) {
        unexpected_fib();
        return;
    }
    nack_pending = bad_fib = false;
    if (!process_bsnr()) return;
    if (fsnr != fsnx + 1) {
        if (trace.msu_processing)
            std::clog << ext::header(this) << "discard msu due to 5.2.2/ii Q.702"
                      << " fsnr=" << unsigned(fsnr) << " fsnx=" << unsigned(fsnx) << std::endl;
        negative_acknowledge();
        return;
    }
    acknowledge();
    if (trace.mtp_receive) std::clog << ext::header(this) << " mtp rx" << Octets{su} << std::endl;
    on_message(su);
}

bool SLC::message(TState<5>&, Packet& msu) {
    if (msu.length() < kHeader) {
        // The far end would take a shorter unit for a FISU or an LSSU.
        if (auto line = short_msu_line.Admit(std::cerr))
            line << ext::header(this) << "msu of " << msu.length() << " octets ignored: " << msu;
        return false;
    }
    if (tb.count() >= kTbLimit) {
        ++stats[4];
        if (auto line = tb_full_line.Admit(std::cerr))
            line << ext::header(this) << "no space in TB buffer,"
                 << " TB=" << tb.count() << " RTB=" << rtb_count << " ignoring msu: " << msu;
        return false;
    }
    tb.put(msu);
    process_tb();
    return true;
}

}  // namespace SS7
