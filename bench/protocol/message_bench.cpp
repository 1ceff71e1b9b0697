// Coding cost of the envelope as the control server sees it: a command in, a response out.
#include <benchmark/benchmark.h>

#include <iterator>
#include <vector>

#include "asn1/coder_env.h"
#include "protocol/LGCP.h"

namespace {

LGCP::Message Signal() {
    LGCP::Message m;
    m.set_slot(17);
    LGCP::Signal& s = m.set_pdu().select_signal();
    auto& packages = s.select_ioctl().select_hdlcPackages();
    LGCP::HdlcPackage package;
    package.set_body(std::vector<char>(12, '\x7E'));
    for (int i = 0; i < 3; ++i) packages.push_back(package);
    return m;
}

void BM_EncodeResponse(benchmark::State& state) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    LGCP::Message m;
    m.set_seq(7);
    m.set_pdu().select_response().select_success();
    std::vector<char> out;
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(ASN1::encode(m, env, std::back_inserter(out)));
    }
}
BENCHMARK(BM_EncodeResponse);

void BM_DecodeCommand(benchmark::State& state) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    const std::vector<char> bytes{'\xC0', '\x01', '\x05', '\x00', '\x0C', '\x63'};
    for (auto _ : state) {
        LGCP::Message m;
        benchmark::DoNotOptimize(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, m, true));
    }
}
BENCHMARK(BM_DecodeCommand);

void BM_BuildAndEncodeSignal(benchmark::State& state) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    for (auto _ : state) {
        out.clear();
        LGCP::Message m = Signal();
        benchmark::DoNotOptimize(ASN1::encode(m, env, std::back_inserter(out)));
    }
}
BENCHMARK(BM_BuildAndEncodeSignal);

void BM_DecodeSignal(benchmark::State& state) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> bytes;
    ASN1::encode(Signal(), env, std::back_inserter(bytes));
    state.counters["octets"] = static_cast<double>(bytes.size());
    for (auto _ : state) {
        LGCP::Message m;
        benchmark::DoNotOptimize(ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, m, true));
    }
}
BENCHMARK(BM_DecodeSignal);

}  // namespace
