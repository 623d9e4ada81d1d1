#include "engine/udf/udf_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/fs/file_ref.h"
#include "tests/engine/udf/cursor_order.h"
#include "tests/support/temp_dir.h"

namespace halcyon {
namespace {

// The node at a path of exact child names, or null.
const UdfNode* at(const NodeMap& root, std::initializer_list<const char*> path) {
  const NodeMap* map = &root;
  const UdfNode* node = nullptr;
  for (const char* name : path) {
    node = map->findChild(name);
    if (!node) return nullptr;
    map = node;
  }
  return node;
}

std::string valueAt(const NodeMap& root, std::initializer_list<const char*> path) {
  const UdfNode* n = at(root, path);
  return n ? n->value() : std::string("<missing>");
}

TEST(UdfText, CharsetExample) {
  NodeMap root;
  ASSERT_TRUE(
      parseUdfText("ColorKey     = array(255, 0, 255);\r\n"
                   "CharWidth    = 64;\r\n"
                   "Sizes[\"0\"] = 37;\r\n"
                   "Rects[\"0\"] = array(13  , 0, 48 , 63);\r\n",
                   root));
  ASSERT_EQ(root.count(), 4);
  const UdfNode* key = at(root, {"ColorKey"});
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->kind(), NodeKind::Array);
  EXPECT_EQ(valueAt(root, {"ColorKey", "0"}), "255");
  EXPECT_EQ(valueAt(root, {"ColorKey", "1"}), "0");
  EXPECT_EQ(valueAt(root, {"ColorKey", "2"}), "255");
  EXPECT_EQ(at(root, {"CharWidth"})->kind(), NodeKind::Value);
  EXPECT_EQ(valueAt(root, {"CharWidth"}), "64");
  EXPECT_EQ(at(root, {"Sizes"})->kind(), NodeKind::Array);
  EXPECT_EQ(valueAt(root, {"Sizes", "\"0\""}), "37");
  EXPECT_EQ(at(root, {"Sizes", "0"}), nullptr);
  const UdfNode* rect = at(root, {"Rects", "\"0\""});
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->kind(), NodeKind::Array);
  EXPECT_EQ(rect->count(), 4);
  EXPECT_EQ(valueAt(root, {"Rects", "\"0\"", "0"}), "13");
  EXPECT_EQ(valueAt(root, {"Rects", "\"0\"", "3"}), "63");
}

TEST(UdfText, ListsIterateInWrittenOrderPathsFromTheLastCreated) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("Animations = array(\"c1.cam\", \"c2.cam\"); Styles[0].X = 1; Styles[1].X = 2;", root));
  UdfNode* anims = root.findChild("animations");
  ASSERT_NE(anims, nullptr);
  EXPECT_EQ(namesInCursorOrder(*anims), (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(anims->current()->value(), "c1.cam");
  UdfNode* styles = root.findChild("Styles");
  EXPECT_EQ(namesInCursorOrder(*styles), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(at(root, {"Styles", "0"})->kind(), NodeKind::Object);
}

TEST(UdfText, CommentsAndStatementBoundaries) {
  NodeMap root;
  // "//" opens a comment even inside quotes; the string then stays open across lines.
  ASSERT_TRUE(parseUdfText("Name = \"a//b\";\nMore = 1;\nEnd = 5\";\nAfter = 2;", root));
  EXPECT_EQ(valueAt(root, {"Name"}), "aMore = 1;End = 5");
  EXPECT_EQ(at(root, {"More"}), nullptr);
  EXPECT_EQ(valueAt(root, {"After"}), "2");

  NodeMap stops;
  ASSERT_TRUE(parseUdfText("A = 1;;B = 2;", stops));
  EXPECT_EQ(valueAt(stops, {"A"}), "1");
  EXPECT_EQ(stops.findChild("B"), nullptr);

  NodeMap spans;
  ASSERT_TRUE(parseUdfText("// heading\r\nWidth =\r\n  12; // trailing\r\nName = \"font02.dds\"", spans));
  EXPECT_EQ(valueAt(spans, {"Width"}), "12");
  EXPECT_EQ(valueAt(spans, {"Name"}), "font02.dds");  // last statement without ";"

  NodeMap blanks;  // a statement of blanks is not empty and does not stop the file
  ASSERT_TRUE(parseUdfText("A = 1; ; B = 2;", blanks));
  EXPECT_EQ(valueAt(blanks, {"B"}), "2");
}

TEST(UdfText, UsingBlocksAndAutomaticElements) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("using Cfg; Width = 5; 7; 8; using ; 9; Top = 1;", root));
  EXPECT_EQ(at(root, {"Cfg"})->kind(), NodeKind::Object);
  EXPECT_EQ(valueAt(root, {"Cfg", "Width"}), "5");
  EXPECT_EQ(valueAt(root, {"Cfg", "0"}), "7");
  EXPECT_EQ(valueAt(root, {"Cfg", "1"}), "8");
  EXPECT_EQ(root.findChild("0"), nullptr);
  EXPECT_EQ(valueAt(root, {"Top"}), "1");

  NodeMap skip;  // automatic names skip names already taken
  ASSERT_TRUE(parseUdfText("using L; 1 = 10; 20; 30; w;", skip));
  EXPECT_EQ(valueAt(skip, {"L", "0"}), "20");
  EXPECT_EQ(valueAt(skip, {"L", "1"}), "10");
  EXPECT_EQ(valueAt(skip, {"L", "2"}), "30");
  EXPECT_EQ(valueAt(skip, {"L", "3"}), "");  // a bare word is a reference: an empty copy
  EXPECT_NE(skip.findChild("w"), nullptr);
}

