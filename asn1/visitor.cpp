#include "asn1/visitor.h"

#include "asn1/asn1.h"

namespace ASN1 {

bool Visitor::do_visit(IntegerWithNamedNumber& v) {
    return do_visit(static_cast<INTEGER&>(v));
}

bool Visitor::visit(SEQUENCE& seq) {
    const VisitSeqResult r = preVisitExtensionRoots(seq);
    if (r == FAIL) return false;
    if (r == STOP) return true;
    const int roots = static_cast<int>(seq.numRootFields());
    int lastId = -1;
    for (int i = 0; i < roots; ++i) {
        const int id = seq.getFieldId(static_cast<unsigned>(i));
        const VisitSeqResult field = visitExtensionRoot(seq, i, id);
        if (field == FAIL) return false;
        if (field == STOP) return true;
        if (id != -1) lastId = id;
    }
    if (r != CONTINUE) return true;
    const VisitSeqResult r3 = preVisitExtensions(seq);
    if (r3 == FAIL) return false;
    if (r3 == STOP || r3 == NO_EXTENSION) return true;
    const int fields = static_cast<int>(seq.fieldCount());
    int id = lastId;
    for (int i = roots; i < fields; ++i) {
        const VisitSeqResult field = visitKnownExtension(seq, i, ++id);
        if (field == FAIL) return false;
        if (field != CONTINUE) return true;
    }
    return visitUnknownExtensions(seq);
}

bool ConstVisitor::visit(const SEQUENCE& seq) {
    if (!preVisitExtensionRoots(seq)) return false;
    const int roots = static_cast<int>(seq.numRootFields());
    int lastId = -1;
    for (int i = 0; i < roots; ++i) {
        const int id = seq.getFieldId(static_cast<unsigned>(i));
        if (id != -1) lastId = id;
        if (id != -1 && !seq.hasOptionalField(static_cast<unsigned>(id))) continue;
        if (!visitExtensionRoot(seq, i)) return false;
    }
    if (seq.extensionMap().size() > 0) {
        if (!preVisitExtensions(seq)) return false;
        const int fields = static_cast<int>(seq.fieldCount());
        int id = lastId;
        for (int i = roots; i < fields; ++i) {
            if (!seq.hasOptionalField(static_cast<unsigned>(++id))) continue;
            if (!visitKnownExtension(seq, i)) return false;
        }
    }
    return afterVisitSequence(seq);
}

bool ConstVisitor::do_visit(const Null& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BOOLEAN& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const INTEGER& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
// A named-number integer is an INTEGER on the wire: every coder that writes integers sees it there
// (it still reaches do_visit(const AbstractData&) when the INTEGER entry is not overridden).
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& v) {
    return do_visit(static_cast<const INTEGER&>(v));
}
bool ConstVisitor::do_visit(const ENUMERATED& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BIT_STRING& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OCTET_STRING& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const AbstractString& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const BMPString& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const CHOICE& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const OpenData& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const GeneralizedTime& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& v) {
    return do_visit(static_cast<const AbstractData&>(v));
}
bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& seq) {
    return do_visit(static_cast<const AbstractData&>(seq));
}

bool PrimitiveChecker::do_visit(const CHOICE& v) {
    // A CHOICE without an alternative has no form; call it primitive rather than crash.
    return v.getSelection() == nullptr || v.getSelection()->accept(*this);
}

bool PrimitiveChecker::do_visit(const OpenData& v) {
    return !v.has_data() || v.get_data().accept(*this);
}

}  // namespace ASN1
