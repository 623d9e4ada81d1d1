#include "engine/fs/stored_archive.h"

#include <algorithm>
#include <cstring>

#include "engine/fs/crc32.h"
#include "platform/resources/resources.h"

namespace halcyon {

namespace {

constexpr uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
constexpr size_t kMainHeaderSize = 13;
constexpr size_t kFileHeaderFixed = 32;
constexpr size_t kMaxEntryName = 259;
constexpr size_t kMaxCompareName = 512;
constexpr uint16_t kLongBlock = 0x8000;
constexpr uint16_t kSolid = 0x0008;
constexpr uint8_t kFileBlock = 0x74;
constexpr uint8_t kSubBlock = 0x77;
constexpr uint8_t kStored = 0x30;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::string comparable(const std::string& name) {
  std::string out = name.substr(0, kMaxCompareName);
  for (char& c : out) {
    if (c == '/' || c == '\\') {
      c = '_';
    } else if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

// One file header found by the scan, with where its data lies.
struct Block {
  ArchiveEntry entry;
  uint8_t unpackVersion = 0;
  uint64_t dataStart = 0;
  uint64_t end = 0;
};

// Walks the block chain of an archive held in memory. Every size is checked against the
// bytes held before it is used; the walk stops at the first block it cannot read.
class Scanner {
 public:
  Scanner(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool start() {
    if (!data_ || size_ < sizeof kMarker || std::memcmp(data_, kMarker, sizeof kMarker) != 0) return false;
    if (size_ < sizeof kMarker + kMainHeaderSize) return false;
    const uint8_t* main = data_ + sizeof kMarker;
    solid_ = (u16(main + 3) & kSolid) != 0;
    position_ = sizeof kMarker + u16(main + 5);
    return true;
  }

  bool solid() const { return solid_; }

  // The next file header, or false when the chain ends or cannot be read further.
  bool next(Block& block) {
    for (;;) {
      if (position_ + kFileHeaderFixed > size_) return false;
      const uint8_t* h = data_ + position_;
      const uint8_t type = h[2];
      const uint16_t flags = u16(h + 3);
      const uint16_t headSize = u16(h + 5);
      if (headSize < 7) return false;
      uint64_t end = position_ + headSize;
      if (flags & kLongBlock) end += u32(h + 7);
      if (end <= position_) return false;
      if (type == kSubBlock) return false;
      if (type != kFileBlock) {
        position_ = end;
        continue;
      }
      const size_t nameSize = u16(h + 26);
      if (position_ + kFileHeaderFixed + nameSize > size_) return false;
      block.entry.name.assign(reinterpret_cast<const char*>(h + kFileHeaderFixed), std::min(nameSize, kMaxEntryName));
      block.entry.flags = flags;
      block.entry.packedSize = (flags & kLongBlock) ? u32(h + 7) : 0;
      block.entry.unpackedSize = u32(h + 11);
      block.entry.crc = u32(h + 16);
      block.unpackVersion = h[24];
      block.entry.method = h[25];
      block.dataStart = position_ + headSize;
      block.end = end;
      position_ = end;
      return true;
    }
  }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
  bool solid_ = false;
};

}  // namespace

bool archiveNamesMatch(const std::string& a, const std::string& b) { return comparable(a) == comparable(b); }

StoredArchive::~StoredArchive() { release(); }

bool StoredArchive::attach(FileRef file) {
  release();
  bool share = true;
  if (!file.readAll(held_, share)) {
    held_ = FileBytes();
    return false;
  }
  data_ = held_.data();
  size_ = held_.size();
  // An empty archive still counts as attached; every open of it fails.
  if (!data_) data_ = reinterpret_cast<const uint8_t*>("");
  return true;
}

void StoredArchive::release() {
  held_ = FileBytes();
  data_ = nullptr;
  size_ = 0;
}

bool StoredArchive::exists(const std::string&) { return true; }

bool StoredArchive::extract(const std::string& name, std::vector<uint8_t>& out) const {
  Scanner scan(data_, size_);
  if (!scan.start()) return false;
  const std::string wanted = comparable(name);
  Block block;
  while (scan.next(block)) {
    const bool match = comparable(block.entry.name) == wanted;
    if (!match && !scan.solid()) continue;
    if (block.unpackVersion < 13 || block.unpackVersion > 20) return false;
    if (block.entry.method != kStored) {
      // Compressed data cannot be followed: the entry, and in a solid archive every entry
      // after it, cannot be unpacked.
      return false;
    }
    if (!match) continue;
    // Stored data shorter than the recorded size is a damaged entry.
    if (block.entry.packedSize < block.entry.unpackedSize) return false;
    const uint64_t count = block.entry.unpackedSize;
    if (block.dataStart + count > size_ || block.dataStart + count > block.end) return false;
    const uint8_t* from = data_ + block.dataStart;
    if (crc32(from, count) != block.entry.crc) return false;
    out.assign(from, from + count);
    // Every entry is copied out when it is opened, so an archive built into the program need
    // not keep the entry's pages in memory as well.
    platform::releaseResourcePages(from, count);
    return true;
  }
  return false;
}

std::unique_ptr<Stream> StoredArchive::open(const std::string& name, uint32_t mode) {
  std::vector<uint8_t> bytes;
  if (!extract(name, bytes)) return nullptr;
  auto stream = std::make_unique<MemoryStream>();
  stream->takeBuffer(std::move(bytes));
  stream->open(std::string(), mode);
  return stream;
}

std::vector<ArchiveEntry> StoredArchive::entries() const {
  std::vector<ArchiveEntry> list;
  Scanner scan(data_, size_);
  if (!scan.start()) return list;
  Block block;
  while (scan.next(block)) list.push_back(block.entry);
  return list;
}

}  // namespace halcyon
