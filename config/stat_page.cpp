#include "config/stat_page.h"

#include <istream>
#include <ostream>

namespace Stat {
namespace Html {

namespace {

// Stands in for a block that nothing answers, so that the block's markup is still read
// through (and every block inside it ignored too).
class UnknownObject : public Object {
public:
    Value statistics_value(const std::string&) const override { return Value(); }
    Object* statistics_object(const std::string&) const override { return nullptr; }
    std::unique_ptr<IteratorBase> statistics_iterator(const std::string&) const override { return nullptr; }
};

}  // namespace

GeneratorV1::GeneratorV1(Object& root, std::ostream& out, std::istream& in)
    : root_(root), out_(out), in_(in), current_(&root) {
    objects_.push_back(&root_);
}

bool GeneratorV1::generate() {
    ignore_depth_ = 0;
    too_deep_ = false;
    generate_body();
    return !too_deep_;
}

void GeneratorV1::generate_body() {
    while (!too_deep_) {
        const Token token = parse();
        switch (token.type) {
            case Token::End:
                return;
            case Token::Value:
                put_value(token.name);
                break;
            case Token::Object: {
                if (token.name == "end") return;
                if (objects_.size() > kMaxDepth) {
                    too_deep_ = true;
                    return;
                }
                std::unique_ptr<IteratorBase> elements = current_->statistics_iterator(token.name);
                if (elements)
                    repeat_block(*elements);
                else
                    sub_object(token.name);
                break;
            }
        }
    }
}

void GeneratorV1::put_value(const std::string& name) {
    for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
        const Value value = (*it)->statistics_value(name);
        if (value) {
            put(value.text());
            return;
        }
    }
    put(capture_);  // nobody knows the name: the reference stays as written
}

void GeneratorV1::repeat_block(IteratorBase& elements) {
    if (!elements.valid()) {
        ignore_object();
        return;
    }
    const std::istream::pos_type body = in_.tellg();
    sub_object(elements.object());
    if (!elements.next()) return;
    while (!too_deep_ && elements.valid()) {
        in_.clear();  // a block without "end" left the stream at its end
        in_.seekg(body);
        sub_object(elements.object());
        elements.next();
    }
}

void GeneratorV1::sub_object(const std::string& name) {
    Object* object = current_->statistics_object(name);
    if (object != nullptr)
        sub_object(*object);
    else
        ignore_object();
}

void GeneratorV1::sub_object(Object& object) {
    objects_.push_back(&object);
    current_ = &object;
    generate_body();
    objects_.pop_back();
    current_ = objects_.back();
}

void GeneratorV1::ignore_object() {
    UnknownObject unknown;
    ++ignore_depth_;
    sub_object(unknown);
    --ignore_depth_;
}

void GeneratorV1::put(char c) {
    if (ignore_depth_ == 0) out_.put(c);
}

void GeneratorV1::put(const std::string& text) {
    if (ignore_depth_ == 0) out_ << text;
}

// ---- scanning ----

GeneratorV1::Token GeneratorV1::parse() {
    next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    token_ = Token();
    ready_ = false;
    capture_.clear();
    for (std::istream::int_type c = in_.get(); c != std::istream::traits_type::eof(); c = in_.get()) {
        const char ch = std::istream::traits_type::to_char_type(c);
        (this->*input_state_)(ch);
        (this->*output_state_)(ch);
        if (ready_) return token_;
    }
    return Token();  // markup cut off by the end of the template is dropped
}

void GeneratorV1::next_input(InputState state) {
    if (state == input_state_) return;
    input_state_ = state;
    on_change_input_state();
}

void GeneratorV1::next_output(OutputState state) {
    if (state == output_state_) return;
    output_state_ = state;
    on_change_output_state();
}

void GeneratorV1::next_state(InputState input, OutputState output) {
    next_input(input);
    next_output(output);
}

void GeneratorV1::on_change_output_state() {
    if (output_state_ == &GeneratorV1::poutput_capture) capture_.clear();
}

void GeneratorV1::not_markup() {
    put(capture_);
    next_state(&GeneratorV1::pinput_section_body, &GeneratorV1::poutput_pass);
}

void GeneratorV1::pinput_initial(char c) {
    if (c == '<')
        next_state(&GeneratorV1::pinput_section_open, &GeneratorV1::poutput_capture);
    else if (c == '%')
        next_state(&GeneratorV1::pinput_value_open, &GeneratorV1::poutput_capture);
}

void GeneratorV1::pinput_section_open(char c) {
    if (c == '!')
        next_input(&GeneratorV1::pinput_section_comment1);
    else
        not_markup();
}

void GeneratorV1::pinput_section_comment1(char c) {
    if (c == '-')
        next_input(&GeneratorV1::pinput_section_comment2);
    else
        not_markup();
}

void GeneratorV1::pinput_section_comment2(char c) {
    if (c == '-') {
        token_.name.clear();
        token_.type = Token::Object;
        next_input(&GeneratorV1::pinput_section_obj_begin1);
    } else {
        not_markup();
    }
}

void GeneratorV1::pinput_section_obj_begin1(char c) {
    if (c == 'G')
        next_input(&GeneratorV1::pinput_section_obj_begin2);
    else
        not_markup();
}

void GeneratorV1::pinput_section_obj_begin2(char c) {
    if (c == 'E')
        next_input(&GeneratorV1::pinput_section_obj_begin3);
    else
        not_markup();
}

void GeneratorV1::pinput_section_obj_begin3(char c) {
    if (c == 'N')
        next_input(&GeneratorV1::pinput_section_obj_begin4);
    else
        not_markup();
}

void GeneratorV1::pinput_section_obj_begin4(char c) {
    if (c == '.')
        next_input(&GeneratorV1::pinput_section_obj_name);
    else
        not_markup();
}

// Inside a tag or an ordinary comment neither "<" nor "%" is markup.
void GeneratorV1::pinput_section_body(char c) {
    if (c == '>') next_input(&GeneratorV1::pinput_initial);
}

void GeneratorV1::pinput_section_obj_name(char c) {
    if (c == '-')
        next_input(&GeneratorV1::pinput_section_obj_name_end1);
    else
        token_.name += c;
}

void GeneratorV1::pinput_section_obj_name_end1(char c) {
    if (c == '-') {
        next_input(&GeneratorV1::pinput_section_obj_name_end2);
    } else {
        // A single hyphen belongs to the name.
        token_.name += '-';
        token_.name += c;
        next_input(&GeneratorV1::pinput_section_obj_name);
    }
}

void GeneratorV1::pinput_section_obj_name_end2(char c) {
    if (c == '>') {
        ready_ = true;
        next_input(&GeneratorV1::pinput_delayed_initial);
    }
}

void GeneratorV1::pinput_value_open(char c) {
    if (c == '%') {
        // "%%" is two percent signs of text.
        put("%");
        next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    } else {
        token_.type = Token::Value;
        token_.name.assign(1, c);
        next_input(&GeneratorV1::pinput_value_body);
    }
}

void GeneratorV1::pinput_value_body(char c) {
    if (c == '%') {
        ready_ = true;
        next_input(&GeneratorV1::pinput_delayed_initial);
    } else {
        token_.name += c;
    }
}

void GeneratorV1::pinput_delayed_initial(char c) {
    next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    pinput_initial(c);
}

bool generateV1(Object& root, std::ostream& out, std::istream& in) {
    GeneratorV1 generator(root, out, in);
    return generator.generate();
}

}  // namespace Html
}  // namespace Stat
