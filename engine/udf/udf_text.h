#pragma once
// The text form of the data language: a sequence of statements ended by ";".
//
//   Name = value;              Styles[0].Size = 64;      Rects["0"] = array(13, 0, 48, 63);
//   X = object(A = 1, B = "two");   using Cfg;   include("other.css");   // comment
//
// parseUdfText reads a whole stream and executes its statements, in order, against a root
// map (which may already hold nodes; statements add to it and overwrite). The language
// reports no errors: text it cannot make sense of is ignored or yields odd nodes, and
// parsing goes on. Files are 8-bit text taken byte for byte; nothing converts encodings.
//
// The result is true when every statement succeeded; a statement fails only when a file it
// includes could not be read. The stream is read from its current position for size()
// bytes and is neither closed nor destroyed.
//
// Included names are opened as disk files, resolved through `fileSystem` when one is given.
// A file that is already being parsed further up the chain of includes is not included
// again, so a file that includes itself (directly or through others) cannot loop.
#include <string_view>

#include "engine/fs/file_ref.h"
#include "engine/fs/stream.h"
#include "engine/udf/udf_node.h"

namespace halcyon {

bool parseUdfText(Stream& stream, NodeMap& root, const SearchPaths* fileSystem = nullptr);

// The same for text already in memory.
bool parseUdfText(std::string_view text, NodeMap& root, const SearchPaths* fileSystem = nullptr);

}  // namespace halcyon
