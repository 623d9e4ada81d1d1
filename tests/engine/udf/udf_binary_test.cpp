#include "engine/udf/udf_binary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace halcyon {
namespace {

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24);
}

std::string textAt(const std::vector<uint8_t>& b, size_t at) {
  const uint32_t n = u32At(b, at);
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at + 4),
                     b.begin() + static_cast<std::ptrdiff_t>(at + 4 + n));
}

std::unique_ptr<UdfBinaryReader> readerOver(const std::vector<uint8_t>& bytes) {
  auto stream = std::make_unique<MemoryStream>();
  stream->useBlock(bytes.data(), bytes.size());
  stream->open("", Read);
  return std::make_unique<UdfBinaryReader>(std::move(stream));
}

std::vector<uint8_t> key(uint8_t seed) {
  std::vector<uint8_t> b(32);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(seed * 31 + i);
  return b;
}

// A camera path as the tours store it: eight 32-byte keys in this member order.
std::unique_ptr<UdfRecord> cameraPath() {
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  const char* names[] = {"rot3", "pos0", "rot0", "pos1", "rot1", "pos2", "rot2", "pos3"};
  uint8_t seed = 1;
  for (const char* name : names) {
    root->addChild(UdfRecord::makeRaw(name, std::string(name, 3), key(seed++)));
  }
  return root;
}

TEST(UdfBinary, CameraPathLayout) {
  const auto bytes = UdfBinaryWriter().writeToBytes(*cameraPath());
  ASSERT_EQ(bytes.size(), 486u);
  EXPECT_EQ(u32At(bytes, 0), 486u);
  EXPECT_EQ(textAt(bytes, 4), "UDF Binary 1.0");
  EXPECT_EQ(u32At(bytes, 22), 0u);
  EXPECT_EQ(u32At(bytes, 26), 460u);
  EXPECT_EQ(u32At(bytes, 30), 200u);
  EXPECT_EQ(u32At(bytes, 34), 8u);
  EXPECT_EQ(textAt(bytes, 38), "rot3");
  EXPECT_EQ(textAt(bytes, 46), "rot");
  EXPECT_EQ(bytes[53], 0);
  EXPECT_EQ(u32At(bytes, 54), 230u);
  EXPECT_EQ(u32At(bytes, 58), 32u);
  EXPECT_EQ(textAt(bytes, 62), "pos0");
  const uint32_t expectedOffsets[] = {230, 262, 294, 326, 358, 390, 422, 454};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(u32At(bytes, 38 + 24 * i + 16), expectedOffsets[i]) << i;

  auto reader = readerOver(bytes);
  UdfRecord* root = reader->readHeader();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), "_root");
  EXPECT_EQ(root->typeName(), "_roottype");
  EXPECT_EQ(root->offset(), 30);
  EXPECT_EQ(root->size(), 460);  // counts its own size field: ends 4 bytes past the file
  ASSERT_TRUE(reader->load(*root));
  ASSERT_EQ(root->childCount(), 8u);
  EXPECT_EQ(root->child(0)->name(), "rot3");
  const UdfRecord* pos3 = root->findChild("pos3");
  ASSERT_NE(pos3, nullptr);
  EXPECT_EQ(pos3->offset(), 454);
  EXPECT_EQ(std::vector<uint8_t>(pos3->data(), pos3->data() + pos3->dataSize()), key(8));
  EXPECT_EQ(pos3->parent(), root);
  EXPECT_EQ(root->findChild("POS3"), nullptr);
}

