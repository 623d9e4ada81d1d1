#include "engine/udf/udf_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/udf/udf_text.h"
#include "tests/engine/udf/cursor_order.h"

namespace halcyon {
namespace {

UdfNode& leaf(NodeMap& map, const std::string& name, const std::string& value) {
  UdfNode& n = map.addChild(name);
  n.setValue(value);
  return n;
}

TEST(NodeMap, LookupIgnoresAsciiCaseOnly) {
  NodeMap map;
  leaf(map, "Styles", "1");
  leaf(map, "\xC0\xE1", "cyrillic");  // cp1251 letters compare by value
  EXPECT_NE(map.findChild("styles"), nullptr);
  EXPECT_NE(map.findChild("STYLES"), nullptr);
  EXPECT_EQ(map.findChild("Style"), nullptr);
  EXPECT_NE(map.findChild("\xC0\xE1"), nullptr);
  EXPECT_EQ(map.findChild("\xE0\xE1"), nullptr);
  EXPECT_EQ(map.count(), 2);
}

TEST(NodeMap, InsertionFollowsCursorAndReplacesSameName) {
  NodeMap map;
  EXPECT_EQ(map.current(), nullptr);
  leaf(map, "a", "1");
  leaf(map, "b", "2");
  leaf(map, "c", "3");
  EXPECT_EQ(map.current()->name(), "c");
  EXPECT_EQ(namesInCursorOrder(map), (std::vector<std::string>{"c", "a", "b"}));
  map.advance();  // cursor on "a": the next insertion goes between "a" and "b"
  leaf(map, "d", "4");
  map.rewind();
  EXPECT_EQ(namesInCursorOrder(map), (std::vector<std::string>{"a", "d", "b", "c"}));
  leaf(map, "B", "replaced");
  EXPECT_EQ(map.count(), 4);
  EXPECT_EQ(map.findChild("b")->value(), "replaced");
  map.clear();
  EXPECT_EQ(map.count(), 0);
  EXPECT_EQ(map.current(), nullptr);
}

TEST(NodeMap, DestroysVeryDeepTreesWithoutRecursion) {
  auto root = std::make_unique<NodeMap>();
  NodeMap* at = root.get();
  for (int i = 0; i < 300000; ++i) at = &at->addChild("n");
  root.reset();  // would overflow the stack if destruction recursed
  SUCCEED();
}

TEST(UdfNode, NumberRule) {
  EXPECT_TRUE(isNumber(""));
  EXPECT_TRUE(isNumber(" 7"));
  EXPECT_TRUE(isNumber("-3.5e+2"));
  EXPECT_TRUE(isNumber("1."));
  EXPECT_TRUE(isNumber(".5"));
  EXPECT_FALSE(isNumber("."));
  EXPECT_FALSE(isNumber("0x10"));
  EXPECT_FALSE(isNumber("inf"));
  EXPECT_FALSE(isNumber("nan"));
  EXPECT_FALSE(isNumber("1e"));
  EXPECT_FALSE(isNumber("7 "));
  EXPECT_FALSE(isNumber("12abc"));
  EXPECT_FALSE(isNumber("   "));
}

TEST(UdfNode, Readers) {
  UdfNode n;
  auto asInt = [&n](const char* v) {
    n.setValue(v);
    return n.asInt();
  };
  auto asFloat = [&n](const char* v) {
    n.setValue(v);
    return n.asFloat();
  };
  EXPECT_EQ(asInt("12abc"), 0);
  EXPECT_EQ(asInt(""), 0);
  EXPECT_EQ(asInt(" 7"), 7);
  EXPECT_EQ(asInt("1e2"), 100);
  EXPECT_EQ(asInt("3.9"), 3);
  EXPECT_EQ(asInt("-3.9"), -3);
  EXPECT_EQ(asInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(asInt("1e300"), INT32_MIN);  // out of range, but defined
  EXPECT_FLOAT_EQ(asFloat("12abc"), 12.0f);
  EXPECT_FLOAT_EQ(asFloat("2.5"), 2.5f);
  EXPECT_FLOAT_EQ(asFloat("abc"), 0.0f);
  EXPECT_FLOAT_EQ(asFloat(""), 0.0f);
  EXPECT_FLOAT_EQ(asFloat("0x10"), 0.0f);  // decimal only
  EXPECT_FLOAT_EQ(asFloat("1e3x"), 1000.0f);
  EXPECT_FLOAT_EQ(asFloat("2e"), 2.0f);
}

TEST(UdfNode, ReadColour) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText(
      "A = array(255, 0, 255); B = object(r = 1, g = 2, b = 3); C = array(300, 0, 0); D = 16711935; E = \"0xFF00FF\";"
      "F = 4278190335; G = -16776961; H.g = 7; I = array(1, 2);",
      root));
  EXPECT_EQ(readColour(*root.findChild("A")), 0xFFFF00FFu);
  EXPECT_EQ(readColour(*root.findChild("B")), 0xFF010203u);
  EXPECT_EQ(readColour(*root.findChild("C")), 0xFF2C0000u);
  EXPECT_EQ(readColour(*root.findChild("D")), 0x00FF00FFu);
  EXPECT_EQ(readColour(*root.findChild("E")), 0u);
  EXPECT_EQ(readColour(*root.findChild("F")), 0xFF0000FFu);  // alpha above the signed range
  EXPECT_EQ(readColour(*root.findChild("G")), 0xFF0000FFu);
  EXPECT_EQ(readColour(*root.findChild("H")), 0xFF000700u);
  EXPECT_EQ(readColour(*root.findChild("I")), 0xFF010200u);
}

TEST(UdfNode, CopyIsIndependentAndKeepsName) {
  UdfNode source("src");
  source.setKind(NodeKind::Array);
  source.setCounter(2);
  source.setValue("v");
  leaf(source, "0", "x");
  leaf(leaf(source, "1", "y"), "deep", "z");
  source.rewind();

  UdfNode target("dst");
  leaf(target, "old", "gone");
  target.copyFrom(source);
  EXPECT_EQ(target.name(), "dst");
  EXPECT_EQ(target.kind(), NodeKind::Array);
  EXPECT_EQ(target.counter(), 2);
  EXPECT_EQ(target.value(), "v");
  EXPECT_EQ(target.findChild("old"), nullptr);
  EXPECT_EQ(target.current()->name(), "1");  // cursor on the last child copied
  EXPECT_EQ(namesInCursorOrder(target), (std::vector<std::string>{"1", "0"}));

  source.findChild("1")->findChild("deep")->setValue("changed");
  source.clear();
  EXPECT_EQ(target.findChild("1")->findChild("deep")->value(), "z");
}

TEST(UdfNode, CopyFromSelfOrAncestorTerminates) {
  UdfNode a("a");
  UdfNode& b = a.addChild("b");
  leaf(b, "c", "1");
  b.copyFrom(a);  // b now holds a copy of a, which contained b
  ASSERT_NE(b.findChild("b"), nullptr);
  EXPECT_EQ(b.findChild("b")->findChild("c")->value(), "1");
  a.copyFrom(a);
  EXPECT_NE(a.findChild("b"), nullptr);
}

}  // namespace
}  // namespace halcyon
