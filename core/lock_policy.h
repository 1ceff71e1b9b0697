#pragma once

// Lock policy of the packet pool. Everything runs on the loop's single thread,
// so the policy the daemon uses locks nothing.
struct Dummy_critical_section {
    void lock() {}
    void unlock() {}
};

// Holds a lock policy's lock for one scope.
template <typename Lock>
class Critical_section_guard {
public:
    explicit Critical_section_guard(Lock& lock) : lock_(lock) { lock_.lock(); }
    ~Critical_section_guard() { lock_.unlock(); }
    Critical_section_guard(const Critical_section_guard&) = delete;
    Critical_section_guard& operator=(const Critical_section_guard&) = delete;

private:
    Lock& lock_;
};
