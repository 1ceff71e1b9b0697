#pragma once

#include <cstddef>
#include <iterator>
#include <utility>

// Intrusive doubly linked lists: the elements carry their own links, so no
// list operation allocates. An element is in at most one list of its type.

template <typename T>
class F_dual_list_item {
public:
    F_dual_list_item() = default;
    // A copied element is in no list: the links stay with the original.
    F_dual_list_item(const F_dual_list_item&) {}
    F_dual_list_item& operator=(const F_dual_list_item&) { return *this; }

    T* get_next() const { return next; }
    T* get_prev() const { return prev; }

    T* next = nullptr;
    T* prev = nullptr;
};

template <typename T>
class F_dual_list {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T*;

        iterator() = default;
        explicit iterator(T* p) : p_(p) {}

        T* operator*() const { return p_; }
        T* operator->() const { return p_; }
        iterator& operator++() {
            p_ = p_->next;
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            p_ = p_->next;
            return old;
        }
        bool operator==(const iterator& o) const { return p_ == o.p_; }
        bool operator!=(const iterator& o) const { return p_ != o.p_; }
        bool good() const { return p_ != nullptr; }
        bool operator!() const { return p_ == nullptr; }

    private:
        T* p_ = nullptr;
    };

    F_dual_list() = default;
    F_dual_list(T* array, unsigned n) { init(array, n); }
    // Elements still linked are neither unlinked nor destroyed.
    ~F_dual_list() = default;
    F_dual_list(const F_dual_list&) = delete;
    F_dual_list& operator=(const F_dual_list&) = delete;

    // Threads n consecutive array elements in array order.
    void init(T* array, unsigned n) {
        head_ = tail_ = nullptr;
        count_ = 0;
        for (unsigned i = 0; i < n; ++i) insert_to_tail(&array[i]);
    }

    T* insert_to_head(T* p) {
        p->prev = nullptr;
        p->next = head_;
        if (head_) head_->prev = p;
        head_ = p;
        if (!tail_) tail_ = p;
        ++count_;
        return p;
    }

    T* insert_to_tail(T* p) {
        p->next = nullptr;
        p->prev = tail_;
        if (tail_) tail_->next = p;
        tail_ = p;
        if (!head_) head_ = p;
        ++count_;
        return p;
    }
    T* push_back(T* p) { return insert_to_tail(p); }

    T* insert_after(T* pos, T* p) {
        p->next = pos->next;
        p->prev = pos;
        if (pos->next)
            pos->next->prev = p;
        else
            tail_ = p;
        pos->next = p;
        ++count_;
        return p;
    }

    // p must be in this list. Its own links are kept, so an iterator standing
    // on it still reaches its old successor.
    T* remove(T* p) {
        if (p->prev)
            p->prev->next = p->next;
        else
            head_ = p->next;
        if (p->next)
            p->next->prev = p->prev;
        else
            tail_ = p->prev;
        --count_;
        return p;
    }

    T* remove_from_head() {
        T* p = head_;
        if (!p) return nullptr;
        head_ = p->next;
        if (head_)
            head_->prev = nullptr;
        else
            tail_ = nullptr;
        --count_;
        return p;
    }

    T* remove_from_tail() {
        T* p = tail_;
        if (!p) return nullptr;
        tail_ = p->prev;
        if (tail_)
            tail_->next = nullptr;
        else
            head_ = nullptr;
        --count_;
        return p;
    }

    // Exchanges the whole contents of the two lists.
    void merge(F_dual_list& other) {
        std::swap(head_, other.head_);
        std::swap(tail_, other.tail_);
        std::swap(count_, other.count_);
    }

    unsigned count() const { return count_; }
    unsigned size() const { return count_; }
    T* head() const { return head_; }
    T* tail() const { return tail_; }

    iterator begin() const { return iterator(head_); }
    iterator end() const { return iterator(); }
    iterator last() const { return iterator(tail_); }

private:
    T* head_ = nullptr;
    T* tail_ = nullptr;
    unsigned count_ = 0;
};

// An F_dual_list kept in ascending order of compare(a, b) (negative, zero or
// positive), a function found by argument-dependent lookup, e.g. a friend of T.
template <typename T>
class F_sorted_list : public F_dual_list<T> {
public:
    // Walks from the tail, so an element not less than any other costs one
    // comparison; equal elements keep their insertion order.
    T* insert_to_tail_by_grown(T* p) {
        for (T* e = this->tail(); e; e = e->prev) {
            if (compare(*e, *p) <= 0) return this->insert_after(e, p);
        }
        return this->insert_to_head(p);
    }
};
