#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Sim {

// One call that reached the simulated board, as tests inspect it.
struct Request {
    enum class Kind { open, close, ioctl, read, write };

    Kind kind = Kind::ioctl;
    std::string device;
    unsigned long number = 0;        // ioctl request number
    std::vector<unsigned char> in;   // record before the call (ioctl), bytes written (write)
    std::vector<unsigned char> out;  // record after the call (ioctl), bytes read (read)
    int result = 0;
    int error = 0;  // errno of a failed call

    // Word i of the record before or after the call, in the board's byte order.
    std::int32_t InWord(std::size_t i) const;
    std::int32_t OutWord(std::size_t i) const;
    std::vector<std::int32_t> InWords() const;
};

// The latest requests, oldest first. Entries are reused in a ring, so that once
// the ring is full a request costs no allocation (their buffers keep their
// room). A limit of 0 keeps nothing.
class RequestLog {
public:
    class const_iterator {
    public:
        const_iterator(const RequestLog* log, std::size_t i) : log_(log), i_(i) {}
        const Request& operator*() const { return (*log_)[i_]; }
        const Request* operator->() const { return &(*log_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator& o) const { return i_ != o.i_; }

    private:
        const RequestLog* log_;
        std::size_t i_;
    };

    explicit RequestLog(std::size_t limit) : limit_(limit) {}

    // Keeps the latest `limit` entries already held.
    void SetLimit(std::size_t limit);
    std::size_t limit() const { return limit_; }
    bool on() const { return limit_ != 0; }

    // A new entry, blank but for its kind and device; null when the log keeps
    // nothing.
    Request* Add(Request::Kind kind, std::string_view device);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Request& operator[](std::size_t i) const { return ring_[(first_ + i) % ring_.size()]; }
    const Request& at(std::size_t i) const;
    const Request& front() const { return (*this)[0]; }
    const Request& back() const { return (*this)[size_ - 1]; }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size_}; }
    void clear() {
        first_ = 0;
        size_ = 0;
    }

private:
    std::vector<Request> ring_;
    std::size_t first_ = 0;
    std::size_t size_ = 0;
    std::size_t limit_;
};

}  // namespace Sim
