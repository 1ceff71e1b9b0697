// Fills an HTML statistics page from a template and a tree of statistics sources.
//
// Outside tags the template holds two kinds of markup: "%name%", replaced by the value
// of that name, and blocks "<!--GEN.name-->" ... "<!--GEN.end-->", filled from the
// sub-object of that name or repeated once per element of the collection of that name.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <list>
#include <memory>
#include <string>

namespace Stat {

class Value {
public:
    using bool_type = void (Value::*)() const;

    Value() = default;
    explicit Value(std::string text) : valid_(true), text_(std::move(text)) {}

    bool valid() const { return valid_; }
    const std::string& text() const { return text_; }

    void true_helper_func() const {}
    operator bool_type() const { return valid_ ? &Value::true_helper_func : nullptr; }

private:
    bool valid_ = false;
    std::string text_;
};

class Object;

// A cursor over the elements of a collection, owned by the generator while it fills a block.
class IteratorBase {
public:
    virtual ~IteratorBase() = default;
    virtual bool valid() const = 0;
    virtual bool next() = 0;
    virtual Object& object() const = 0;
};

class Object {
public:
    virtual ~Object() = default;
    virtual Value statistics_value(const std::string& name) const = 0;
    virtual Object* statistics_object(const std::string& name) const = 0;
    // Empty when there is no collection of that name.
    virtual std::unique_ptr<IteratorBase> statistics_iterator(const std::string& name) const = 0;
};

namespace Html {

class GeneratorV1 {
public:
    // Every block level is a level of recursion: a template that nests deeper than
    // this ends the page there, and generate() answers false.
    static constexpr std::size_t kMaxDepth = 64;

    // The template is read again for every element of a collection: it must be seekable.
    GeneratorV1(Object& root, std::ostream& out, std::istream& in);
    GeneratorV1(const GeneratorV1&) = delete;
    GeneratorV1& operator=(const GeneratorV1&) = delete;

    // False when the template nested blocks deeper than kMaxDepth.
    bool generate();

    struct Token {
        enum Type { Object = 0, Value = 1, End = 2 };
        Type type = End;
        std::string name;
    };

private:
    using InputState = void (GeneratorV1::*)(char);
    using OutputState = void (GeneratorV1::*)(char);

    void generate_body();
    Token parse();
    void sub_object(const std::string& name);
    void sub_object(Object& object);
    void ignore_object();
    void put_value(const std::string& name);
    void repeat_block(IteratorBase& elements);

    void put(char c);
    void put(const std::string& text);

    void next_input(InputState state);
    void next_output(OutputState state);
    void next_state(InputState input, OutputState output);
    void on_change_input_state() {}
    void on_change_output_state();
    // The capture so far is text after all: write it, and pass the rest of the tag.
    void not_markup();

    void pinput_initial(char c);
    void pinput_section_open(char c);
    void pinput_section_body(char c);
    void pinput_section_comment1(char c);
    void pinput_section_comment2(char c);
    void pinput_section_obj_begin1(char c);
    void pinput_section_obj_begin2(char c);
    void pinput_section_obj_begin3(char c);
    void pinput_section_obj_begin4(char c);
    void pinput_section_obj_name(char c);
    void pinput_section_obj_name_end1(char c);
    void pinput_section_obj_name_end2(char c);
    void pinput_value_open(char c);
    void pinput_value_body(char c);
    void pinput_delayed_initial(char c);

    void poutput_pass(char c) { put(c); }
    void poutput_capture(char c) { capture_ += c; }
    void poutput_ignore(char) {}

    Object& root_;
    std::ostream& out_;
    std::istream& in_;
    std::list<Object*> objects_;  // innermost last
    Object* current_;
    int ignore_depth_ = 0;
    InputState input_state_ = &GeneratorV1::pinput_initial;
    OutputState output_state_ = &GeneratorV1::poutput_pass;
    Token token_;
    bool ready_ = false;
    bool too_deep_ = false;  // once set, nothing more is read or written
    std::string capture_;
};

bool generateV1(Object& root, std::ostream& out, std::istream& in);

}  // namespace Html

}  // namespace Stat
