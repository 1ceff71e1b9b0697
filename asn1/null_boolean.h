// NULL and BOOLEAN values.
#pragma once

#include "asn1/abstract_data.h"

namespace ASN1 {

class Null : public AbstractData, private detail::Allocator<Null> {
public:
    static const InfoType theInfo;

    Null() : AbstractData(&theInfo) {}
    explicit Null(const void* info) : AbstractData(info) {}
    Null(const Null&) = default;
    Null& operator=(const Null&) = default;

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;
};

class BOOLEAN : public AbstractData, private detail::Allocator<BOOLEAN> {
public:
    static const InfoType theInfo;

    explicit BOOLEAN(const void* info = &theInfo) : AbstractData(info) {}
    BOOLEAN(bool value, const void* info) : AbstractData(info), value_(value) {}
    BOOLEAN(const BOOLEAN&) = default;
    BOOLEAN& operator=(const BOOLEAN&) = default;

    operator bool() const { return value_; }
    BOOLEAN& operator=(bool value) {
        value_ = value;
        return *this;
    }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    bool value_ = false;
};

}  // namespace ASN1
