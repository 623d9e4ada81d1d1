#pragma once
// What the node tests read back from a map: the names of its entries in the order its cursor
// walks them (current, then advance, once round).
#include <string>
#include <vector>

#include "engine/udf/udf_node.h"

inline std::vector<std::string> namesInCursorOrder(halcyon::NodeMap& map) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < map.count(); ++i) {
    names.push_back(map.current()->name());
    map.advance();
  }
  return names;
}
