// Feeds arbitrary bytes to the binary reader. The first byte picks the load options so every
// combination is explored; the rest is the file. Whatever loads is written out again and the
// result read back.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"

using namespace halcyon;

namespace {

std::unique_ptr<UdfBinaryReader> readerOver(const uint8_t* data, size_t size) {
  auto stream = std::make_unique<MemoryStream>();
  stream->useBlock(data, size);
  stream->open("", Read);
  return std::make_unique<UdfBinaryReader>(std::move(stream));
}

class HookedReader : public UdfBinaryReader {
 public:
  using UdfBinaryReader::UdfBinaryReader;
  void onRawRecord(UdfRecord& record, void*) override {
    int32_t i;
    (void)record.readInt(i);
    (void)record.readString();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t options = data[0];
  const uint8_t* file = data + 1;
  const size_t fileSize = size - 1;

  {
    auto stream = std::make_unique<MemoryStream>();
    stream->useBlock(file, fileSize);
    stream->setBaseOffset(0);
    stream->open("", Read);
    HookedReader reader(std::move(stream));
    if (UdfRecord* root = reader.readHeader()) {
      reader.load(*root, options, nullptr);
      // Loading again with everything must finish what the first load left out.
      reader.load(*root, 0, nullptr);
      for (const auto& [name, def] : reader.types()) (void)udfTypeSize(reader.types(), name);
      for (const UdfRecord::Member& m : root->members()) {
        (void)root->findChild(m.name);
        reader.load(*m.record, options | LoadCallHook, nullptr);
      }
    }
  }

  auto reader = readerOver(file, fileSize);
  if (UdfRecord* root = reader->readHeader()) {
    reader->load(*root);
    const std::vector<uint8_t> again = UdfBinaryWriter().writeToBytes(*root);
    auto second = readerOver(again.data(), again.size());
    if (UdfRecord* r2 = second->readHeader()) second->load(*r2);
  }
  return 0;
}