// A scene-like tree: nested structures, an array member, typed values, a member shared by
// reference and a reference to a record written later.
struct SceneTree {
  std::unique_ptr<UdfRecord> root = UdfRecord::makeStructured("_root", "_roottype");
  UdfRecord* material = nullptr;
  UdfRecord* lateTarget = nullptr;
  SceneTree() {
    UdfRecord& materials = root->addChild(UdfRecord::makeStructured("Materials", "Material"));
    material = &materials.addChild(UdfRecord::makeStructured("Wood", "Material"));
    material->addChild(UdfRecord::makeString("Texture", "wood.jpg"));
    material->addChild(UdfRecord::makeReal("Power", 2.5f));
    UdfRecord& children = root->addChild(UdfRecord::makeStructured("Children", "Node"));
    UdfRecord& clock = children.addChild(UdfRecord::makeStructured("Clock", "Node"));
    clock.addChild(UdfRecord::makeInt("Flags", -7));
    clock.addChild(UdfRecord::makeUString("Title", u"\u0427\u0430\u0441\u044b"));
    auto verts = UdfRecord::makeRaw("Vertices", "real", std::vector<uint8_t>(48, 0xAB));
    verts->setArrayCount(12);
    clock.addChild(std::move(verts));
    clock.addReference(*material);
    auto late = UdfRecord::makeInt("Late", 42);
    lateTarget = late.get();
    children.addReference(*lateTarget);
    root->addChild(std::move(late));
  }
};

TEST(UdfBinary, RoundTripWithReferencesAndArrays) {
  SceneTree tree;
  UdfBinaryWriter writer;
  writer.addType(UdfTypeDef{"Vec3", {{"x", "real", 0, 0}, {"y", "real", 0, 0}, {"z", "real", 0, 0}}});
  writer.addType(UdfTypeDef{"Tri", {{"v", "Vec3", 1, 3}, {"id", "int", 0, 0}}});
  const auto bytes = writer.writeToBytes(*tree.root);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(u32At(bytes, 0), bytes.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()).find("DataArea"), std::string::npos);

  auto reader = readerOver(bytes);
  UdfRecord* root = reader->readHeader();
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(reader->types().size(), 2u);
  EXPECT_EQ(udfTypeSize(reader->types(), "Vec3"), 12u);
  EXPECT_EQ(udfTypeSize(reader->types(), "Tri"), 40u);
  EXPECT_EQ(udfTypeSize(reader->types(), "nothing"), 0u);
  ASSERT_TRUE(reader->load(*root));

  const UdfRecord* wood = root->findChild("Materials")->findChild("Wood");
  ASSERT_NE(wood, nullptr);
  EXPECT_EQ(wood->typeName(), "Material");
  EXPECT_EQ(wood->flags(), RecordStructured);
  EXPECT_EQ(wood->findChild("Texture")->readString(), "wood.jpg");
  float power = 0;
  ASSERT_TRUE(wood->findChild("Power")->readReal(power));
  EXPECT_FLOAT_EQ(power, 2.5f);

  const UdfRecord* clock = root->findChild("Children")->findChild("Clock");
  ASSERT_NE(clock, nullptr);
  int32_t flags = 0;
  ASSERT_TRUE(clock->findChild("Flags")->readInt(flags));
  EXPECT_EQ(flags, -7);
  EXPECT_EQ(clock->findChild("Title")->dataSize(), 8u);
  const UdfRecord* verts = clock->findChild("Vertices");
  EXPECT_EQ(verts->flags(), RecordArray);
  EXPECT_EQ(verts->arrayCount(), 12u);
  EXPECT_EQ(verts->dataSize(), 48u);
  // The reference is the very same record as the owned material, not a copy.
  EXPECT_TRUE(clock->isReference("Wood"));
  EXPECT_EQ(clock->findChild("Wood"), wood);
  EXPECT_EQ(wood->parent(), root->findChild("Materials"));
  EXPECT_TRUE(root->findChild("Children")->isReference("Late"));
  EXPECT_EQ(root->findChild("Children")->findChild("Late"), root->findChild("Late"));

  // Writing what was read gives the same bytes back.
  UdfBinaryWriter again;
  again.addType(UdfTypeDef{"Vec3", {{"x", "real", 0, 0}, {"y", "real", 0, 0}, {"z", "real", 0, 0}}});
  again.addType(UdfTypeDef{"Tri", {{"v", "Vec3", 1, 3}, {"id", "int", 0, 0}}});
  EXPECT_EQ(again.writeToBytes(*root), bytes);
}

TEST(UdfBinary, OrphanReferencesAreWrittenToo) {
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  auto elsewhere = UdfRecord::makeString("Shared", "outside");
  root->addReference(*elsewhere);
  const auto bytes = UdfBinaryWriter().writeToBytes(*root);
  auto reader = readerOver(bytes);
  UdfRecord* r = reader->readHeader();
  ASSERT_TRUE(r && reader->load(*r));
  EXPECT_EQ(r->findChild("Shared")->readString(), "outside");
}

