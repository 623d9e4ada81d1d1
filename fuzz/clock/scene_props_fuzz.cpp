// Arbitrary bytes as the scene properties file: every key reads as a value or keeps its
// default; colours, planes, fog, tours and the storm's timing never crash the readers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "clock/scene_properties.h"
#include "engine/udf/udf_node.h"
#include "engine/udf/udf_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  halcyon::NodeMap root;
  halcyon::parseUdfText(std::string_view(reinterpret_cast<const char*>(data), size), root);
  brassmoor::SceneProperties props;
  brassmoor::readSharedProperties(root, props);
  brassmoor::readStormProperties(root, props);
  volatile uint32_t sink = props.ambient.argb() ^ props.bgColor.argb() ^ props.fogColor.argb();
  (void)sink;
  return 0;
}