TEST(UdfText, NestedListsObjectsAndQuotes) {
  NodeMap root;
  ASSERT_TRUE(
      parseUdfText("X = array(array(1, 2), array(3)); O = object(A = 1, B => \"two\"); Q = array('a', 'b');"
                   "P = array(\"x, y\", [1,2], (3,4)); E = array(); N = 0.10;",
                   root));
  EXPECT_EQ(valueAt(root, {"X", "0", "0"}), "1");
  EXPECT_EQ(valueAt(root, {"X", "0", "1"}), "2");
  EXPECT_EQ(valueAt(root, {"X", "1", "0"}), "3");
  EXPECT_EQ(at(root, {"O"})->kind(), NodeKind::Object);
  EXPECT_EQ(valueAt(root, {"O", "A"}), "1");
  EXPECT_EQ(valueAt(root, {"O", "B"}), "two");
  EXPECT_EQ(valueAt(root, {"Q", "0"}), "a");
  EXPECT_EQ(valueAt(root, {"Q", "1"}), "b");
  EXPECT_EQ(at(root, {"P"})->count(), 3);
  EXPECT_EQ(valueAt(root, {"P", "0"}), "x, y");
  EXPECT_EQ(at(root, {"E"})->count(), 0);
  EXPECT_EQ(valueAt(root, {"N"}), "0.10");
}

TEST(UdfText, StringLiteralsKeepBackslashes) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText(R"(S = "C:\\dir\\f"; T = "say \"hi\""; U = "open; V = 'it''s';)", root));
  EXPECT_EQ(valueAt(root, {"S"}), R"(C:\\dir\\f)");
  EXPECT_EQ(valueAt(root, {"T"}), R"(say \"hi\")");
  EXPECT_EQ(valueAt(root, {"U"}), R"("open; V = 'it''s';)");  // never closes: whole text
}

TEST(UdfText, OperatorOnlyAtTopLevel) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("K[\"a=b\"] = 1; M(x=1) = 2; R => 3;", root));
  EXPECT_EQ(root.findChild("K"), nullptr);
  EXPECT_EQ(root.findChild("M(x"), nullptr);
  EXPECT_EQ(valueAt(root, {"R"}), "3");
}

TEST(UdfText, BracketPaths) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("Sizes[\".\"] = 19; A[0][1] = x1; B . C = 2; D[ 5 ] = 3;", root));
  const UdfNode* sizes = at(root, {"Sizes"});
  ASSERT_NE(sizes, nullptr);
  EXPECT_EQ(sizes->kind(), NodeKind::Array);
  const UdfNode* open = at(root, {"Sizes", "[\""});
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->kind(), NodeKind::Object);
  EXPECT_EQ(open->value(), "");
  EXPECT_EQ(valueAt(root, {"Sizes", "[\"", "\"]"}), "19");
  EXPECT_EQ(at(root, {"A", "0"})->kind(), NodeKind::Array);
  EXPECT_NE(at(root, {"A", "0", "1"}), nullptr);
  EXPECT_EQ(valueAt(root, {"B ", "C"}), "2");  // the text before "." is taken as written
  EXPECT_EQ(valueAt(root, {"D", "5"}), "3");
}