// Hand-made files for the reader's edge cases.
struct FileBuilder {
  std::vector<uint8_t> b;
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void text(const std::string& s) {
    u32(static_cast<uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
  }
  void header() {
    u32(0);
    text("UDF Binary 1.0");
    u32(0);
    u32(0);
  }
  void entry(const std::string& name, uint8_t flags, uint32_t offset, uint32_t size, uint32_t count = 0) {
    text(name);
    text("t");
    b.push_back(flags);
    if (flags & RecordArray) u32(count);
    u32(offset);
    u32(size);
  }
};

TEST(UdfBinary, SharedOffsetsAndZeroSizes) {
  FileBuilder f;
  f.header();
  const uint32_t table = static_cast<uint32_t>(f.b.size());
  f.u32(0);
  f.u32(4);
  f.entry("a", 0, 200, 4);
  f.entry("b", RecordArray, 200, 4, 1);  // the array count field is read only with the flag
  f.entry("z1", 0, 300, 0);
  f.entry("z2", 0, 300, 0);
  (void)table;
  f.b.resize(400, 0x5A);
  auto reader = readerOver(f.b);
  UdfRecord* root = reader->readHeader();
  ASSERT_NE(root, nullptr);
  ASSERT_TRUE(reader->load(*root));
  ASSERT_EQ(root->childCount(), 4u);
  EXPECT_EQ(root->findChild("a"), root->findChild("b"));  // same offset, non-zero size
  EXPECT_EQ(root->child(1)->name(), "a");                 // keeps the name it was first read under
  EXPECT_NE(root->findChild("z1"), root->findChild("z2"));
  EXPECT_EQ(root->findChild("a")->dataSize(), 4u);
}

TEST(UdfBinary, WrongFormatAndShortReads) {
  FileBuilder wrong;
  wrong.u32(0);
  wrong.text("UDF Binary 1.1");
  wrong.u32(0);
  wrong.u32(0);
  EXPECT_EQ(readerOver(wrong.b)->readHeader(), nullptr);

  FileBuilder f;
  f.header();
  f.u32(0);
  f.u32(2);
  f.entry("ok", 0, 0, 4);
  f.entry("past", 0, 1000, 64);  // beyond the end
  auto reader = readerOver(f.b);
  UdfRecord* root = reader->readHeader();
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(reader->load(*root));
  EXPECT_TRUE(root->findChild("ok")->dataLoaded());
  EXPECT_FALSE(root->findChild("past")->dataLoaded());

  FileBuilder huge;  // counts and lengths far beyond the file are not believed
  huge.header();
  huge.u32(0);
  huge.u32(0xFFFFFFFF);
  huge.u32(0x7FFFFFF0);
  auto r2 = readerOver(huge.b);
  UdfRecord* root2 = r2->readHeader();
  ASSERT_NE(root2, nullptr);
  EXPECT_FALSE(r2->load(*root2));
  EXPECT_EQ(root2->childCount(), 0u);
}

TEST(UdfBinary, CyclesAndSelfTablesTerminate) {
  FileBuilder f;
  f.header();
  const uint32_t table = static_cast<uint32_t>(f.b.size());
  f.u32(0);
  f.u32(3);
  f.entry("self", RecordStructured, table, 100);
  f.entry("again", RecordStructured | RecordReference, table, 100);
  f.entry("empty", RecordStructured, table, 0);
  f.b.resize(table + 100, 0);
  auto reader = readerOver(f.b);
  UdfRecord* root = reader->readHeader();
  ASSERT_NE(root, nullptr);
  reader->load(*root);
  UdfRecord* self = root->findChild("self");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->findChild("self"), self);
  EXPECT_EQ(root->findChild("empty")->childCount(), 0u);
}

class CountingReader : public UdfBinaryReader {
 public:
  using UdfBinaryReader::UdfBinaryReader;
  void onRawRecord(UdfRecord& record, void* argument) override {
    ++*static_cast<int*>(argument);
    seen.push_back(record.name());
  }
  std::vector<std::string> seen;
};

