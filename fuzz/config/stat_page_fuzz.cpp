// Statistics page templates: arbitrary template text over a small fixed tree of
// sources (values, a sub-object, and collections nested two deep). Generation must
// end without a crash, and the page it writes can only be as long as the template
// repeated once per element the tree holds, with every value written out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/stat_page.h"

namespace {

class Leaf : public Stat::Object {
public:
    explicit Leaf(int n) : n_(n) {}
    Stat::Value statistics_value(const std::string& name) const override {
        if (name == "n") return Stat::Value(std::to_string(n_));
        if (name == "name") return Stat::Value("leaf" + std::to_string(n_));
        return Stat::Value();
    }
    Stat::Object* statistics_object(const std::string&) const override { return nullptr; }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string&) const override {
        return nullptr;
    }

private:
    int n_;
};

template <class T>
class VectorIterator : public Stat::IteratorBase {
public:
    explicit VectorIterator(const std::vector<std::unique_ptr<T>>& items) : items_(items) {}
    bool valid() const override { return at_ < items_.size(); }
    bool next() override { return ++at_ < items_.size(); }
    Stat::Object& object() const override { return *items_[at_]; }

private:
    const std::vector<std::unique_ptr<T>>& items_;
    std::size_t at_ = 0;
};

class Group : public Stat::Object {
public:
    Group(int n, int leaves) : n_(n) {
        for (int i = 0; i < leaves; ++i) leaves_.push_back(std::make_unique<Leaf>(i));
    }
    Stat::Value statistics_value(const std::string& name) const override {
        if (name == "group") return Stat::Value("g" + std::to_string(n_));
        if (name == "count") return Stat::Value(std::to_string(leaves_.size()));
        return Stat::Value();
    }
    Stat::Object* statistics_object(const std::string& name) const override {
        return name == "first" && !leaves_.empty() ? leaves_.front().get() : nullptr;
    }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) const override {
        if (name == "leaves") return std::make_unique<VectorIterator<Leaf>>(leaves_);
        return nullptr;
    }

private:
    int n_;
    std::vector<std::unique_ptr<Leaf>> leaves_;
};

class Root : public Stat::Object {
public:
    Root() : info_(7) {
        groups_.push_back(std::make_unique<Group>(0, 3));
        groups_.push_back(std::make_unique<Group>(1, 0));
        groups_.push_back(std::make_unique<Group>(2, 2));
    }
    Stat::Value statistics_value(const std::string& name) const override {
        if (name == "title") return Stat::Value("board");
        if (name == "empty") return Stat::Value("");
        return Stat::Value();
    }
    Stat::Object* statistics_object(const std::string& name) const override {
        return name == "info" ? const_cast<Leaf*>(&info_) : nullptr;
    }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) const override {
        if (name == "groups") return std::make_unique<VectorIterator<Group>>(groups_);
        if (name == "none") return std::make_unique<VectorIterator<Group>>(none_);
        return nullptr;
    }

private:
    Leaf info_;
    std::vector<std::unique_ptr<Group>> groups_;
    std::vector<std::unique_ptr<Group>> none_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Root root;
    std::unique_ptr<char[]> exact(new char[size]);
    std::copy(data, data + size, exact.get());
    std::istringstream in(std::string(exact.get(), size));
    std::ostringstream out;
    Stat::Html::generateV1(root, out, in);
    // Three groups of at most three leaves: every template byte is read at most
    // 1 + 3 + 3 * 3 times, and no value is longer than 8 bytes per byte of its reference.
    if (out.str().size() > 13 * 8 * (size + 1)) std::abort();
    return 0;
}
