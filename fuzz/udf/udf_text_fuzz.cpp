// Feeds arbitrary bytes to the text parser, then reads every node back the way consumers do.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/udf/udf_node.h"
#include "engine/udf/udf_text.h"

using namespace halcyon;

namespace {

void readBack(NodeMap& map, int depth, size_t& budget) {
  for (int32_t i = 0, n = map.count(); i < n && budget > 0; ++i, --budget) {
    UdfNode* node = map.current();
    map.advance();
    (void)node->asInt();
    (void)node->asFloat();
    (void)readColour(*node);
    (void)map.findChild(node->name());
    if (depth < 64) readBack(*node, depth + 1, budget);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NodeMap root;
  parseUdfText(std::string_view(reinterpret_cast<const char*>(data), size), root);
  size_t budget = 100000;
  readBack(root, 0, budget);
  // A second file into the same root, as an include does.
  parseUdfText(std::string_view(reinterpret_cast<const char*>(data), size / 2), root);
  return 0;
}
