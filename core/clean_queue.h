#pragma once

// A fixed ring of N elements (packets) that drops its reference to each
// element it hands out, so a queued packet's pool block is released as soon
// as the last taker lets go of it.
template <typename T, unsigned N>
class CleanQueue {
    static_assert(N > 0);

public:
    CleanQueue() = default;
    CleanQueue(const CleanQueue&) = delete;
    CleanQueue& operator=(const CleanQueue&) = delete;

    // Queues x at the back; false, storing nothing, when full.
    bool put(const T& x) {
        if (count_ >= N) return false;
        slots_[write_] = x;
        write_ = inc_index(write_);
        ++count_;
        return true;
    }

    // Queues x at the front, so the next get returns it; false when full.
    bool append(const T& x) {
        if (count_ >= N) return false;
        read_ = dec_index(read_);
        slots_[read_] = x;
        ++count_;
        return true;
    }

    // Takes the front element.
    bool get(T& out) {
        if (count_ == 0) return false;
        out = slots_[read_];
        slots_[read_] = T();
        read_ = inc_index(read_);
        --count_;
        return true;
    }
    bool get(T* out) { return get(*out); }

    // Takes the back element.
    bool get_last(T* out) {
        if (count_ == 0) return false;
        write_ = dec_index(write_);
        *out = slots_[write_];
        slots_[write_] = T();
        --count_;
        return true;
    }

    // Shares the front element without taking it; out may be null.
    bool preview(T* out) const {
        if (count_ == 0) return false;
        if (out) *out = slots_[read_];
        return true;
    }

    // Empties the ring and lets go of every element it held.
    void clear() {
        for (unsigned i = 0; i < count_; ++i) {
            slots_[read_] = T();
            read_ = inc_index(read_);
        }
        read_ = write_ = count_ = 0;
    }

    unsigned count() const { return count_; }
    unsigned size() const { return N; }
    bool empty() const { return count_ == 0; }

private:
    static unsigned inc_index(unsigned i) { return i == N - 1 ? 0 : i + 1; }
    static unsigned dec_index(unsigned i) { return i == 0 ? N - 1 : i - 1; }

    T slots_[N];
    unsigned read_ = 0;
    unsigned write_ = 0;
    unsigned count_ = 0;
};
