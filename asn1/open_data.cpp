#include "asn1/open_data.h"

#include <memory>
#include <utility>

#include "asn1/asn1.h"

namespace ASN1 {

constexpr AbstractData::InfoType OpenData::theInfo{&OpenData::create, 0};

AbstractData* OpenData::create(const void* info) {
    return new OpenData(info);
}

OpenData::OpenData(const OpenData& other) : AbstractData(other) {
    std::unique_ptr<AbstractData> data(other.data_ ? other.data_->clone() : nullptr);
    std::unique_ptr<Buffer> buf(other.buf_ ? new Buffer(*other.buf_) : nullptr);
    data_ = data.release();
    buf_ = buf.release();
}

OpenData& OpenData::operator=(const OpenData& other) {
    if (this == &other) return *this;
    OpenData copy(other);
    swap(copy);
    return *this;
}

OpenData::~OpenData() {
    delete data_;
    delete buf_;
}

void OpenData::swap(OpenData& other) {
    std::swap(data_, other.data_);
    std::swap(buf_, other.buf_);
}

void OpenData::grab(Buffer* buf) {
    if (buf == buf_) return;
    delete buf_;
    buf_ = buf;
}

void OpenData::set_data(AbstractData* data) {
    if (data == data_) return;
    delete data_;
    data_ = data;
}

int OpenData::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const OpenData&>(other);
    if (has_data() && o.has_data()) return data_->compare(*o.data_);
    if (has_buf() && o.has_buf())
        return lexicographic_compare_bytes(buf_->begin(), buf_->end(), o.buf_->begin(), o.buf_->end());
    if (!(isEmpty() && o.isEmpty())) return has_data() ? 1 : -1;
    return 0;
}

// Copies keep the open value's record but not its class (a plain open value).
AbstractData* OpenData::do_clone() const {
    return new OpenData(*this);
}
bool OpenData::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool OpenData::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

AbstractData* TypeConstrainedOpenData::create(const void* info) {
    auto record = static_cast<const InfoType*>(info);
    std::unique_ptr<AbstractData> data(AbstractData::create(record->typeInfo));
    auto value = new TypeConstrainedOpenData(data.get(), info);
    data.release();
    return value;
}

AbstractData* TypeConstrainedOpenData::do_clone() const {
    return new OpenData(*this);
}
bool TypeConstrainedOpenData::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool TypeConstrainedOpenData::do_accept(ConstVisitor& v) const {
    return v.visit(static_cast<const OpenData&>(*this));
}

}  // namespace ASN1
