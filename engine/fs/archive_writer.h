#pragma once
// ArchiveWriter: packs files into the media archive's block format - marker, main header,
// one file header per entry (host system 2, CRC-32, DOS time, unpack version 20, method 0x30
// stored, attributes 0x10 directory or 0x20 file), entry data stored as is, and the 7-byte
// end-of-archive block. Every header carries its own header CRC so that general archive
// tools read the result too.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace halcyon {

class ArchiveWriter {
 public:
  ArchiveWriter();

  // Names use "\" between folders (a "/" is turned into "\"). False when the name is empty,
  // longer than an entry name may be (259 bytes) or the data too large for the format.
  bool addDirectory(const std::string& name, std::time_t modified);
  bool addFile(const std::string& name, const uint8_t* data, size_t size, std::time_t modified);

  // The archive so far with the end block appended; the writer is then empty again.
  std::vector<uint8_t> finish();

  // Packs a folder: a directory entry `rootName`, then every file below the folder as
  // `rootName` + "\" + its relative path, folders before their contents, names sorted
  // byte-wise so the output does not depend on the order the system lists them in.
  // Each entry carries its file's modification time, or `stamp` when given. False (with a
  // reason) when something cannot be read or named.
  bool packFolder(const std::filesystem::path& folder, const std::string& rootName, std::string* error,
                  std::optional<std::time_t> stamp = std::nullopt);

 private:
  bool addEntry(const std::string& name, const uint8_t* data, size_t size, std::time_t modified, bool directory);

  std::vector<uint8_t> bytes_;
};

// A time as the archive stores it: DOS date in the high 16 bits, DOS time in the low, taken
// in UTC so that the same input packs to the same bytes everywhere.
uint32_t dosTime(std::time_t when);

}  // namespace halcyon
