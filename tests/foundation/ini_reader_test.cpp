#include "foundation/ini_reader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Bit values of the kinds of agent an agent link serves, as in the
// monitoring configuration.
enum AddressType { kindA = 1, kindB = 2, kindC = 4 };
const IniFile::Symbol<AddressType> addressTypes[] = {
    {"alpha", kindA}, {"beta", kindB}, {"gamma", kindC}, {nullptr, kindA}};

struct Doc {
  explicit Doc(const std::string& text) {
    std::istringstream in(text);
    in >> file;
  }
  IniFile::SubSection& section(const std::string& name = "s") { return *file[name].First(); }
  IniFile::File file;
};

}  // namespace

TEST(IniReader, OptionalKeysConvertOrReport) {
  Doc doc(
      "[s]\n"
      "flag=enabled\n"
      "bad=on\n"
      "text=\n"
      "kind=beta\n"
      "num=0x4\n"
      "oct=07\n"
      "junk=4x\n"
      "empty=\n"
      "unknown=1\n");
  std::ostringstream out;
  IniFile::Reader reader("test: ", out);
  bool flag = false, bad = true, absent = true;
  std::string text = "default";
  AddressType kind = kindA, num = kindA, oct = kindA, junk = kindB, empty = kindC;
  bool& flagSet = reader.optional.add(&flag, "flag");
  bool& badSet = reader.optional.add(&bad, "bad");
  bool& absentSet = reader.optional.add(&absent, "absent");
  bool& textSet = reader.optional.add(&text, "text");
  reader.optional.add(&kind, "kind", addressTypes);
  reader.optional.add(&num, "num", addressTypes);
  reader.optional.add(&oct, "oct", addressTypes);
  bool& junkSet = reader.optional.add(&junk, "junk", addressTypes);
  reader.optional.add(&empty, "empty", addressTypes);

  EXPECT_TRUE(reader.parse(doc.section()));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(flagSet);
  EXPECT_TRUE(bad);  // "on" is not a bool here: unchanged
  EXPECT_FALSE(badSet);
  EXPECT_TRUE(absent);
  EXPECT_FALSE(absentSet);
  EXPECT_EQ("", text);
  EXPECT_TRUE(textSet);
  EXPECT_EQ(kindB, kind);
  EXPECT_EQ(kindC, num);
  EXPECT_EQ(7, static_cast<int>(oct));
  EXPECT_EQ(kindB, junk);  // invalid text stores nothing
  EXPECT_FALSE(junkSet);
  EXPECT_EQ(kindC, empty);
  EXPECT_EQ(
      "test: optional key \"bad\" has invalid value=\"on\", line 3. Key will be ignored.\n"
      "test: optional key \"junk\" has invalid value=\"4x\", line 8. Key will be ignored.\n"
      "test: optional key \"empty\" has invalid value=\"\", line 9. Key will be ignored.\n",
      out.str());
}

TEST(IniReader, EveryBoolWord) {
  const char* yes[] = {"true", "yes", "enabled", "enable", "1"};
  const char* no[] = {"false", "no", "disabled", "disable", "0"};
  const char* neither[] = {"on", "off", "Yes", "TRUE", " 1", "2", ""};
  for (const char* word : yes) {
    bool value = false;
    IniFile::Private::TKeyValue<bool> kv(&value, "k", nullptr);
    EXPECT_TRUE(kv.do_parse(word)) << word;
    EXPECT_TRUE(value) << word;
  }
  for (const char* word : no) {
    bool value = true;
    IniFile::Private::TKeyValue<bool> kv(&value, "k", nullptr);
    EXPECT_TRUE(kv.do_parse(word)) << word;
    EXPECT_FALSE(value) << word;
  }
  for (const char* word : neither) {
    bool value = true;
    IniFile::Private::TKeyValue<bool> kv(&value, "k", nullptr);
    EXPECT_FALSE(kv.do_parse(word)) << word;
    EXPECT_TRUE(value) << word;
  }
}

