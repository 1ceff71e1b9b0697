// The two visitor bases every coder derives from, and the walks of a SEQUENCE.
#pragma once

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class OCTET_STRING;
class BIT_STRING;
class AbstractString;
class BMPString;
class CHOICE;
class SEQUENCE;
class SEQUENCE_OF_Base;
class OpenData;
class TypeConstrainedOpenData;
class GeneralizedTime;
class CoderEnv;

enum VisitSeqResult {
    FAIL = 0,          // the walk fails
    STOP = 1,          // the walk ends with success
    NO_EXTENSION = 2,  // go on with the root fields; the value has no extensions
    CONTINUE = 3,      // go on, extensions included
};

// Base of the visitors that change the values they visit (the decoders).
class Visitor {
public:
    explicit Visitor(CoderEnv* env = nullptr) : env_(env) {}
    virtual ~Visitor() = default;

    CoderEnv* get_env() const { return env_; }

    bool visit(Null& v) { return do_visit(v); }
    bool visit(BOOLEAN& v) { return do_visit(v); }
    bool visit(INTEGER& v) { return do_visit(v); }
    bool visit(IntegerWithNamedNumber& v) { return do_visit(v); }
    bool visit(ENUMERATED& v) { return do_visit(v); }
    bool visit(OBJECT_IDENTIFIER& v) { return do_visit(v); }
    bool visit(OCTET_STRING& v) { return do_visit(v); }
    bool visit(BIT_STRING& v) { return do_visit(v); }
    bool visit(AbstractString& v) { return do_visit(v); }
    bool visit(BMPString& v) { return do_visit(v); }
    bool visit(CHOICE& v) { return do_visit(v); }
    bool visit(SEQUENCE_OF_Base& v) { return do_visit(v); }
    bool visit(OpenData& v) { return do_visit(v); }
    bool revisit(OpenData& v) { return do_revisit(v); }
    bool visit(TypeConstrainedOpenData& v) { return do_visit(v); }
    bool visit(GeneralizedTime& v) { return do_visit(v); }
    // Root fields in order (absent optional ones too: the hooks decide), then the known
    // extension fields, then the unknown ones.
    bool visit(SEQUENCE& seq);

private:
    virtual bool do_visit(Null&) = 0;
    virtual bool do_visit(BOOLEAN&) = 0;
    virtual bool do_visit(INTEGER&) = 0;
    virtual bool do_visit(IntegerWithNamedNumber& v);
    virtual bool do_visit(ENUMERATED&) = 0;
    virtual bool do_visit(OBJECT_IDENTIFIER&) = 0;
    virtual bool do_visit(OCTET_STRING&) = 0;
    virtual bool do_visit(BIT_STRING&) = 0;
    virtual bool do_visit(AbstractString&) = 0;
    virtual bool do_visit(BMPString&) = 0;
    virtual bool do_visit(CHOICE&) = 0;
    virtual bool do_visit(SEQUENCE_OF_Base&) = 0;
    virtual bool do_visit(OpenData&) = 0;
    // Second pass over an open value: decode its buffered octets into its data value.
    virtual bool do_revisit(OpenData&) { return false; }
    virtual bool do_visit(TypeConstrainedOpenData&) = 0;
    virtual bool do_visit(GeneralizedTime&) = 0;
    virtual VisitSeqResult preVisitExtensionRoots(SEQUENCE&) { return CONTINUE; }
    virtual VisitSeqResult visitExtensionRoot(SEQUENCE&, int /*index*/, int /*optional_id*/) { return FAIL; }
    virtual VisitSeqResult preVisitExtensions(SEQUENCE&) { return CONTINUE; }
    virtual VisitSeqResult visitKnownExtension(SEQUENCE&, int /*index*/, int /*optional_id*/) { return FAIL; }
    virtual bool visitUnknownExtensions(SEQUENCE&) { return true; }

    CoderEnv* env_;
};

// Base of the visitors that only read (encoders, printer, checkers). Every entry falls back on
// do_visit(const AbstractData&), so overriding that one sees every value.
class ConstVisitor {
public:
    ConstVisitor() = default;
    virtual ~ConstVisitor() = default;

    bool visit(const Null& v) { return do_visit(v); }
    bool visit(const BOOLEAN& v) { return do_visit(v); }
    bool visit(const INTEGER& v) { return do_visit(v); }
    bool visit(const IntegerWithNamedNumber& v) { return do_visit(v); }
    bool visit(const ENUMERATED& v) { return do_visit(v); }
    bool visit(const OBJECT_IDENTIFIER& v) { return do_visit(v); }
    bool visit(const BIT_STRING& v) { return do_visit(v); }
    bool visit(const OCTET_STRING& v) { return do_visit(v); }
    bool visit(const AbstractString& v) { return do_visit(v); }
    bool visit(const BMPString& v) { return do_visit(v); }
    bool visit(const CHOICE& v) { return do_visit(v); }
    bool visit(const OpenData& v) { return do_visit(v); }
    bool visit(const GeneralizedTime& v) { return do_visit(v); }
    bool visit(const SEQUENCE_OF_Base& v) { return do_visit(v); }
    // Present root fields in order, then the present known extension fields.
    bool visit(const SEQUENCE& seq);

private:
    virtual bool do_visit(const AbstractData&) { return true; }
    virtual bool do_visit(const Null& v);
    virtual bool do_visit(const BOOLEAN& v);
    virtual bool do_visit(const INTEGER& v);
    virtual bool do_visit(const IntegerWithNamedNumber& v);
    virtual bool do_visit(const ENUMERATED& v);
    virtual bool do_visit(const OBJECT_IDENTIFIER& v);
    virtual bool do_visit(const BIT_STRING& v);
    virtual bool do_visit(const OCTET_STRING& v);
    virtual bool do_visit(const AbstractString& v);
    virtual bool do_visit(const BMPString& v);
    virtual bool do_visit(const CHOICE& v);
    virtual bool do_visit(const OpenData& v);
    virtual bool do_visit(const GeneralizedTime& v);
    virtual bool do_visit(const SEQUENCE_OF_Base& v);
    virtual bool preVisitExtensionRoots(const SEQUENCE& seq);
    virtual bool visitExtensionRoot(const SEQUENCE&, int /*index*/) { return false; }
    virtual bool preVisitExtensions(const SEQUENCE&) { return true; }
    virtual bool visitKnownExtension(const SEQUENCE&, int /*index*/) { return false; }
    virtual bool afterVisitSequence(const SEQUENCE&) { return true; }
};

// Tells the BER encoder whether a value is encoded in primitive form.
class PrimitiveChecker : public ConstVisitor {
private:
    bool do_visit(const AbstractData&) override { return true; }
    bool preVisitExtensionRoots(const SEQUENCE&) override { return false; }
    bool do_visit(const SEQUENCE_OF_Base&) override { return false; }
    bool do_visit(const CHOICE& v) override;
    bool do_visit(const OpenData& v) override;
};

}  // namespace ASN1
