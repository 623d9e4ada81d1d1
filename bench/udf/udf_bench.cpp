// Parsing about 1 MB of text and reading about 1 MB of binary records: the sizes of the
// largest data files the program loads at start-up.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_text.h"

namespace {

using namespace halcyon;

// Configuration-style text: comments, plain values, lists, bracket paths and using blocks,
// with CR LF line ends.
std::string megabyteOfText() {
  std::string text;
  for (int i = 0; text.size() < (1u << 20); ++i) {
    const std::string n = std::to_string(i);
    text += "// entry " + n + "\r\n";
    text += "Sizes[\"" + n + "\"] = " + std::to_string(i % 97) + ";\r\n";
    text += "Rects[\"" + n + "\"] = array(" + n + ", 0, 48, 63);\r\n";
    text += "Style" + n + " = object(Name = \"font" + n + ".dds\", Size = 0.75, Colour = array(255, 0, 255));\r\n";
    if (i % 50 == 0) text += "using Block" + n + "; Width = 5; 7; 8; using ;\r\n";
  }
  return text;
}

void BM_ParseText1MB(benchmark::State& state) {
  const std::string text = megabyteOfText();
  for (auto _ : state) {
    MemoryStream stream;
    stream.useBlock(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    stream.open("", Read);
    NodeMap root;
    benchmark::DoNotOptimize(parseUdfText(stream, root));
    benchmark::DoNotOptimize(root.count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseText1MB)->Unit(benchmark::kMillisecond);

// A scene-shaped file: a node tree with transforms, names and vertex blocks, plus materials
// shared by reference.
std::vector<uint8_t> megabyteOfRecords() {
  auto root = UdfRecord::makeStructured("_root", "_roottype");
  UdfRecord& materials = root->addChild(UdfRecord::makeStructured("Materials", "Material"));
  std::vector<UdfRecord*> mats;
  for (int m = 0; m < 20; ++m) {
    UdfRecord& mat = materials.addChild(UdfRecord::makeStructured("Mat" + std::to_string(m), "Material"));
    mat.addChild(UdfRecord::makeString("Texture", "wood" + std::to_string(m) + ".jpg"));
    mat.addChild(UdfRecord::makeReal("Power", 2.0f));
    mats.push_back(&mat);
  }
  UdfRecord& children = root->addChild(UdfRecord::makeStructured("Children", "Node"));
  for (int n = 0; n < 250; ++n) {
    UdfRecord& node = children.addChild(UdfRecord::makeStructured("Node" + std::to_string(n), "Node"));
    node.addChild(UdfRecord::makeString("Name", "object" + std::to_string(n)));
    node.addChild(UdfRecord::makeRaw("NodeTM", "real", std::vector<uint8_t>(64, 1)));
    auto verts = UdfRecord::makeRaw("Vertices", "byte", std::vector<uint8_t>(4000, static_cast<uint8_t>(n)));
    verts->setArrayCount(4000);
    node.addChild(std::move(verts));
    node.addReference(*mats[static_cast<size_t>(n) % mats.size()]);
  }
  return UdfBinaryWriter().writeToBytes(*root);
}

void BM_ReadBinary1MB(benchmark::State& state) {
  const std::vector<uint8_t> bytes = megabyteOfRecords();
  for (auto _ : state) {
    auto stream = std::make_unique<MemoryStream>();
    stream->useBlock(bytes.data(), bytes.size());
    stream->open("", Read);
    UdfBinaryReader reader(std::move(stream));
    UdfRecord* root = reader.readHeader();
    benchmark::DoNotOptimize(reader.load(*root));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadBinary1MB)->Unit(benchmark::kMillisecond);

void BM_WriteBinary1MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(megabyteOfRecords());
}
BENCHMARK(BM_WriteBinary1MB)->Unit(benchmark::kMillisecond);

// A list of 70,000 elements and a using block of as many: more than the 65,536 automatic
// element names, so the last ones all land on one name.
void BM_ParseLongLists(benchmark::State& state) {
  std::string text = "L = array(";
  std::string block = "using B;";
  for (int i = 0; i < 70000; ++i) {
    text += (i ? "," : "") + std::to_string(i);
    block += std::to_string(i) + ";";
  }
  text += ");" + block;
  for (auto _ : state) {
    NodeMap root;
    benchmark::DoNotOptimize(parseUdfText(std::string_view(text), root));
  }
}
BENCHMARK(BM_ParseLongLists)->Unit(benchmark::kMillisecond);

}  // namespace