TEST(UdfText, ReferencesCopyFromTheRoot) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText(
      "Base = object(W = 1, L = array(4, 5)); Copy = Base; Y = Z; H = 0xFF; using Cfg; In = Base.W;", root));
  EXPECT_EQ(at(root, {"Copy"})->kind(), NodeKind::Object);
  EXPECT_EQ(valueAt(root, {"Copy", "L", "1"}), "5");
  EXPECT_EQ(at(root, {"Copy"})->current()->name(), "L");  // cursor on the last child
  EXPECT_EQ(valueAt(root, {"Y"}), "");
  EXPECT_NE(root.findChild("Z"), nullptr);
  EXPECT_NE(root.findChild("0xFF"), nullptr);
  EXPECT_EQ(valueAt(root, {"Cfg", "In"}), "1");

  // The copy is its own: reassigning the source leaves it alone.
  ASSERT_TRUE(parseUdfText("Base = 9;", root));
  EXPECT_EQ(valueAt(root, {"Copy", "W"}), "1");
  EXPECT_EQ(at(root, {"Base"})->count(), 0);
}

TEST(UdfText, ReassignmentKeepsPlaceAndReplacesContent) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("A = array(1, 2); B = 2; A = 5;", root));
  EXPECT_EQ(at(root, {"A"})->count(), 0);
  EXPECT_EQ(valueAt(root, {"A"}), "5");
  root.rewind();
  EXPECT_EQ(namesInCursorOrder(root), (std::vector<std::string>{"A", "B"}));
  // Lists keep the earlier value text.
  ASSERT_TRUE(parseUdfText("A = array(1);", root));
  EXPECT_EQ(valueAt(root, {"A"}), "5");
  EXPECT_EQ(at(root, {"A"})->kind(), NodeKind::Array);
}

TEST(UdfText, SelfAndAncestorReferencesTerminate) {
  NodeMap root;
  ASSERT_TRUE(parseUdfText("A.B = 1; A.C = A; X = array(X, 1); S = S;", root));
  EXPECT_EQ(valueAt(root, {"A", "C", "B"}), "1");
  EXPECT_NE(at(root, {"X", "0"}), nullptr);
  EXPECT_EQ(valueAt(root, {"X", "1"}), "1");
}

TEST(UdfText, RunawayCopiesAndNestingStayBounded) {
  NodeMap root;
  std::string text = "A = array(1, 1);";
  for (int i = 0; i < 40; ++i) text += "A = array(A, A);";  // would double to 2^40 nodes
  EXPECT_TRUE(parseUdfText(text, root));
  EXPECT_LT(root.findChild("A")->subtreeSize(SIZE_MAX), size_t{1} << 23);

  NodeMap deep;
  std::string nested = "D = ";
  for (int i = 0; i < 100000; ++i) nested += "array(";
  EXPECT_TRUE(parseUdfText(nested + ";", deep));
  NodeMap path;
  std::string longPath = "P";
  for (int i = 0; i < 200000; ++i) longPath += ".p";
  EXPECT_TRUE(parseUdfText(longPath + " = 1; Q = P;", path));
}

TEST(UdfText, ReferenceCopiesOfASmallFileStayWithinAFewMegabytes) {
  // Each line doubles a subtree that carries a long text: gigabytes if nothing stopped it.
  std::string text = "V = \"" + std::string(400, 'v') + "\"; A = array(V, V);";
  for (int i = 0; i < 40; ++i) text += "A=array(A,A);";
  ASSERT_LT(text.size(), 1000u);
  NodeMap root;
  EXPECT_TRUE(parseUdfText(text, root));
  size_t bytes = 0;
  root.forEachInOrder([&](const UdfNode& n) { bytes += n.subtreeBytes(SIZE_MAX); });
  EXPECT_LT(bytes, size_t{9} << 20);
}

