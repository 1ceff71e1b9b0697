// The statistics page generator: templates rendered over a small tree of sources and
// compared with the expected page, character for character.
#include "config/stat_page.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A statistics source with named values, sub-objects and collections.
class Node : public Stat::Object {
public:
    // How the cursor reports its end: next() false at the end (as most sources do), or
    // next() always true with valid() turning false.
    static inline bool nextAlwaysTrue = false;

    std::map<std::string, std::string> values;
    std::map<std::string, Node*> children;
    std::map<std::string, std::vector<Node*>> collections;
    mutable int lookups = 0;

    Stat::Value statistics_value(const std::string& name) const override {
        ++lookups;
        auto it = values.find(name);
        return it == values.end() ? Stat::Value() : Stat::Value(it->second);
    }
    Stat::Object* statistics_object(const std::string& name) const override {
        auto it = children.find(name);
        return it == children.end() ? nullptr : it->second;
    }
    std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) const override {
        auto it = collections.find(name);
        if (it == collections.end()) return nullptr;
        return std::make_unique<Cursor>(it->second);
    }

private:
    class Cursor : public Stat::IteratorBase {
    public:
        explicit Cursor(const std::vector<Node*>& nodes) : nodes_(nodes) {}
        bool valid() const override { return at_ < nodes_.size(); }
        bool next() override {
            ++at_;
            return nextAlwaysTrue || valid();
        }
        Stat::Object& object() const override { return *nodes_[at_]; }

    private:
        const std::vector<Node*>& nodes_;
        std::size_t at_ = 0;
    };
};

std::string Render(Node& root, const std::string& page) {
    std::istringstream in(page);
    std::ostringstream out;
    EXPECT_TRUE(Stat::Html::generateV1(root, out, in));
    return out.str();
}

class StatPage : public testing::Test {
protected:
    void SetUp() override {
        Node::nextAlwaysTrue = false;
        root.values = {{"title", "Gateway 7"}, {"host", "gw7"}, {"port", "root port"}};
        board.values = {{"serial", "A-0042"}, {"version", "3.1"}};
        root.children["board"] = &board;
        const char* names[] = {"e1-0", "e1-1", "e1-2"};
        const char* states[] = {"up", "down", "loop"};
        for (int i = 0; i < 3; ++i) {
            ports[i].values = {{"port", names[i]}, {"state", states[i]}};
            ports[i].children["alarm"] = &alarms[i];
            root.collections["ports"].push_back(&ports[i]);
        }
        alarms[1].values = {{"alarm", "LOS"}};
        root.collections["empty"];
    }

    Node root;
    Node board;
    Node ports[3];
    Node alarms[3];
};

TEST_F(StatPage, FullPageRendersExactly) {
    const std::string page =
        "<!DOCTYPE html>\n"
        "<html><head><title>%title%</title></head>\n"
        "<body class=\"%title%\" data-x='a > b'>\n"
        "<h1>%title% on %host%</h1>\n"
        "<!-- plain comment, %title% stays -->\n"
        "<p>load 50%% of %unknown% and 5 %% 3</p>\n"
        "<!--GEN.board-->\n"
        "<p>board %serial% firmware %version% on %host%</p>\n"
        "<!--GEN.end-->\n"
        "<!--GEN.missing-->\n"
        "<p>never %title%</p>\n"
        "<!--GEN.ports-->nested %port%<!--GEN.end-->\n"
        "<!--GEN.end-->\n"
        "<table>\n"
        "<!--GEN.ports-->\n"
        "<tr><td>%port%</td><td>%state%</td><td>%title%</td>"
        "<!--GEN.alarm--><td>%alarm%</td><!--GEN.end--></tr>\n"
        "<!--GEN.end-->\n"
        "</table>\n"
        "<ul><!--GEN.empty--><li>%port%</li><!--GEN.board-->%serial%<!--GEN.end--><!--GEN.end--></ul>\n"
        "<p>%port%</p>\n"
        "</body></html>\n";
    const std::string expected =
        "<!DOCTYPE html>\n"
        "<html><head><title>Gateway 7</title></head>\n"
        "<body class=\"%title%\" data-x='a > b'>\n"
        "<h1>Gateway 7 on gw7</h1>\n"
        "<!-- plain comment, %title% stays -->\n"
        "<p>load 50%% of %unknown% and 5 %% 3</p>\n"
        "\n"
        "<p>board A-0042 firmware 3.1 on gw7</p>\n"
        "\n"
        "\n"
        "<table>\n"
        "\n"
        "<tr><td>e1-0</td><td>up</td><td>Gateway 7</td><td>%alarm%</td></tr>\n"
        "\n"
        "<tr><td>e1-1</td><td>down</td><td>Gateway 7</td><td>LOS</td></tr>\n"
        "\n"
        "<tr><td>e1-2</td><td>loop</td><td>Gateway 7</td><td>%alarm%</td></tr>\n"
        "\n"
        "</table>\n"
        "<ul></ul>\n"
        "<p>root port</p>\n"
        "</body></html>\n";
    EXPECT_EQ(Render(root, page), expected);
}

