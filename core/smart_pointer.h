#pragma once

// Ends the process with "SMART POINTER ASSERTION!" on the log stream.
[[noreturn]] void SmartPtrAssertion();

// Intrusive reference-counting pointer. T carries its own count in an
// unsigned member `ref_count` that starts at 0; the last pointer deletes the
// object (a pooled packet block goes back to its pool).
template <typename T>
class Smart_pointer {
public:
    Smart_pointer() = default;
    Smart_pointer(T* p) : ptr_(p) { add_ref(); }
    Smart_pointer(const Smart_pointer& o) : ptr_(o.ptr_) { add_ref(); }
    ~Smart_pointer() { remove_current(); }

    // The new object is taken before the old one is let go, so assigning a
    // pointer to itself keeps the object alive.
    Smart_pointer& operator=(const Smart_pointer& o) { return assign(o.ptr_); }
    Smart_pointer& operator=(T* p) { return assign(p); }

    // Lets go of the object and leaves the pointer null.
    void remove_current() {
        T* p = ptr_;
        ptr_ = nullptr;
        if (!p) return;
        if (p->ref_count > 0) --p->ref_count;
        if (p->ref_count == 0) destroy(p);
    }
    void clean() { remove_current(); }

    bool null() const { return ptr_ == nullptr; }
    bool operator!() const { return ptr_ == nullptr; }
    explicit operator bool() const { return ptr_ != nullptr; }

    const T* operator->() const {
        if (!ptr_) SmartPtrAssertion();
        return ptr_;
    }
    const T& operator*() const { return *operator->(); }

    // Access for a change: a shared object is first made private where the
    // type supports it (see prepare_for_modify).
    T* operator->() {
        if (!ptr_) SmartPtrAssertion();
        prepare_for_modify();
        return ptr_;
    }
    T& operator*() { return *operator->(); }

    // The raw pointer, without any test.
    T* get() const { return ptr_; }

    // Nothing for shared-state types; packets specialise it to copy on write.
    void prepare_for_modify() {}

protected:
    Smart_pointer& assign(T* p) {
        T* old = ptr_;
        ptr_ = p;
        add_ref();
        if (old) {
            Smart_pointer release;
            release.ptr_ = old;
        }
        return *this;
    }

    // Takes over an object that the caller has already counted.
    void adopt(T* p) {
        remove_current();
        ptr_ = p;
    }

private:
    // Kept out of line: inlined into callers, g++ cannot follow the count and
    // reports uses after free that cannot happen.
    [[gnu::noinline]] static void destroy(T* p) { delete p; }

    void add_ref() {
        if (ptr_) ++ptr_->ref_count;
    }

    T* ptr_ = nullptr;
};
