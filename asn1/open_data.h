// Open-type values: a decoded value, its still encoded octets, or both.
#pragma once

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OpenData : public AbstractData, private detail::Allocator<OpenData> {
public:
    static const InfoType theInfo;
    using Buffer = std::vector<char>;

    explicit OpenData(const void* info = &theInfo) : AbstractData(info) {}
    // Takes ownership of `data`.
    OpenData(AbstractData* data, const void* info) : AbstractData(info), data_(data) {}
    OpenData(const OpenData& other);
    OpenData& operator=(const OpenData& other);
    ~OpenData() override;
    void swap(OpenData& other);

    bool has_data() const { return data_ != nullptr; }
    AbstractData& get_data() { return *data_; }
    const AbstractData& get_data() const { return *data_; }
    bool has_buf() const { return buf_ != nullptr; }
    Buffer& get_buf() { return *buf_; }
    const Buffer& get_buf() const { return *buf_; }
    bool isEmpty() const { return !has_data() && !has_buf(); }
    // Takes ownership of `buf`, deleting the previous buffer.
    void grab(Buffer* buf);
    // Takes ownership of `data`, deleting the previous value.
    void set_data(AbstractData* data);

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    AbstractData* data_ = nullptr;
    Buffer* buf_ = nullptr;
};

// An open type whose record names the type it carries.
class TypeConstrainedOpenData : public OpenData {
public:
    // Head, then the carried type's record.
    struct InfoType : AbstractData::InfoType {
        const void* typeInfo;
    };

    TypeConstrainedOpenData(AbstractData* data, const void* info) : OpenData(data, info) {}

    // Creates the carried value first, then the open value around it.
    static AbstractData* create(const void* info);

private:
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1
