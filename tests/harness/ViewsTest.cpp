// The harness's views: values as people read them, JSON as scripts read it,
// the topology tree, object IDs and the words for value codes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "JsonView.h"
#include "ObjectId.h"
#include "TextView.h"
#include "ValueNames.h"

namespace nimbra_host {
namespace {

PI::CProperty Text(const std::string& text) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30007), false);
  p.SetValue(text);
  return p;
}
PI::CProperty Enum(int value, int unit = 1) {
  std::vector<int> allowed = {40024, 40150, 40095};
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30017), false);
  p.SetValue(value, allowed);
  p.unit = unit;
  return p;
}
PI::CProperty Number(unsigned long value, int unit) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30059), false);
  p.SetValue(value);
  p.unit = unit;
  return p;
}
PI::CProperty Range(int value, int min, int max, int unit, bool writable) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30005), writable);
  p.SetValue(value, min, max, 1u);
  p.unit = unit;
  return p;
}
PI::CProperty Set(std::vector<int> current) {
  std::vector<int> allowed = {40387, 40128};
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30165), false);
  p.SetValue(current, allowed);
  return p;
}
PI::CProperty Float(float value, int unit) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(30489), false);
  p.SetValue(value);
  p.unit = unit;
  return p;
}

TEST(TextView, ValuesInWordsAndUnits) {
  struct Case {
    PI::CProperty property;
    const char* text;
  };
  const Case cases[] = {
      {Text("Torvik P3700 (0)"), "Torvik P3700 (0)"},
      {Text(""), "\"\""},
      {Enum(40024), "good"},
      {Enum(40095), "failed"},
      {Enum(40410), "throttled"},
      {Enum(40480), "add-in card"},
      {Enum(12345), "12345"},
      {Number(381554, 21002), "381554 MiB"},
      {Number(12, 1), "12"},
      {Number(7, 99999), "7"},
      {Range(30, 2, 255, 21007, true), "30 s (2..255, writable)"},
      {Range(98, 0, 100, 21010, false), "98 %"},
      {Set({}), "none"},
      {Set({40459, 40452, 777}), "temperature exceeded, read-only, 777"},
      {Float(632.0983f, 21033), "632.1 GB"},
      {Float(31.0f, 21000), "31.0 °C"},
      {PI::CProperty(), "(no value)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, ValueText(c.property));
}

TEST(TextView, PropertyLineOfAnUnnamedProperty) {
  PI::CProperty unknown = Number(0, 1);
  unknown.id = 30122;
  EXPECT_EQ("30122  (unnamed)                0", PropertyLine(unknown));
}

TEST(TextView, TopologyIsATreeAndEveryObjectAppearsOnce) {
  auto object = [](uint64_t id, uint32_t kind, const std::string& name) {
    PI::CObject o;
    o.m_ID = id;
    o.m_Kind = kind;
    o.m_Properties.push_back(Text(name));
    return o;
  };
  PI::CObject plugin = object(1, 19006, "P");
  PI::CObject adapter = object(2, 19038, "A");
  PI::CObject drive = object(3, 19018, "D");
  PI::CObject orphan = object(4, 19018, "O");
  PI::CObject loopA = object(5, 19038, "L1");
  PI::CObject loopB = object(6, 19038, "L2");
  plugin.AddChild(2);
  adapter.AddChild(3);
  adapter.AddChild(99);  // a child that is not in the report
  loopA.AddChild(6);
  loopB.AddChild(5);
  adapter.m_Locked = 1;
  std::ostringstream out;
  PrintTopology(out, {drive, loopA, orphan, adapter, plugin, loopB});
  EXPECT_EQ(
      "drive 0x0000000000000004  O  (changes 0)\n"
      "  30007  Name                     O\n"
      "\n"
      "plug-in 0x0000000000000001  P  (changes 0)\n"
      "  30007  Name                     P\n"
      "\n"
      "  adapter 0x0000000000000002  A  (changes 0, locked)\n"
      "    30007  Name                     A\n"
      "\n"
      "    drive 0x0000000000000003  D  (changes 0)\n"
      "      30007  Name                     D\n"
      "\n"
      "adapter 0x0000000000000005  L1  (changes 0)\n"
      "  30007  Name                     L1\n"
      "\n"
      "  adapter 0x0000000000000006  L2  (changes 0)\n"
      "    30007  Name                     L2\n",
      out.str());
}

// The value forms the golden document does not hold.
TEST(JsonView, ValueByKindWithItsExtras) {
  struct Case {
    PI::CProperty property;
    const char* json;  // the keys after "writable"
  };
  const Case cases[] = {
      {Number(18446744073709551615UL, 1), R"j("value":18446744073709551615)j"},
      {Set({40387}), R"j("value":[40387],"allowed":[40387,40128])j"},
      {Float(26.0f, 21000), R"j("value":26.0)j"},
      {Float(1.2009871f, 21034), R"j("value":1.2009871)j"},
      {PI::CProperty(), R"j("value":null)j"},
  };
  for (const Case& c : cases) {
    const std::string json = PropertyJson(c.property).dump();
    const size_t at = json.find("\"value\"");
    ASSERT_NE(std::string::npos, at) << json;
    EXPECT_EQ(std::string(c.json) + "}", json.substr(at)) << json;
  }
}

TEST(ObjectIds, HexadecimalWithOrWithoutPrefix) {
  struct Case {
    const char* text;
    bool valid;
    uint64_t id;
  };
  const Case cases[] = {
      {"0x0135000000000001", true, 0x0135000000000001ULL},
      {"0X0135000000000001", true, 0x0135000000000001ULL},
      {"135000000000001", true, 0x0135000000000001ULL},
      {"0xffffffffffffffff", true, ~0ULL},
      {"0x0", true, 0},
      {"7", true, 7},
      {"0x", false, 0},
      {"", false, 0},
      {"0x10000000000000000", false, 0},
      {"0x0135 0001", false, 0},
      {"-1", false, 0},
      {"+1", false, 0},
      {"0x1g", false, 0},
      {"30007x", false, 0},
  };
  for (const Case& c : cases) {
    const auto id = ParseObjectId(c.text);
    EXPECT_EQ(c.valid, static_cast<bool>(id)) << c.text;
    if (id) {
      EXPECT_EQ(c.id, *id) << c.text;
    }
  }
  EXPECT_EQ("0x0135000000000001", FormatObjectId(0x0135000000000001ULL));
  EXPECT_EQ("0x00000000000000AB", FormatObjectId(0xAB));
}

TEST(ValueNames, EventsSeveritiesKindsAndFallbacks) {
  EXPECT_EQ("temperature 84 °C or more", EventName(10960));
  EXPECT_EQ("adapter added", EventName(11093));
  EXPECT_EQ("event 4711", EventName(4711));
  EXPECT_EQ("error", SeverityName(4));
  EXPECT_EQ("severity 9", SeverityName(9));
  EXPECT_EQ("adapter", KindName(19038));
  EXPECT_EQ("object", KindName(1));
  EXPECT_EQ("", OperationName(1));
  EXPECT_EQ("", PropertyLabel(30122));
  EXPECT_EQ("", UnitSuffix(1));
}

}  // namespace
}  // namespace nimbra_host
