// Aligned PER encode and decode of a one-octet response and of a create command of about 40
// octets with optional fields and extension additions: time and heap allocations per message.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "asn1/coder_env.h"
#include "tests/asn1/test_module.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// Counting replacements of the global allocation functions: malloc and free pair up here, which
// GCC cannot see through the replaced operators.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace TestModule;

Message Response() {
    Message msg;
    msg.set_pdu().select_response().select_success();
    return msg;
}

// The same values as bench/asn1/erlang_per_bench.escript.
Message Create() {
    Message msg;
    msg.set_seq(1234);
    msg.set_slot(12);
    Params& params = msg.set_pdu().select_command().select_create();
    params.set_name("rtp-channel-12");
    DualTone tone;
    tone.set_freq1(697);
    tone.set_freq2(1209);
    params.ref_tones().push_back(tone);
    DualTone single;
    single.set_freq1(770);
    params.ref_tones().push_back(single);
    params.set_level(-3);
    params.set_mode(MccType::bri);
    params.set_gain(200);
    params.set_standby(StandbyState::speak);
    return msg;
}

ASN1::CoderEnv PerEnv() {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    return env;
}

void Encode(benchmark::State& state, const Message& msg) {
    std::vector<char> out;
    long before = allocations.load();
    for (auto _ : state) {
        out.clear();
        out.reserve(200);
        ASN1::CoderEnv env = PerEnv();
        if (!ASN1::encode(msg, &env, std::back_inserter(out))) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["octets"] = static_cast<double>(out.size());
    state.counters["allocs/msg"] = static_cast<double>(allocations.load() - before) / state.iterations();
}

void Decode(benchmark::State& state, const Message& msg) {
    std::vector<char> octets;
    ASN1::CoderEnv encoder = PerEnv();
    ASN1::encode(msg, &encoder, std::back_inserter(octets));
    long before = allocations.load();
    for (auto _ : state) {
        Message decoded;
        ASN1::CoderEnv env = PerEnv();
        if (!ASN1::decode(octets.data(), octets.data() + octets.size(), &env, decoded, true))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(&decoded);
    }
    state.counters["octets"] = static_cast<double>(octets.size());
    state.counters["allocs/msg"] = static_cast<double>(allocations.load() - before) / state.iterations();
}

void BM_EncodeResponse(benchmark::State& state) {
    Encode(state, Response());
}
void BM_DecodeResponse(benchmark::State& state) {
    Decode(state, Response());
}
void BM_EncodeCreate(benchmark::State& state) {
    Encode(state, Create());
}
void BM_DecodeCreate(benchmark::State& state) {
    Decode(state, Create());
}

}  // namespace

BENCHMARK(BM_EncodeResponse);
BENCHMARK(BM_DecodeResponse);
BENCHMARK(BM_EncodeCreate);
BENCHMARK(BM_DecodeCreate);
