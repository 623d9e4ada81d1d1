#pragma once
// StoredArchive: the media archive - a block-format archive of stored (uncompressed) entries
// with a CRC-32 each - held whole in memory and opened entry by entry.
//
// Each open scans the block chain from the start, copies the entry's bytes into a new buffer,
// checks their CRC-32 and hands them out as a memory stream; an archive built into the program
// then lets the entry's own pages go from memory. Nothing is unpacked to disk and no state is
// kept between opens. Every size and offset in the archive is checked against
// the bytes actually held; anything that does not fit, a compressed or encrypted entry, or a
// CRC mismatch makes open return none.
//
// Entry names use "\" between folders. A wanted name matches an entry when both are equal
// after "/" and "\" become "_" and letters become upper case.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/file_ref.h"
#include "engine/fs/stream.h"

namespace halcyon {

struct ArchiveEntry {
  std::string name;  // as stored, "\" between folders
  uint32_t packedSize = 0;
  uint32_t unpackedSize = 0;
  uint32_t crc = 0;  // CRC-32 recorded for the unpacked bytes
  uint16_t flags = 0;
  uint8_t method = 0;  // 0x30 stored
  bool directory() const { return (flags & 0x00E0) == 0x00E0; }
};

class StoredArchive {
 public:
  StoredArchive() = default;
  virtual ~StoredArchive();
  StoredArchive(const StoredArchive&) = delete;
  StoredArchive& operator=(const StoredArchive&) = delete;

  // Releases what was held, then reads the whole archive, asking to share: a resource is
  // used in place, anything else is copied. False when the file cannot be read.
  virtual bool attach(FileRef file);
  virtual void release();
  // Always true: entries are looked up only when opened.
  virtual bool exists(const std::string& name);
  // The entry as a memory stream owned by the caller; none when the entry is missing,
  // damaged or cannot be unpacked. With Write the stream holds its own growing copy.
  virtual std::unique_ptr<Stream> open(const std::string& name, uint32_t mode);

  // The entry's bytes (CRC checked); false as for open.
  bool extract(const std::string& name, std::vector<uint8_t>& out) const;
  // Every file header in chain order, as far as the chain can be read.
  std::vector<ArchiveEntry> entries() const;

  bool attached() const { return data_ != nullptr; }
  const uint8_t* bytes() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  FileBytes held_;
};

// True when the two names designate the same entry.
bool archiveNamesMatch(const std::string& a, const std::string& b);

}  // namespace halcyon
