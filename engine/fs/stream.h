#pragma once
// Streams: how every file the engine reads or writes is accessed once it has been found.
// Positions and sizes are 32-bit byte counts, as the data formats store them. A stream belongs
// to whoever opened it; destroying it closes it.
//
//   DiskStream   - a file on disk through the C library's stream functions.
//   MemoryStream - a block in memory: either borrowed (read-only, the owner keeps it alive)
//                  or an owned buffer that grows in steps of 16384 bytes. A base offset lets
//                  a stream over a copy of part of a file keep the file's own positions.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace halcyon {

// OpenMode bits.
enum OpenMode : uint32_t {
  Read = 1,
  Write = 2,
};

// Origins for Stream::seek: 0 from the start, 1 from the current position, any other value
// from the end.
enum SeekOrigin : int {
  SeekStart = 0,
  SeekCurrent = 1,
  SeekEnd = 2,
};

class Stream {
 public:
  virtual ~Stream() = default;
  virtual bool open(const std::string& name, uint32_t mode) = 0;
  virtual bool close() = 0;
  // Current position; -1 when nothing is open.
  virtual int32_t tell() = 0;
  virtual int32_t size() = 0;
  // False (position unchanged) when the target cannot be reached.
  virtual bool seek(int32_t offset, int origin) = 0;
  virtual bool eof() = 0;
  // Disk: n when all n bytes were read, else 0. Memory: the bytes copied (min(n, left)).
  virtual size_t read(void* buffer, size_t n) = 0;
  // Bytes written: n, or 0 on failure.
  virtual size_t write(const void* buffer, size_t n) = 0;
};

// True when exactly n bytes came back (reading nothing always succeeds).
bool readExact(Stream& stream, void* buffer, size_t n);

class DiskStream final : public Stream {
 public:
  DiskStream() = default;
  ~DiskStream() override;
  DiskStream(const DiskStream&) = delete;
  DiskStream& operator=(const DiskStream&) = delete;

  // Builds the C library mode from "r" (Read), "w" (Write) and "b". Backslashes in the name
  // are taken as path separators. Only regular files open (folders, pipes and devices never).
  bool open(const std::string& name, uint32_t mode) override;
  bool close() override;
  int32_t tell() override;
  int32_t size() override;
  bool seek(int32_t offset, int origin) override;
  bool eof() override;
  size_t read(void* buffer, size_t n) override;
  size_t write(const void* buffer, size_t n) override;

 private:
  std::FILE* file_ = nullptr;
};

class MemoryStream final : public Stream {
 public:
  static constexpr size_t kGrowthStep = 16384;

  MemoryStream() = default;
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // Data sources; each replaces what the stream held and puts the position at 0.
  void useBlock(const uint8_t* data, size_t size);   // borrowed, never written
  void copyBlock(const uint8_t* data, size_t size);  // owned copy
  void takeBuffer(std::vector<uint8_t> bytes);       // owned, moved in
  void setBaseOffset(int32_t base) { base_ = base; }
  int32_t baseOffset() const { return base_; }

  // Remembers the mode and rewinds; always succeeds.
  bool open(const std::string& name, uint32_t mode) override;
  bool close() override { return true; }
  int32_t tell() override;
  int32_t size() override;
  // The base offset is subtracted for origins start and end. The end itself is reachable;
  // beyond it (or before the start) the seek fails. Clears the end flag.
  bool seek(int32_t offset, int origin) override;
  bool eof() override { return eof_; }
  size_t read(void* buffer, size_t n) override;
  // Writes into the owned buffer at the position, growing it; a borrowed block is never
  // written (0 comes back).
  size_t write(const void* buffer, size_t n) override;

  const uint8_t* data() const { return owned_ ? buffer_.data() : block_; }
  size_t length() const { return owned_ ? length_ : blockSize_; }
  bool ownsBuffer() const { return owned_; }
  uint32_t mode() const { return mode_; }
  // Hands the owned bytes (exactly length() of them) to the caller and empties the stream.
  std::vector<uint8_t> releaseBuffer();

 private:
  void reset();

  const uint8_t* block_ = nullptr;
  size_t blockSize_ = 0;
  std::vector<uint8_t> buffer_;  // owned storage; its size is the capacity in growth steps
  size_t length_ = 0;            // owned bytes in use
  bool owned_ = false;
  size_t position_ = 0;
  int32_t base_ = 0;
  uint32_t mode_ = 0;
  bool eof_ = false;
};

}  // namespace halcyon
