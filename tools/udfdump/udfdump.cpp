// udfdump: shows data-language files and media archives for people and tests.
//
//   udfdump text FILE                  the parsed value tree as JSON
//   udfdump binary FILE [--full]       the record tree as JSON (raw data as hex, cut after
//                                      64 bytes unless --full)
//   udfdump archive list FILE          NAME<TAB>SIZE<TAB>CRC32 per entry
//   udfdump archive extract FILE NAME  the entry's bytes on stdout
//
// Unreadable input gives one line on stderr and exit code 1; bad usage exit code 2.
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/fs/file_ref.h"
#include "engine/fs/stored_archive.h"
#include "engine/fs/stream.h"
#include "engine/udf/udf_binary.h"
#include "engine/udf/udf_text.h"

namespace {

using namespace halcyon;

int usage() {
  std::fputs(
      "usage: udfdump text FILE\n"
      "       udfdump binary FILE [--full]\n"
      "       udfdump archive list FILE\n"
      "       udfdump archive extract FILE NAME\n",
      stderr);
  return 2;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "udfdump: %s\n", message.c_str());
  return 1;
}

// JSON string of 8-bit text. Bytes above 127 are written as \u00XX so the output stays valid
// whatever code page the file used, and each byte can be recovered.
void putJsonString(std::string& out, const std::string& text) {
  static const char* hex = "0123456789abcdef";
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

const char* kindName(NodeKind kind) {
  switch (kind) {
    case NodeKind::Object: return "object";
    case NodeKind::Array: return "array";
    default: return "value";
  }
}

// Children of each map in iteration order from its cursor, written without recursion since
// text files can nest very deeply. Iterating a full cycle leaves every cursor where it was.
std::string textTreeJson(NodeMap& root) {
  std::string out = "[";
  struct Frame {
    NodeMap* map;
    int32_t left;
    bool first;
  };
  std::vector<Frame> stack{{&root, root.count(), true}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.left == 0) {
      stack.pop_back();
      out += "]";
      if (!stack.empty()) out += "}";
      continue;
    }
    UdfNode* node = f.map->current();
    f.map->advance();
    --f.left;
    if (!f.first) out += ",";
    f.first = false;
    out += "{\"name\":";
    putJsonString(out, node->name());
    out += ",\"kind\":\"";
    out += kindName(node->kind());
    out += "\",\"value\":";
    putJsonString(out, node->value());
    out += ",\"children\":[";
    stack.push_back({node, node->count(), true});
  }
  return out;
}

int dumpText(const std::string& path) {
  FileRef file(path);
  auto stream = file.open(Read);
  if (!stream) return fail("cannot open " + path);
  SearchPaths paths;
  paths.addLocation(file.directoryOf());
  NodeMap root;
  if (!parseUdfText(*stream, root, &paths)) return fail("cannot read " + path);
  std::string out = textTreeJson(root);
  out += "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

class RecordPrinter {
 public:
  explicit RecordPrinter(bool full) : full_(full) {}

  void print(std::string& out, const std::string& name, const UdfRecord& record, bool reference) {
    out += "{\"name\":";
    putJsonString(out, name);
    out += ",\"type\":";
    putJsonString(out, record.typeName());
    out += ",\"flags\":" + std::to_string(record.flags() | (reference ? RecordReference : 0));
    if (record.flags() & RecordArray) out += ",\"count\":" + std::to_string(record.arrayCount());
    out += ",\"size\":" + std::to_string(record.size());
    if (reference) {
      // Owned and printed elsewhere in the tree.
      out += ",\"reference\":true}";
      return;
    }
    if (record.structured()) {
      if (!printed_.insert(&record).second) {
        // A record shared by offset is expanded once.
        out += ",\"shared\":true}";
        return;
      }
      out += ",\"children\":[";
      bool first = true;
      for (const UdfRecord::Member& m : record.members()) {
        if (!first) out += ",";
        first = false;
        print(out, m.name, *m.record, m.reference);
      }
      out += "]}";
      return;
    }
    static const char* hex = "0123456789abcdef";
    out += ",\"data\":\"";
    const size_t shown = full_ ? record.dataSize() : std::min<size_t>(record.dataSize(), 64);
    for (size_t i = 0; i < shown; ++i) {
      out += hex[record.data()[i] >> 4];
      out += hex[record.data()[i] & 15];
    }
    if (shown < record.dataSize()) out += "...";
    out += "\"}";
  }

 private:
  bool full_;
  std::set<const UdfRecord*> printed_;
};

int dumpBinary(const std::string& path, bool full) {
  auto stream = FileRef(path).open(Read);
  if (!stream) return fail("cannot open " + path);
  UdfBinaryReader reader(std::move(stream));
  UdfRecord* root = reader.readHeader();
  if (!root) return fail(path + " is not a UDF Binary 1.0 file");
  if (!reader.load(*root)) return fail("cannot read the records of " + path);
  std::string out;
  RecordPrinter(full).print(out, root->name(), *root, false);
  out += "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int dumpArchive(const std::vector<std::string>& args) {
  const bool list = args[0] == "list";
  if (!((list && args.size() == 2) || (args[0] == "extract" && args.size() == 3))) return usage();
  StoredArchive archive;
  if (!archive.attach(FileRef(args[1]))) return fail("cannot read " + args[1]);
  static const uint8_t marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  if (archive.size() < 20 || !std::equal(marker, marker + 7, archive.bytes())) {
    return fail(args[1] + " is not a stored archive");
  }
  if (list) {
    for (const ArchiveEntry& e : archive.entries()) {
      std::printf("%s\t%u\t%08x\n", e.name.c_str(), e.unpackedSize, e.crc);
    }
    return 0;
  }
  auto stream = archive.open(args[2], Read);
  if (!stream) return fail("cannot extract " + args[2] + " (missing, damaged or compressed)");
  std::vector<uint8_t> bytes(static_cast<size_t>(stream->size()));
  if (!readExact(*stream, bytes.data(), bytes.size())) return fail("cannot extract " + args[2]);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) return fail("cannot write");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return usage();
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "text" && args.size() == 1) return dumpText(args[0]);
  if (command == "binary" && (args.size() == 1 || (args.size() == 2 && args[1] == "--full"))) {
    return dumpBinary(args[0], args.size() == 2);
  }
  if (command == "archive") return dumpArchive(args);
  return usage();
}