TEST(UdfBinary, LoadOptions) {
  SceneTree tree;
  const auto bytes = UdfBinaryWriter().writeToBytes(*tree.root);
  auto open = [&bytes] {
    auto s = std::make_unique<MemoryStream>();
    s->useBlock(bytes.data(), bytes.size());
    s->open("", Read);
    return std::make_unique<CountingReader>(std::move(s));
  };

  {  // 0x01: the table only
    auto r = open();
    UdfRecord* root = r->readHeader();
    ASSERT_TRUE(r->load(*root, LoadNoDescend));
    EXPECT_EQ(root->childCount(), 3u);
    EXPECT_FALSE(root->findChild("Materials")->childrenLoaded());
    EXPECT_FALSE(root->findChild("Late")->dataLoaded());
  }
  {  // 0x04: one level
    auto r = open();
    UdfRecord* root = r->readHeader();
    ASSERT_TRUE(r->load(*root, LoadOneLevel));
    UdfRecord* materials = root->findChild("Materials");
    EXPECT_TRUE(materials->childrenLoaded());
    EXPECT_FALSE(materials->findChild("Wood")->childrenLoaded());
    EXPECT_TRUE(root->findChild("Late")->dataLoaded());
  }
  {  // 0x08: the hook sees every raw record once
    auto r = open();
    UdfRecord* root = r->readHeader();
    int calls = 0;
    ASSERT_TRUE(r->load(*root, LoadCallHook, &calls));
    EXPECT_EQ(calls, 6);  // Texture, Power, Flags, Title, Vertices, Late
  }
  for (uint32_t options :
       {uint32_t{LoadRangeFirst}, uint32_t{LoadKeepRange}, uint32_t{LoadKeepRange | LoadBorrowParent},
        uint32_t{LoadRangeFirst | LoadFromParent | LoadBorrowParent}}) {
    auto r = open();
    UdfRecord* root = r->readHeader();
    ASSERT_TRUE(r->load(*root, options)) << options;
    const UdfRecord* clock = root->findChild("Children")->findChild("Clock");
    ASSERT_NE(clock, nullptr) << options;
    int32_t flags = 0;
    ASSERT_TRUE(clock->findChild("Flags")->readInt(flags)) << options;
    EXPECT_EQ(flags, -7) << options;
    EXPECT_EQ(clock->findChild("Wood")->findChild("Texture")->readString(), "wood.jpg") << options;
    if (options == (LoadKeepRange | LoadBorrowParent)) {
      EXPECT_TRUE(clock->findChild("Flags")->dataBorrowed());
      EXPECT_FALSE(clock->dataBorrowed() && clock->data() == nullptr);
    }
  }
}

TEST(UdfBinary, DiskFilesRoundTrip) {
  testsupport::TempDir dir;
  const std::string path = (dir.path() / "c.cam").string();
  ASSERT_TRUE(UdfBinaryWriter().writeFile(*cameraPath(), path));
  auto stream = std::make_unique<DiskStream>();
  ASSERT_TRUE(stream->open(path, Read));
  EXPECT_EQ(stream->size(), 486);
  UdfBinaryReader reader(std::move(stream));
  UdfRecord* root = reader.readHeader();
  ASSERT_NE(root, nullptr);
  ASSERT_TRUE(reader.load(*root));
  EXPECT_EQ(root->findChild("rot2")->offset(), 422);
  EXPECT_EQ(UdfBinaryWriter().writeToBytes(*root), UdfBinaryWriter().writeToBytes(*cameraPath()));
}

TEST(UdfBinary, EveryTruncationIsSafe) {
  SceneTree tree;
  const auto bytes = UdfBinaryWriter().writeToBytes(*tree.root);
  for (size_t n = 0; n < bytes.size(); n += 3) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    for (uint32_t options : {0u, 0x40u, 0xF0u}) {
      auto reader = readerOver(cut);
      if (UdfRecord* root = reader->readHeader()) reader->load(*root, options);
    }
  }
}

}  // namespace
}  // namespace halcyon
