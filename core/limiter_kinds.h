// One log limiter per kind of a family of lines (a status text, a cause, a failing
// address), so that one kind holds back only its own repeats. The kinds come from
// a bounded set; should more than kMaxKinds turn up, the rest share one limiter.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

template <class Limiter, class Kind = std::string>
class LimiterKinds {
public:
    static constexpr std::size_t kMaxKinds = 16;

    Limiter& operator[](const Kind& kind) {
        for (auto& [name, limiter] : kinds_)
            if (name == kind) return *limiter;
        if (kinds_.size() == kMaxKinds) return others_;
        kinds_.emplace_back(kind, std::make_unique<Limiter>());
        return *kinds_.back().second;
    }
    // The kind's limiter when it has one, shared or its own; nothing is made.
    Limiter* find(const Kind& kind) {
        for (auto& [name, limiter] : kinds_)
            if (name == kind) return limiter.get();
        return kinds_.size() == kMaxKinds ? &others_ : nullptr;
    }
    template <class F>
    void for_each(F f) {
        for (auto& entry : kinds_) f(*entry.second);
        f(others_);
    }

private:
    std::vector<std::pair<Kind, std::unique_ptr<Limiter>>> kinds_;
    Limiter others_;
};