TEST(IniReader, EnumerationNumbersOutOfRangeAreInvalid) {
  AddressType value = kindA;
  IniFile::Private::TKeyValue<AddressType> kv(&value, "k", addressTypes);
  EXPECT_FALSE(kv.do_parse("99999999999999999999"));
  EXPECT_FALSE(kv.do_parse("0x"));
  EXPECT_FALSE(kv.do_parse("8"));  // beyond the values the enumeration can hold
  EXPECT_FALSE(kv.do_parse("-1"));
  EXPECT_EQ(kindA, value);
  EXPECT_TRUE(kv.do_parse("2"));
  EXPECT_EQ(kindB, value);

  enum Wide { w0 = 0, w16 = 16 };
  const IniFile::Symbol<Wide> wide[] = {{"zero", w0}, {"sixteen", w16}, {nullptr, w0}};
  Wide w = w0;
  IniFile::Private::TKeyValue<Wide> wkv(&w, "w", wide);
  EXPECT_TRUE(wkv.do_parse("010"));  // octal
  EXPECT_EQ(8, static_cast<int>(w));
  EXPECT_TRUE(wkv.do_parse("31"));
  EXPECT_FALSE(wkv.do_parse("32"));

  enum Signed { minusTwo = -2, three = 3 };
  const IniFile::Symbol<Signed> signedTable[] = {{"m", minusTwo}, {"t", three}, {nullptr, three}};
  Signed v = three;
  IniFile::Private::TKeyValue<Signed> skv(&v, "s", signedTable);
  EXPECT_TRUE(skv.do_parse("-4"));
  EXPECT_EQ(-4, static_cast<int>(v));
  EXPECT_FALSE(skv.do_parse("-5"));
  EXPECT_FALSE(skv.do_parse("4"));
}

TEST(IniReader, DuplicatedOptionalKeys) {
  Doc doc(
      "[s]\n"
      "x=1\n"
      "k=yes\n"
      "x=2\n"
      "x=3\n"
      "\n"
      "k=no\n");
  std::ostringstream out;
  IniFile::Reader reader("traces: ", out);
  bool k = false, x = false;
  bool& kSet = reader.optional.add(&k, "k");
  reader.optional.add(&x, "x");
  EXPECT_TRUE(reader.parse(doc.section()));
  EXPECT_FALSE(k);
  EXPECT_FALSE(kSet);
  EXPECT_FALSE(x);
  EXPECT_EQ(
      "traces: optional key \"k\" is duplicated!\n"
      "traces:  first occurence at 3 line.\n"
      "traces:  second occurence at 7 line. Both keys will be ignored.\n"
      "traces: optional key \"x\" specified more than once: 2 4 5 lines. All keys will be ignored.\n",
      out.str());
}

TEST(IniReader, RequiredKeyProblemsStopTheParse) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"\n[s]\nother=1\n", "r: required key \"a\" not present, line 2\n"},
      {"[s]\na=maybe\n", "r: required key \"a\" has invalid value=\"maybe\", line 2\n"},
      {"[s]\na=1\na=0\n",
       "r: required key \"a\" is duplicated!\n"
       "r:  first occurence at 2 line.\n"
       "r:  second occurence at 3 line.\n"},
      {"[s]\na=1\na=0\n\na=1\n", "r: required key \"a\" specified more than once: 2 3 5 lines\n"},
  };
  for (const Case& c : cases) {
    Doc doc(c.text);
    std::ostringstream out;
    IniFile::Reader reader("r: ", out);
    bool a = false, b = false, opt = false;
    reader.required.add(&a, "a");
    bool& bSet = reader.required.add(&b, "b");
    bool& optSet = reader.optional.add(&opt, "opt");
    EXPECT_FALSE(reader.parse(doc.section())) << c.text;
    EXPECT_EQ(c.message, out.str()) << c.text;  // later keys not even looked at
    EXPECT_FALSE(bSet);
    EXPECT_FALSE(optSet);
  }
}

TEST(IniReader, RequiredAndOptionalTogether) {
  Doc doc("[s]\nname=box 1\nkind=gamma\nflag=1\n");
  std::ostringstream out;
  IniFile::Reader reader("r: ", out);
  std::string name;
  AddressType kind = kindA;
  bool flag = false;
  reader.required.add(&name, "name");
  reader.required.add(&kind, "kind", addressTypes);
  reader.optional.add(&flag, "flag");
  EXPECT_TRUE(reader.parse(doc.section()));
  EXPECT_EQ("box 1", name);
  EXPECT_EQ(kindC, kind);
  EXPECT_TRUE(flag);
  EXPECT_EQ("", out.str());
}
