#include "core/dpc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/multiplexer.h"

namespace {

std::vector<std::string> calls;

struct Job {
    void Run() {
        calls.push_back(name);
        if (action) action();
    }
    std::string name;
    std::function<void()> action;
};

void Plain() {
    calls.push_back("plain");
}

}  // namespace

TEST(Dpc, RunsInAddressOrderOncePerRun) {
    calls.clear();
    Job jobs[3] = {{"a", {}}, {"b", {}}, {"c", {}}};
    Dpc dpcs[3];
    for (int i = 2; i >= 0; --i) {
        dpcs[i].Bind(&jobs[i], &Job::Run);
        dpcs[i].Activate();
        dpcs[i].Activate();
    }
    multiplexer.execute_dpc();
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), calls);
}

TEST(Dpc, DeactivatedEarlierInTheRunIsNotCalledAndNewOnesWaitForTheNextRun) {
    calls.clear();
    Job jobs[3] = {{"a", {}}, {"b", {}}, {"c", {}}};
    Dpc dpcs[3];
    Dpc late;
    late.Bind(Plain);
    for (int i = 0; i < 3; ++i) dpcs[i].Bind(&jobs[i], &Job::Run);
    jobs[0].action = [&] {
        dpcs[1].Deactivate();
        late.Activate();
        dpcs[0].Deactivate();  // one-shot
    };
    dpcs[0].Activate();
    dpcs[1].Activate();
    dpcs[2].Activate();
    multiplexer.execute_dpc();
    EXPECT_EQ((std::vector<std::string>{"a", "c"}), calls);
    calls.clear();
    multiplexer.execute_dpc();
    EXPECT_EQ(2u, calls.size());
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "plain"));
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "c"));
}

TEST(Dpc, MayDestroyItselfAndDestructionRemovesIt) {
    calls.clear();
    Job job{"self", {}};
    auto dpc = std::make_unique<Dpc>();
    dpc->Bind(&job, &Job::Run);
    dpc->Activate();
    job.action = [&] { dpc.reset(); };
    Job other{"other", {}};
    {
        Dpc gone;
        gone.Bind(&other, &Job::Run);
        gone.Activate();
    }
    multiplexer.execute_dpc();
    multiplexer.execute_dpc();
    EXPECT_EQ((std::vector<std::string>{"self"}), calls);
}

TEST(Dpc, UnboundDoesNothing) {
    Dpc dpc;
    dpc.Activate();
    multiplexer.execute_dpc();
    EXPECT_TRUE(dpc.active());
    dpc.Deactivate();
    EXPECT_FALSE(dpc.active());
}
