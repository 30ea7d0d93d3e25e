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

TEST(StatHtml, Expansions) {
  Node root, sys, p1, p2, p3, v5, v10, v20;
  root.values = {{"load", "42"}, {"name", "root"}, {"x", "X"}};
  sys.values = {{"ver", "1.2"}};
  root.objects = {{"sys", &sys}, {"sub-obj", &sys}};
  p1.values = {{"name", "p1"}};
  p2.values = {{"name", "p2"}};
  p3.values = {{"name", "p3"}};
  v5.values = {{"id", "5"}};
  v10.values = {{"id", "10"}};
  v20.values = {{"id", "20"}};
  p1.sequences = {{"vlans", {&v5}}};
  p2.sequences = {{"vlans", {&v10, &v20}}};
  root.sequences = {{"ports", {&p1, &p2, &p3}}, {"none", {}}};

  struct Case {
    const char* tmpl;
    const char* expected;
  };
  const Case cases[] = {
      {"<html><body><p>plain text</p></body></html>\n", "<html><body><p>plain text</p></body></html>\n"},
      {"Load: %load%.", "Load: 42."},
      {"%nope% stays", "%nope% stays"},
      {"100%% done", "100%% done"},
      {"<a href=\"%x%\">%x%</a>", "<a href=\"%x%\">X</a>"},
      {"<!-- note %x% --> <!x> <!-y>", "<!-- note %x% --> <!x> <!-y>"},
      {"[<!--GEN.ports-->%name%:%load%,<!--GEN.end-->]", "[p1:42,p2:42,p3:42,]"},
      {"a<!--GEN.none-->X%load%<!--GEN.end-->b", "ab"},
      {"a<!--GEN.missing-->x<!--GEN.ports-->y<!--GEN.sys-->w<!--GEN.end--><!--GEN.end-->z<!--GEN.end-->b%load%",
       "ab42"},
      {"<!--GEN.sys-->v%ver% %load%<!--GEN.end-->", "v1.2 42"},
      {"<!--GEN.sub-obj-- dropped -->%ver%<!--GEN.end-->", "1.2"},
      {"<!--GEN.ports-->%name%(<!--GEN.vlans-->%id%.%name%;<!--GEN.end-->)<!--GEN.end-->.",
       "p1(5.p1;)p2(10.p2;20.p2;)p3()."},
      {"<!--GEN.ports-->%name%", "p1p2p3"},  // no "end": each pass runs to the end
      {"a<!--GEN.end-->b", "a"},
      {"abc<", "abc"},
      {"a%load", "a"},
      {"a<!--GEN.sys", "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmpl);
    std::istringstream tmpl(c.tmpl);
    std::ostringstream out;
    EXPECT_EQ(1, Stat::Html::generateV1(root, out, tmpl));
    EXPECT_EQ(c.expected, out.str());
  }
}

}  // namespace
