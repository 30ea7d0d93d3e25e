#include "monitoring/stat_html.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace {

struct Node : Stat::Object {
  std::map<std::string, std::string> values;
  std::map<std::string, Node*> objects;
  std::map<std::string, std::vector<Node*>> sequences;

  Stat::Value statistics_value(const std::string& name) const override {
    auto it = values.find(name);
    return it == values.end() ? Stat::Value() : Stat::Value(it->second);
  }
  Stat::Object* statistics_object(const std::string& name) const override {
    auto it = objects.find(name);
    return it == objects.end() ? nullptr : it->second;
  }
  std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& name) const override;
};

class Cursor : public Stat::IteratorBase {
public:
  explicit Cursor(const std::vector<Node*>& nodes) : nodes_(nodes), at_(0) {}
  void reset() override { at_ = 0; }
  bool is_valid() const override { return at_ < nodes_.size(); }
  bool next() override { return ++at_ < nodes_.size(); }
  Stat::Object& current() override { return *nodes_[at_]; }

private:
  const std::vector<Node*>& nodes_;
  size_t at_;
};

std::unique_ptr<Stat::IteratorBase> Node::statistics_iterator(const std::string& name) const {
  auto it = sequences.find(name);
  if (it == sequences.end())
    return nullptr;
  return std::unique_ptr<Stat::IteratorBase>(new Cursor(it->second));
}

// A template and the page it must give.
struct Case {
  const char* tmpl;
  const char* expected;
};

void ExpectPages(Node& root, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpl);
    std::istringstream tmpl(c.tmpl);
    std::ostringstream out;
    EXPECT_EQ(1, Stat::Html::generateV1(root, out, tmpl));
    EXPECT_EQ(c.expected, out.str());
  }
}

TEST(StatHtml, Expansions) {
  Node root, sys, p[3], v[3];
  root.values = {{"load", "42"}, {"x", "X"}};
  sys.values = {{"ver", "1.2"}};
  root.objects = {{"sys", &sys}, {"sub-obj", &sys}};
  for (int i = 0; i < 3; ++i) {
    p[i].values = {{"name", "p" + std::to_string(i + 1)}};
    v[i].values = {{"id", std::to_string(5 * (i + 1))}};
  }
  p[0].sequences = {{"vlans", {&v[0]}}};
  p[1].sequences = {{"vlans", {&v[1], &v[2]}}};
  root.sequences = {{"ports", {&p[0], &p[1], &p[2]}}, {"none", {}}};

  const std::vector<Case> cases = {
      {"<html><body><p>plain text</p></body></html>\n", "<html><body><p>plain text</p></body></html>\n"},
      {"Load: %load%, %nope% stays, 100%% done", "Load: 42, %nope% stays, 100%% done"},
      {"<a href=\"%x%\">%x%</a><!-- note %x% --> <!-y>", "<a href=\"%x%\">X</a><!-- note %x% --> <!-y>"},
      {"[<!--GEN.ports-->%name%:%load%,<!--GEN.end-->]", "[p1:42,p2:42,p3:42,]"},
      {"a<!--GEN.none-->X%load%<!--GEN.end-->b", "ab"},
      {"a<!--GEN.missing-->x<!--GEN.ports-->y<!--GEN.sys-->w<!--GEN.end--><!--GEN.end-->z<!--GEN.end-->b%load%",
       "ab42"},
      {"<!--GEN.sub-obj-- dropped -->v%ver% %load%<!--GEN.end-->", "v1.2 42"},
      {"<!--GEN.ports-->%name%(<!--GEN.vlans-->%id%.%name%;<!--GEN.end-->)<!--GEN.end-->.",
       "p1(5.p1;)p2(10.p2;15.p2;)p3()."},
      {"<!--GEN.ports-->%name%", "p1p2p3"},  // no "end": each pass runs to the end
      {"a<!--GEN.end-->b", "a"},
      {"abc<", "abc"},
      {"a%load", "a"},
  };
  ExpectPages(root, cases);
}

// A value is looked up from the innermost object out: an element's own
// value hides its enclosing objects' values of the same name, and a name
// the element lacks comes from the nearest enclosing object that has it.
TEST(StatHtml, InnermostObjectFirst) {
  Node root, info, p[2], v[2];
  root.values = {{"name", "root"}, {"site", "s0"}, {"level", "0"}};
  info.values = {{"name", "info"}};
  root.objects = {{"info", &info}};
  p[0].values = {{"name", "p1"}, {"level", "1"}};
  p[1].values = {{"level", "1"}};  // no name: the root's shows
  v[0].values = {{"name", "v1"}, {"level", "2"}};
  v[1].values = {{"site", "s2"}};
  p[0].sequences = {{"vlans", {&v[0], &v[1]}}};
  root.sequences = {{"ports", {&p[0], &p[1]}}};

  const std::vector<Case> cases = {
      {"%name% %level%", "root 0"},
      {"<!--GEN.info-->%name% %level%<!--GEN.end-->", "info 0"},
      {"<!--GEN.ports-->%name% %level%;<!--GEN.end-->", "p1 1;root 1;"},
      {"<!--GEN.ports--><!--GEN.vlans-->%name%/%level%/%site%;<!--GEN.end--><!--GEN.end-->", "v1/2/s0;p1/1/s2;"},
      {"<!--GEN.ports--><!--GEN.vlans--><!--GEN.end-->%name%<!--GEN.end-->|%name%", "p1root|root"},
  };
  ExpectPages(root, cases);
}

}  // namespace