TEST_F(StatPage, TextWithoutMarkupIsCopied) {
    const std::string page =
        "<html>\n<b>bold</b> a > b, <!DOCTYPE x>, <!-x->, <!--G-->, <!--GE.x-->, <!--GENX-->\r\n\ttab \x01";
    EXPECT_EQ(Render(root, page), page);
    // A lone "%" opens a reference: the end of the template cuts it off, a second "%" ends it.
    EXPECT_EQ(Render(root, page + "%5"), page);
    EXPECT_EQ(Render(root, page + "%5%"), page + "%5%");
    EXPECT_EQ(Render(root, "no markup at all"), "no markup at all");
    EXPECT_EQ(Render(root, ""), "");
}

TEST_F(StatPage, UnfinishedMarkupAtTheEndIsDropped) {
    EXPECT_EQ(Render(root, "abc<"), "abc");
    EXPECT_EQ(Render(root, "abc<!-"), "abc");
    EXPECT_EQ(Render(root, "abc<!--GEN.board-"), "abc");
    EXPECT_EQ(Render(root, "abc<!--GEN.board--"), "abc");
    EXPECT_EQ(Render(root, "abc %title"), "abc ");
    EXPECT_EQ(Render(root, "abc<b"), "abc<b") << "a tag is not markup once it is known";
}

TEST_F(StatPage, ValueNamesAndBlockNamesAreTakenAsWritten) {
    root.values["two words"] = "2w";
    root.values["multi\nline"] = "ml";
    root.values["<b>"] = "bold";
    EXPECT_EQ(Render(root, "[%two words%][%multi\nline%][%<b>%][% title%]"), "[2w][ml][bold][% title%]");

    Node sub;
    sub.values["x"] = "X";
    root.children["sub-unit"] = &sub;
    root.children["spaced "] = &sub;
    // Single hyphens belong to the name; what follows the first "--" up to ">" is skipped.
    EXPECT_EQ(Render(root, "<!--GEN.sub-unit--ignored-->%x%<!--GEN.end-->."), "X.");
    EXPECT_EQ(Render(root, "<!--GEN.spaced -->%x%<!--GEN.end-- this too >!"), "X!");
    EXPECT_EQ(Render(root, "<!--GEN.subunit-->%x%<!--GEN.end-->."), ".");
}

TEST_F(StatPage, OutermostEndStopsThePage) {
    EXPECT_EQ(Render(root, "head %host%<!--GEN.end-->tail %host%"), "head gw7");
    // A block without its end runs to the end of the template.
    EXPECT_EQ(Render(root, "a<!--GEN.board-->%serial% %title%"), "aA-0042 Gateway 7");
}

