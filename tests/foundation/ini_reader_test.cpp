#include "foundation/ini_reader.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Bit values of the kinds of agent an agent link serves, as in the
// monitoring configuration.
enum AddressType { kindA = 1, kindB = 2, kindC = 4 };
const IniFile::Symbol<AddressType> addressTypes[] = {
    {"alpha", kindA}, {"beta", kindB}, {"gamma", kindC}, {nullptr, kindA}};

IniFile::SubSection& section(IniFile::File& file, const std::string& text) {
  std::istringstream in(text);
  in >> file;
  return *file["s"].First();
}

}  // namespace

TEST(IniReader, OptionalKeysConvertOrReport) {
  IniFile::File file;
  IniFile::SubSection& s =
      section(file, "[s]\nflag=enabled\ntext=\nkind=beta\nnum=0x4\njunk=4x\nempty=\n");
  std::ostringstream out;
  IniFile::Reader reader("test: ", out);
  bool flag = false, absent = true;
  std::string text = "default";
  AddressType kind = kindA, num = kindA, junk = kindB, empty = kindC;
  bool& flagSet = reader.optional.add(&flag, "flag");
  bool& absentSet = reader.optional.add(&absent, "absent");
  reader.optional.add(&text, "text");
  reader.optional.add(&kind, "kind", addressTypes);
  reader.optional.add(&num, "num", addressTypes);
  bool& junkSet = reader.optional.add(&junk, "junk", addressTypes);
  reader.optional.add(&empty, "empty", addressTypes);

  EXPECT_TRUE(reader.parse(s));
  EXPECT_TRUE(flag && flagSet);
  EXPECT_TRUE(absent && !absentSet);
  EXPECT_EQ("", text);
  EXPECT_EQ(kindB, kind);
  EXPECT_EQ(kindC, num);
  EXPECT_TRUE(junk == kindB && !junkSet);  // an invalid number stores nothing
  EXPECT_EQ(kindC, empty);
  EXPECT_EQ(
      "test: optional key \"junk\" has invalid value=\"4x\", line 6. Key will be ignored.\n"
      "test: optional key \"empty\" has invalid value=\"\", line 7. Key will be ignored.\n",
      out.str());
}

TEST(IniReader, BoolWordsAndEnumerationNumbers) {
  // "1": taken and true; "0": taken and false; "-": refused.
  for (const char* word : {"1true", "1yes", "1enabled", "1enable", "11", "0false", "0no", "0disabled", "0disable",
                           "00", "-on", "-off", "-Yes", "- 1", "-"}) {
    bool value = false;
    IniFile::Private::TKeyValue<bool> kv(&value, "k", nullptr);
    EXPECT_EQ(word[0] != '-', kv.do_parse(word + 1)) << word;
    EXPECT_EQ(word[0] == '1', value) << word;
  }

  // Only numbers that the enumeration can hold: 0..7 for values 1, 2, 4.
  AddressType value = kindA;
  IniFile::Private::TKeyValue<AddressType> kv(&value, "k", addressTypes);
  for (const char* bad : {"99999999999999999999", "0x", "8", "-1"})
    EXPECT_FALSE(kv.do_parse(bad)) << bad;
  EXPECT_EQ(kindA, value);
  EXPECT_TRUE(kv.do_parse("07"));
  EXPECT_EQ(7, static_cast<int>(value));

  // The range is the smallest bit field that holds every value of the table.
  enum Signed { minusTwo = -2, sixteen = 16 };
  const IniFile::Symbol<Signed> signedTable[] = {{"m", minusTwo}, {"s", sixteen}, {nullptr, sixteen}};
  Signed v = sixteen;
  IniFile::Private::TKeyValue<Signed> skv(&v, "s", signedTable);
  for (const char* ok : {"31", "-32"})
    EXPECT_TRUE(skv.do_parse(ok)) << ok;
  for (const char* bad : {"32", "-33"})
    EXPECT_FALSE(skv.do_parse(bad)) << bad;
  // A largest value of 2^k - 1 fills its field: 3 is in, 4 is not.
  enum Full { none = 0, three = 3 };
  const IniFile::Symbol<Full> fullTable[] = {{"n", none}, {"t", three}, {nullptr, none}};
  Full f = none;
  IniFile::Private::TKeyValue<Full> fkv(&f, "f", fullTable);
  EXPECT_TRUE(fkv.do_parse("3"));
  EXPECT_FALSE(fkv.do_parse("4"));
}

TEST(IniReader, DuplicatedOptionalKeys) {
  IniFile::File file;
  IniFile::SubSection& s = section(file, "[s]\nx=1\nk=yes\nx=2\nx=3\n\nk=no\n");
  std::ostringstream out;
  IniFile::Reader reader("traces: ", out);
  bool k = false, x = false;
  bool& kSet = reader.optional.add(&k, "k");
  reader.optional.add(&x, "x");
  EXPECT_TRUE(reader.parse(s));
  EXPECT_FALSE(k || kSet || x);
  EXPECT_EQ(
      "traces: optional key \"k\" is duplicated!\n"
      "traces:  first occurence at 3 line.\n"
      "traces:  second occurence at 7 line. Both keys will be ignored.\n"
      "traces: optional key \"x\" specified more than once: 2 4 5 lines. All keys will be ignored.\n",
      out.str());
}

TEST(IniReader, RequiredKeyProblemsStopTheParse) {
  const std::pair<const char*, const char*> cases[] = {
      {"[s]\nname=box 1\nkind=gamma\n", ""},
      {"\n[s]\nother=1\n", "r: required key \"name\" not present, line 2\n"},
      {"[s]\nname=a\nkind=maybe\n", "r: required key \"kind\" has invalid value=\"maybe\", line 3\n"},
      {"[s]\nname=1\nname=0\n",
       "r: required key \"name\" is duplicated!\n"
       "r:  first occurence at 2 line.\n"
       "r:  second occurence at 3 line.\n"},
      {"[s]\nname=1\nname=0\n\nname=1\n", "r: required key \"name\" specified more than once: 2 3 5 lines\n"},
  };
  for (const auto& c : cases) {
    IniFile::File file;
    std::ostringstream out;
    IniFile::Reader reader("r: ", out);
    std::string name;
    AddressType kind = kindA;
    bool opt = false;
    reader.required.add(&name, "name");
    bool& kindSet = reader.required.add(&kind, "kind", addressTypes);
    bool& optSet = reader.optional.add(&opt, "opt");
    EXPECT_EQ(*c.second == '\0', reader.parse(section(file, c.first))) << c.first;
    EXPECT_EQ(c.second, out.str()) << c.first;  // one message: later keys are not looked at
    EXPECT_EQ(*c.second == '\0', kindSet);
    EXPECT_FALSE(optSet);
  }
}
