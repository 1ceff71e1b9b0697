// SEQUENCE OF and SET OF values: an owned list of elements of one type.
#pragma once

#include <boost/iterator/iterator_adaptor.hpp>
#include <vector>

#include "asn1/constrained_object.h"

namespace ASN1 {

class SEQUENCE_OF_Base : public ConstrainedObject, private detail::Allocator<SEQUENCE_OF_Base> {
public:
    // Constrained layout (the size constraint), then the element type's record.
    struct InfoType : ConstrainedObject::InfoType {
        const void* elementInfo;
    };
    using Container = std::vector<AbstractData*>;
    using iterator = Container::iterator;
    using const_iterator = Container::const_iterator;

    // Clones of one value, or of the values that pointers point to, for the two insert forms.
    struct create_from0 {
        const AbstractData& value;
        AbstractData* operator()() const { return value.clone(); }
    };
    struct create_from_ptr {
        AbstractData* operator()(const AbstractData* value) const { return value->clone(); }
    };

    explicit SEQUENCE_OF_Base(const void* info) : ConstrainedObject(info) {}
    SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other);
    SEQUENCE_OF_Base& operator=(const SEQUENCE_OF_Base& other);
    ~SEQUENCE_OF_Base() override;
    void swap(SEQUENCE_OF_Base& other) { elements_.swap(other.elements_); }

    std::size_t size() const { return elements_.size(); }
    bool empty() const { return elements_.empty(); }
    iterator begin() { return elements_.begin(); }
    iterator end() { return elements_.end(); }
    const_iterator begin() const { return elements_.begin(); }
    const_iterator end() const { return elements_.end(); }
    void reserve(std::size_t n) { elements_.reserve(n); }

    // Takes ownership of `element`.
    void push_back(AbstractData* element);
    void insert(iterator position, std::size_t n, const AbstractData& value);
    void insert(iterator position, const_iterator first, const_iterator last);
    iterator erase(iterator first, iterator last);
    // Shortens (deleting the surplus) or grows with default elements.
    void resize(std::size_t n);
    void clear();
    AbstractData* createElement() const;
    const void* elementInfo() const { return static_cast<const InfoType*>(info())->elementInfo; }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    Container elements_;
};

struct EmptyConstraint {};

// The list as elements of type T. No data or virtual operations of its own.
template <class T, class Constraint = EmptyConstraint>
class SEQUENCE_OF : public SEQUENCE_OF_Base {
public:
    static constexpr SEQUENCE_OF_Base::InfoType theInfo{
        {{&create_as<SEQUENCE_OF>, 16}, Unconstrained, 0, 0xFFFFFFFFu}, &T::theInfo};

    template <class Value, class Base>
    class basic_iterator : public boost::iterator_adaptor<basic_iterator<Value, Base>, Base, Value> {
    public:
        basic_iterator() = default;
        explicit basic_iterator(Base position) : basic_iterator::iterator_adaptor_(position) {}
        template <class OtherValue, class OtherBase>
        basic_iterator(const basic_iterator<OtherValue, OtherBase>& other)
            : basic_iterator::iterator_adaptor_(other.base()) {}

    private:
        friend class boost::iterator_core_access;
        Value& dereference() const { return static_cast<Value&>(**this->base()); }
    };
    using iterator = basic_iterator<T, SEQUENCE_OF_Base::iterator>;
    using const_iterator = basic_iterator<const T, SEQUENCE_OF_Base::const_iterator>;
    using value_type = T;

    SEQUENCE_OF() : SEQUENCE_OF_Base(&theInfo) {}
    explicit SEQUENCE_OF(const void* info) : SEQUENCE_OF_Base(info) {}
    SEQUENCE_OF(const SEQUENCE_OF&) = default;
    SEQUENCE_OF& operator=(const SEQUENCE_OF&) = default;

    using SEQUENCE_OF_Base::push_back;
    void push_back(const T& value) { SEQUENCE_OF_Base::push_back(value.clone()); }
    const T& operator[](std::size_t i) const {
        return static_cast<const T&>(**(SEQUENCE_OF_Base::begin() + i));
    }
    T& operator[](std::size_t i) { return static_cast<T&>(**(SEQUENCE_OF_Base::begin() + i)); }

    iterator begin() { return iterator(SEQUENCE_OF_Base::begin()); }
    iterator end() { return iterator(SEQUENCE_OF_Base::end()); }
    const_iterator begin() const { return const_iterator(SEQUENCE_OF_Base::begin()); }
    const_iterator end() const { return const_iterator(SEQUENCE_OF_Base::end()); }

    using SEQUENCE_OF_Base::erase;
    // Deletes the element and returns the position of the next one.
    iterator erase(iterator position) {
        return iterator(SEQUENCE_OF_Base::erase(position.base(), position.base() + 1));
    }
    // Deletes the element but leaves its (dangling) pointer: the caller replaces or erases it.
    void clean(iterator position) {
        delete *position.base();
        *position.base() = nullptr;
    }
};

template <class T, class Constraint = EmptyConstraint>
class SET_OF : public SEQUENCE_OF<T, Constraint> {
public:
    static constexpr SEQUENCE_OF_Base::InfoType theInfo{
        {{&create_as<SET_OF>, 17}, Unconstrained, 0, 0xFFFFFFFFu}, &T::theInfo};

    SET_OF() : SEQUENCE_OF<T, Constraint>(&theInfo) {}
    explicit SET_OF(const void* info) : SEQUENCE_OF<T, Constraint>(info) {}
};

}  // namespace ASN1
