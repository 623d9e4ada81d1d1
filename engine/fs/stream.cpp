#include "engine/fs/stream.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace halcyon {

bool readExact(Stream& stream, void* buffer, size_t n) {
  if (n == 0) return true;
  return stream.read(buffer, n) == n;
}

// ---- DiskStream ----------------------------------------------------------------------------

namespace {

// Names written for the original platform use "\" between folders; on this one only "/"
// separates, so the two are made the same before the name reaches the C library.
std::string diskPath(const std::string& name) {
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

DiskStream::~DiskStream() { close(); }

bool DiskStream::open(const std::string& name, uint32_t mode) {
  close();
  std::string modeText;
  if (mode & Read) modeText += 'r';
  if (mode & Write) modeText += 'w';
  modeText += 'b';
  if (modeText == "b") return false;
  const std::string path = diskPath(name);
  if (path.empty()) return false;
  // Only plain files: a folder would open here but is no file, and a pipe or device named
  // in a data file could block the program or never end.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return false;
  file_ = std::fopen(path.c_str(), modeText.c_str());
  return file_ != nullptr;
}

bool DiskStream::close() {
  if (!file_) return true;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

int32_t DiskStream::tell() {
  if (!file_) return -1;
  const long at = std::ftell(file_);
  if (at < 0 || at > INT32_MAX) return -1;
  return static_cast<int32_t>(at);
}

int32_t DiskStream::size() {
  if (!file_) return -1;
  struct stat info {};
  if (::fstat(fileno(file_), &info) != 0) return -1;
  // Files past the 32-bit range are beyond every format that travels through here.
  if (info.st_size > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(info.st_size);
}

bool DiskStream::seek(int32_t offset, int origin) {
  if (!file_) return false;
  const int whence = origin == SeekStart ? SEEK_SET : origin == SeekCurrent ? SEEK_CUR : SEEK_END;
  return std::fseek(file_, offset, whence) == 0;
}

bool DiskStream::eof() { return file_ != nullptr && std::feof(file_) != 0; }

size_t DiskStream::read(void* buffer, size_t n) {
  if (!file_ || n == 0) return 0;
  return std::fread(buffer, n, 1, file_) == 1 ? n : 0;
}

size_t DiskStream::write(const void* buffer, size_t n) {
  if (!file_ || n == 0) return 0;
  return std::fwrite(buffer, n, 1, file_) == 1 ? n : 0;
}

// ---- MemoryStream --------------------------------------------------------------------------

void MemoryStream::reset() {
  block_ = nullptr;
  blockSize_ = 0;
  buffer_.clear();
  buffer_.shrink_to_fit();
  length_ = 0;
  owned_ = false;
  position_ = 0;
  eof_ = false;
}

void MemoryStream::useBlock(const uint8_t* data, size_t size) {
  reset();
  block_ = data;
  blockSize_ = data ? size : 0;
}

void MemoryStream::copyBlock(const uint8_t* data, size_t size) {
  reset();
  owned_ = true;
  if (data && size) {
    buffer_.assign(data, data + size);
    length_ = size;
  }
}

void MemoryStream::takeBuffer(std::vector<uint8_t> bytes) {
  reset();
  owned_ = true;
  length_ = bytes.size();
  buffer_ = std::move(bytes);
}

bool MemoryStream::open(const std::string&, uint32_t mode) {
  mode_ = mode;
  position_ = 0;
  eof_ = false;
  if (mode & Write) owned_ = owned_ || block_ == nullptr;
  return true;
}

int32_t MemoryStream::tell() {
  return static_cast<int32_t>(static_cast<int64_t>(base_) + static_cast<int64_t>(position_));
}

int32_t MemoryStream::size() {
  const size_t n = length();
  return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

bool MemoryStream::seek(int32_t offset, int origin) {
  const int64_t end = static_cast<int64_t>(length());
  int64_t target;
  if (origin == SeekStart) {
    target = static_cast<int64_t>(offset) - base_;
  } else if (origin == SeekCurrent) {
    target = static_cast<int64_t>(position_) + offset;
  } else {
    target = end + static_cast<int64_t>(offset) - base_;
  }
  if (target < 0 || target > end) return false;
  position_ = static_cast<size_t>(target);
  eof_ = false;
  return true;
}

size_t MemoryStream::read(void* buffer, size_t n) {
  const size_t end = length();
  if (position_ >= end) {
    eof_ = true;
    return 0;
  }
  const size_t count = std::min(n, end - position_);
  if (count) std::memcpy(buffer, data() + position_, count);
  position_ += count;
  return count;
}

size_t MemoryStream::write(const void* buffer, size_t n) {
  if (!owned_ || n == 0) return 0;
  const size_t needed = position_ + n;
  if (needed > static_cast<size_t>(INT32_MAX)) return 0;
  if (needed > buffer_.size()) {
    const size_t steps = (needed + kGrowthStep - 1) / kGrowthStep;
    buffer_.resize(steps * kGrowthStep);
  }
  std::memcpy(buffer_.data() + position_, buffer, n);
  position_ = needed;
  length_ = std::max(length_, needed);
  return n;
}

std::vector<uint8_t> MemoryStream::releaseBuffer() {
  std::vector<uint8_t> out;
  if (owned_) {
    buffer_.resize(length_);
    out = std::move(buffer_);
  } else if (block_) {
    out.assign(block_, block_ + blockSize_);
  }
  reset();
  return out;
}

}  // namespace halcyon
