#include "engine/fs/archive_writer.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>

#include "engine/fs/crc32.h"

namespace halcyon {

namespace {

constexpr size_t kMaxEntryName = 259;

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

// Fills in the 16-bit header CRC (the low half of the CRC-32 of the header after its CRC
// field) of the block that starts at `start`.
void sealHeader(std::vector<uint8_t>& out, size_t start, size_t headerSize) {
  const uint32_t crc = crc32(out.data() + start + 2, headerSize - 2) & 0xFFFF;
  out[start] = static_cast<uint8_t>(crc);
  out[start + 1] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace

uint32_t dosTime(std::time_t when) {
  std::tm parts{};
  if (!gmtime_r(&when, &parts) || parts.tm_year < 80) return (1u << 5 | 1u) << 16;  // 1980-01-01
  const uint32_t date = static_cast<uint32_t>((parts.tm_year - 80) << 9 | (parts.tm_mon + 1) << 5 | parts.tm_mday);
  const uint32_t time = static_cast<uint32_t>(parts.tm_hour << 11 | parts.tm_min << 5 | parts.tm_sec / 2);
  return date << 16 | time;
}

ArchiveWriter::ArchiveWriter() { finish(); }

std::vector<uint8_t> ArchiveWriter::finish() {
  std::vector<uint8_t> done;
  if (!bytes_.empty()) {
    // End of archive: type 0x7B, flags 0x4000, size 7.
    const size_t start = bytes_.size();
    put16(bytes_, 0);
    bytes_.push_back(0x7B);
    put16(bytes_, 0x4000);
    put16(bytes_, 7);
    sealHeader(bytes_, start, 7);
    done = std::move(bytes_);
  }
  // Marker, then the 13-byte main header (no flags).
  bytes_ = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  const size_t start = bytes_.size();
  put16(bytes_, 0);
  bytes_.push_back(0x73);
  put16(bytes_, 0);
  put16(bytes_, 13);
  put16(bytes_, 0);
  put32(bytes_, 0);
  sealHeader(bytes_, start, 13);
  return done;
}

bool ArchiveWriter::addDirectory(const std::string& name, std::time_t modified) {
  return addEntry(name, nullptr, 0, modified, true);
}

bool ArchiveWriter::addFile(const std::string& name, const uint8_t* data, size_t size, std::time_t modified) {
  return addEntry(name, data, size, modified, false);
}

bool ArchiveWriter::addEntry(const std::string& rawName, const uint8_t* data, size_t size, std::time_t modified,
                             bool directory) {
  std::string name = rawName;
  std::replace(name.begin(), name.end(), '/', '\\');
  if (name.empty() || name.size() > kMaxEntryName) return false;
  if (size > 0xFFFFFFFFu || bytes_.size() + size > 0x7FFFFFFFu) return false;
  const size_t start = bytes_.size();
  const uint32_t headerSize = static_cast<uint32_t>(32 + name.size());
  put16(bytes_, 0);                                  // header CRC, sealed below
  bytes_.push_back(0x74);                            // file header
  put16(bytes_, 0x8000 | (directory ? 0x00E0 : 0));  // long block; directory
  put16(bytes_, headerSize);
  put32(bytes_, static_cast<uint32_t>(size));  // packed size
  put32(bytes_, static_cast<uint32_t>(size));  // unpacked size
  bytes_.push_back(2);                         // host system
  put32(bytes_, crc32(data, size));
  put32(bytes_, dosTime(modified));
  bytes_.push_back(20);    // unpack version
  bytes_.push_back(0x30);  // stored
  put16(bytes_, static_cast<uint32_t>(name.size()));
  put32(bytes_, directory ? 0x10 : 0x20);
  bytes_.insert(bytes_.end(), name.begin(), name.end());
  sealHeader(bytes_, start, headerSize);
  if (size) bytes_.insert(bytes_.end(), data, data + size);
  return true;
}

bool ArchiveWriter::packFolder(const std::filesystem::path& folder, const std::string& rootName, std::string* error,
                               std::optional<std::time_t> stamp) {
  namespace fs = std::filesystem;
  auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return fail("not a folder: " + folder.string());
  auto mtime = [stamp](const fs::path& p) {
    if (stamp) return *stamp;
    std::error_code e;
    const auto t = fs::last_write_time(p, e);
    if (e) return std::time_t{0};
    return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(t));
  };
  if (!addDirectory(rootName, mtime(folder))) return fail("bad folder name: " + rootName);

  // Depth-first, sorted, folders as their own entries.
  std::vector<std::pair<fs::path, std::string>> pending{{folder, rootName}};
  while (!pending.empty()) {
    auto [dir, prefix] = pending.back();
    pending.pop_back();
    std::vector<fs::directory_entry> items;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) items.push_back(*it);
    if (ec) return fail("cannot list " + dir.string() + ": " + ec.message());
    std::sort(items.begin(), items.end(),
              [](const auto& a, const auto& b) { return a.path().filename().string() < b.path().filename().string(); });
    std::vector<std::pair<fs::path, std::string>> subfolders;
    for (const auto& item : items) {
      const std::string entryName = prefix + "\\" + item.path().filename().string();
      if (item.is_directory(ec)) {
        if (!addDirectory(entryName, mtime(item.path()))) return fail("bad name: " + entryName);
        subfolders.emplace_back(item.path(), entryName);
        continue;
      }
      if (!item.is_regular_file(ec)) continue;
      std::ifstream in(item.path(), std::ios::binary);
      if (!in) return fail("cannot read " + item.path().string());
      std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (in.bad()) return fail("cannot read " + item.path().string());
      if (!addFile(entryName, data.data(), data.size(), mtime(item.path()))) return fail("cannot add " + entryName);
    }
    // Visit subfolders in sorted order after this folder's files.
    std::reverse(subfolders.begin(), subfolders.end());
    for (auto& sub : subfolders) pending.push_back(std::move(sub));
  }
  return true;
}

}  // namespace halcyon
