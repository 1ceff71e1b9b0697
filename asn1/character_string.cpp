#include "asn1/character_string.h"

#include "asn1/asn1.h"

namespace ASN1 {

constexpr char NumericStringSet[] = " 0123456789";
constexpr char PrintableStringSet[] =
    " '()+,-./0123456789:=?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char VisibleStringSet[] =
    "\040\041\042\043\044\045\046\047\050\051\052\053\054\055\056\057"
    "\060\061\062\063\064\065\066\067\070\071\072\073\074\075\076\077"
    "\100\101\102\103\104\105\106\107\110\111\112\113\114\115\116\117"
    "\120\121\122\123\124\125\126\127\130\131\132\133\134\135\136\137"
    "\140\141\142\143\144\145\146\147\150\151\152\153\154\155\156\157"
    "\160\161\162\163\164\165\166\167\170\171\172\173\174\175\176";
constexpr char IA5StringSet[] =
    "\000\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017"
    "\020\021\022\023\024\025\026\027\030\031\032\033\034\035\036\037"
    "\040\041\042\043\044\045\046\047\050\051\052\053\054\055\056\057"
    "\060\061\062\063\064\065\066\067\070\071\072\073\074\075\076\077"
    "\100\101\102\103\104\105\106\107\110\111\112\113\114\115\116\117"
    "\120\121\122\123\124\125\126\127\130\131\132\133\134\135\136\137"
    "\140\141\142\143\144\145\146\147\150\151\152\153\154\155\156\157"
    "\160\161\162\163\164\165\166\167\170\171\172\173\174\175\176\177";
constexpr char GeneralStringSet[] =
    "\000\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017"
    "\020\021\022\023\024\025\026\027\030\031\032\033\034\035\036\037"
    "\040\041\042\043\044\045\046\047\050\051\052\053\054\055\056\057"
    "\060\061\062\063\064\065\066\067\070\071\072\073\074\075\076\077"
    "\100\101\102\103\104\105\106\107\110\111\112\113\114\115\116\117"
    "\120\121\122\123\124\125\126\127\130\131\132\133\134\135\136\137"
    "\140\141\142\143\144\145\146\147\150\151\152\153\154\155\156\157"
    "\160\161\162\163\164\165\166\167\170\171\172\173\174\175\176\177"
    "\200\201\202\203\204\205\206\207\210\211\212\213\214\215\216\217"
    "\220\221\222\223\224\225\226\227\230\231\232\233\234\235\236\237"
    "\240\241\242\243\244\245\246\247\250\251\252\253\254\255\256\257"
    "\260\261\262\263\264\265\266\267\270\271\272\273\274\275\276\277"
    "\300\301\302\303\304\305\306\307\310\311\312\313\314\315\316\317"
    "\320\321\322\323\324\325\326\327\330\331\332\333\334\335\336\337"
    "\340\341\342\343\344\345\346\347\350\351\352\353\354\355\356\357"
    "\360\361\362\363\364\365\366\367\370\371\372\373\374\375\376\377";

}  // namespace ASN1

namespace ASN1 {

constexpr AbstractString::InfoType NumericString::theInfo{
    {{&AbstractString::create, 18}, Unconstrained, 0, 0xFFFFFFFFu}, NumericStringSet, 11, 4, 4, 4};
constexpr AbstractString::InfoType PrintableString::theInfo{
    {{&AbstractString::create, 19}, Unconstrained, 0, 0xFFFFFFFFu}, PrintableStringSet, 74, 7, 7, 8};
constexpr AbstractString::InfoType VisibleString::theInfo{
    {{&AbstractString::create, 26}, Unconstrained, 0, 0xFFFFFFFFu}, VisibleStringSet, 95, 7, 7, 8};
// IA5 values are built as IA5String so that the typed accessors may view them as such.
constexpr AbstractString::InfoType IA5String::theInfo{
    {{&IA5String::create, 22}, Unconstrained, 0, 0xFFFFFFFFu}, IA5StringSet, 128, 7, 7, 8};
constexpr AbstractString::InfoType GeneralString::theInfo{
    {{&AbstractString::create, 27}, Unconstrained, 0, 0xFFFFFFFFu}, GeneralStringSet, 256, 8, 8, 8};
constexpr BMPString::InfoType BMPString::theInfo{
    {{&BMPString::create, 30}, Unconstrained, 0, 0xFFFFFFFFu}, 0, 0xFFFF, 16, 16};

static_assert(sizeof NumericStringSet == 11 + 1 && sizeof PrintableStringSet == 74 + 1);
static_assert(sizeof VisibleStringSet == 95 + 1 && sizeof IA5StringSet == 128 + 1 &&
              sizeof GeneralStringSet == 256 + 1);

AbstractData* AbstractString::create(const void* info) {
    return new AbstractString(info);
}

int AbstractString::do_compare(const AbstractData& other) const {
    return std::string::compare(static_cast<const AbstractString&>(other));
}

AbstractData* AbstractString::do_clone() const {
    return CloneThroughRecord(*this);
}
bool AbstractString::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool AbstractString::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

AbstractData* IA5String::create(const void* info) {
    return new IA5String(info);
}

AbstractData* BMPString::create(const void* info) {
    return new BMPString(info);
}

BMPString::size_type BMPString::first_illegal_at() const {
    size_type i = 0;
    while (i < length() && legalCharacter((*this)[i])) ++i;
    return i;
}

int BMPString::do_compare(const AbstractData& other) const {
    return std::wstring::compare(static_cast<const BMPString&>(other));
}

AbstractData* BMPString::do_clone() const {
    return CloneThroughRecord(*this);
}
bool BMPString::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool BMPString::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