TEST_F(StatPage, CollectionRepeatsItsBlockPerElement) {
    for (bool alwaysTrue : {false, true}) {
        Node::nextAlwaysTrue = alwaysTrue;
        EXPECT_EQ(Render(root, "<!--GEN.ports-->(%port%)<!--GEN.end-->."), "(e1-0)(e1-1)(e1-2).")
            << alwaysTrue;
        EXPECT_EQ(Render(root, "<!--GEN.empty-->(%port%)<!--GEN.end-->."), ".") << alwaysTrue;
        // Without an end, each element's block runs to the end of the template.
        EXPECT_EQ(Render(root, "x<!--GEN.ports-->[%port%]"), "x[e1-0][e1-1][e1-2]") << alwaysTrue;
    }
    root.collections["ports"].resize(1);
    EXPECT_EQ(Render(root, "<!--GEN.ports-->(%port%)<!--GEN.end-->."), "(e1-0).");
}

TEST_F(StatPage, NestedCollectionsKeepTheirOwnPositions) {
    Node cards[2];
    Node channels[3];
    cards[0].values["card"] = "c0";
    cards[1].values["card"] = "c1";
    for (int i = 0; i < 3; ++i) channels[i].values["ch"] = std::to_string(i);
    cards[0].collections["channels"] = {&channels[0], &channels[1]};
    cards[1].collections["channels"] = {&channels[2]};
    root.collections["cards"] = {&cards[0], &cards[1]};
    const std::string page =
        "<!--GEN.cards-->%card%:<!--GEN.channels-->%card%/%ch%@%host%,<!--GEN.end-->;<!--GEN.end-->$";
    EXPECT_EQ(Render(root, page), "c0:c0/0@gw7,c0/1@gw7,;c1:c1/2@gw7,;$");
}

TEST_F(StatPage, IgnoredBlockWritesNothingOfItsInsides) {
    const std::string page =
        "<!--GEN.nothing-->%title%<!--GEN.ports-->%port%<!--GEN.board-->%serial%<!--GEN.end-->"
        "<!--GEN.end-->%%<!--GEN.end-->after %host%";
    root.lookups = 0;
    EXPECT_EQ(Render(root, page), "after gw7");
    // Lookups inside the ignored block still reach the root, they are just not written:
    // title, port and serial inside, host after.
    EXPECT_EQ(root.lookups, 4);
}

// Each block level recurses: a template nesting too deep must end the page with a
// failure, not overflow the stack.
TEST_F(StatPage, NestingDeeperThanTheLimitEndsThePageWithFailure) {
    const std::size_t limit = Stat::Html::GeneratorV1::kMaxDepth;
    auto nested = [](std::size_t levels, const std::string& inner) {
        std::string page;
        for (std::size_t i = 0; i < levels; ++i) page += "<!--GEN.board-->";
        page += inner;
        for (std::size_t i = 0; i < levels; ++i) page += "<!--GEN.end-->";
        return page + "tail";
    };
    // Only the first level finds the board; the deeper ones are ignored blocks, which
    // nest all the same.
    EXPECT_EQ(Render(root, nested(1, "%serial%")), "A-0042tail");
    std::istringstream atLimit(nested(limit, "%host%"));
    std::ostringstream out;
    EXPECT_TRUE(Stat::Html::generateV1(root, out, atLimit));
    EXPECT_EQ(out.str(), "tail");

    std::istringstream overLimit("before " + nested(limit + 1, "%host%"));
    out.str("");
    EXPECT_FALSE(Stat::Html::generateV1(root, out, overLimit));
    EXPECT_EQ(out.str(), "before ");

    // A template of a hundred thousand open blocks.
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<!--GEN.ports-->";
    std::istringstream huge(deep);
    out.str("");
    EXPECT_FALSE(Stat::Html::generateV1(root, out, huge));
    EXPECT_EQ(out.str(), "");
}

TEST(StatValue, TestsTrueOnlyWhenValid) {
    Stat::Value none;
    Stat::Value empty{std::string()};
    EXPECT_FALSE(none);
    EXPECT_TRUE(empty);
    EXPECT_EQ(empty.text(), "");
    EXPECT_TRUE(Stat::Value("x") ? true : false);
}

}  // namespace
