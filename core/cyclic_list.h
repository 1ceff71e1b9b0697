#pragma once

#include <bit>
#include <cstddef>

namespace Containers {

// Intrusive circular doubly linked list with a sentinel head. A head is a node
// of the same type; an empty list and a node in no list point to themselves.
class CyclicList {
public:
    class TIterator {
    public:
        TIterator() = default;
        explicit TIterator(CyclicList* node) : node_(node) {}
        TIterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        CyclicList* operator*() const { return node_; }
        bool operator==(const TIterator& o) const { return node_ == o.node_; }
        bool operator!=(const TIterator& o) const { return node_ != o.node_; }

    private:
        CyclicList* node_ = nullptr;
    };

    CyclicList() { InternalInit(); }
    // Unlinks the node; its own links are left as they were, so an iterator
    // standing on it still reaches its old successor.
    ~CyclicList() { InternalDel(prev, next); }
    CyclicList(const CyclicList&) = delete;
    CyclicList& operator=(const CyclicList&) = delete;

    // Called on a head: moves node from wherever it is to the end of this list.
    void AddToTail(CyclicList* node);

    TIterator begin() { return TIterator(next); }
    TIterator end() { return TIterator(this); }
    bool empty() const { return next == this; }

    CyclicList* next;
    CyclicList* prev;

private:
    void InternalInit() { next = prev = this; }
    static void InternalDel(CyclicList* before, CyclicList* after) {
        after->prev = before;
        before->next = after;
    }
    static void InternalAdd(CyclicList* node, CyclicList* before, CyclicList* after) {
        after->prev = node;
        node->next = after;
        node->prev = before;
        before->next = node;
    }
};

// The T object whose data member `member` is `node`.
template <typename T>
T* offset(CyclicList* node, CyclicList T::*member) {
    // A pointer to data member holds the member's byte offset in the ABIs we
    // build for; this avoids touching a fake object to measure it.
    static_assert(sizeof(member) == sizeof(std::ptrdiff_t));
    const auto off = std::bit_cast<std::ptrdiff_t>(member);
    return reinterpret_cast<T*>(reinterpret_cast<char*>(node) - off);
}

}  // namespace Containers