TEST(UdfText, ListsLongerThanTheAutomaticNamesParseInLinearTime) {
  // 70,000 elements: past 65,535 the 16-bit names are all taken and every further element
  // lands on the last name, without searching all 65,536 names again each time.
  std::string list = "L = array(";
  std::string block = "using B;";
  for (int i = 0; i < 70000; ++i) {
    list += (i ? "," : "") + std::to_string(i);
    block += std::to_string(i) + ";";
  }
  NodeMap root;
  EXPECT_TRUE(parseUdfText(list + ");" + block, root));
  for (const char* name : {"L", "B"}) {
    const UdfNode* n = root.findChild(name);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->count(), 65536) << name;
    EXPECT_EQ(valueAt(root, {name, "0"}), "0") << name;
    EXPECT_EQ(valueAt(root, {name, "65534"}), "65534") << name;
    EXPECT_EQ(valueAt(root, {name, "65535"}), "69999") << name;
  }
  // Clearing a full list makes its names free again.
  NodeMap again;
  EXPECT_TRUE(parseUdfText(block + "using; B = array(x); using B; y;", again));
  EXPECT_EQ(again.findChild("B")->count(), 2);
  EXPECT_EQ(valueAt(again, {"B", "1"}), "");  // "y" is a reference: an empty copy
}

TEST(UdfText, StreamReadFailureAndEmptyInput) {
  NodeMap root;
  MemoryStream empty;
  empty.useBlock(nullptr, 0);
  empty.open("", Read);
  EXPECT_TRUE(parseUdfText(empty, root));
  EXPECT_EQ(root.count(), 0);
  DiskStream closed;  // size() of a stream that is not open fails
  EXPECT_FALSE(parseUdfText(closed, root));
  EXPECT_EQ(root.count(), 0);
}

TEST(UdfText, IncludesParseIntoTheSameRoot) {
  testsupport::TempDir dir;
  dir.write("fonts/digits.css", "Extra = 3; 4;\r\n");
  dir.write("fonts/main.fs", "using Cfg; include(\"digits.css\"); Own = 1;");
  SearchPaths paths;
  paths.addLocation(FileRef((dir.path() / "fonts").string()));

  NodeMap root;
  FileRef main((dir.path() / "fonts/main.fs").string());
  auto stream = main.open(Read);
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(parseUdfText(*stream, root, &paths));
  EXPECT_EQ(valueAt(root, {"Extra"}), "3");       // the using block does not pass into it
  EXPECT_EQ(root.findChild("0"), nullptr);        // and "4;" has no block there
  EXPECT_EQ(valueAt(root, {"Cfg", "Own"}), "1");  // but still holds afterwards

  // Without search paths the bare name is not found; inside a using block the statement
  // then becomes an element.
  NodeMap alone;
  stream = FileRef((dir.path() / "fonts/main.fs").string()).open(Read);
  EXPECT_TRUE(parseUdfText(*stream, alone));
  EXPECT_EQ(alone.findChild("Extra"), nullptr);
  EXPECT_NE(at(alone, {"Cfg", "0"}), nullptr);
}

TEST(UdfText, IncludeCyclesStop) {
  testsupport::TempDir dir;
  dir.write("a.txt", "include(\"b.txt\"); A = 1;");
  dir.write("b.txt", "include(\"a.txt\"); B = 2;");
  dir.write("self.txt", "include(\"self.txt\"); S = 3;");
  SearchPaths paths;
  paths.addLocation(FileRef(dir.path().string()));
  NodeMap root;
  EXPECT_TRUE(parseUdfText("include(\"a.txt\"); include(\"self.txt\");", root, &paths));
  EXPECT_EQ(valueAt(root, {"A"}), "1");
  EXPECT_EQ(valueAt(root, {"B"}), "2");
  EXPECT_EQ(valueAt(root, {"S"}), "3");
}

TEST(UdfText, IncludedFileMayDestroyTheIncludersContext) {
  testsupport::TempDir dir;
  dir.write("wipe.txt", "A = 1;");
  SearchPaths paths;
  paths.addLocation(FileRef(dir.path().string()));
  NodeMap root;
  // The using context A.B is cut out of the tree by the included file; the statements after
  // it must not touch freed memory (they land in the detached node).
  EXPECT_TRUE(parseUdfText("using A.B; include(\"wipe.txt\"); C = 2; L = array(include(\"wipe.txt\"), 5);", root,
                           &paths));
  EXPECT_EQ(valueAt(root, {"A"}), "1");
  EXPECT_EQ(at(root, {"A"})->count(), 0);
}

}  // namespace
}  // namespace halcyon
