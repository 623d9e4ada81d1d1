#pragma once
// FileRef: how a file is named - a name plus the places it may live - and how it is opened.
// SearchPaths: how a bare name is completed against ordered lists of directories on disk and
// inside archives.
//
// Places are tried in a fixed order: a memory block or embedded resource first, then the
// disk, then the archive. After a successful open or resolve the sources narrow to the one
// place that worked, so a loose file on disk shadows an archive entry of the same name and
// later opens go straight to it.
//
// A name that may also live in the archive (a media name) is matched on disk without regard
// to case and with "\" read as "/", as the archive matches its entries; a name that lives
// only on disk is taken exactly as written.
//
// A FileRef never owns what it names: the archive and the memory block must outlive it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/fs/stream.h"

namespace halcyon {

class StoredArchive;

// SourceFlags bits.
enum SourceFlags : uint32_t {
  Disk = 1,
  Archive = 2,
  MemFile = 4,
  Memory = 8,
};

// The whole content of a file: either borrowed (resource memory or a shared memory block,
// valid as long as that is) or owned.
class FileBytes {
 public:
  const uint8_t* data() const { return borrowed_ ? borrowed_ : owned_.data(); }
  size_t size() const { return borrowed_ ? borrowedSize_ : owned_.size(); }
  bool shared() const { return borrowed_ != nullptr; }

  void borrow(const uint8_t* data, size_t size);
  void own(std::vector<uint8_t> bytes);
  // The bytes as an owned vector (copied when borrowed); leaves this empty.
  std::vector<uint8_t> take();

 private:
  const uint8_t* borrowed_ = nullptr;
  size_t borrowedSize_ = 0;
  std::vector<uint8_t> owned_;
};

class FileRef {
 public:
  FileRef() = default;
  // A file on disk.
  explicit FileRef(std::string name) : sources(Disk), name(std::move(name)) {}
  // A memory block; with share a read-only stream uses it in place.
  FileRef(const void* block, uint32_t size, bool share)
      : sources(Memory), memory(static_cast<const uint8_t*>(block)), memorySize(size), share(share) {}
  // An entry of an archive.
  FileRef(StoredArchive* archive, std::string name) : sources(Archive), name(std::move(name)), archive(archive) {}
  // An embedded "MemFile" resource.
  static FileRef resource(int32_t id);

  uint32_t sources = 0;
  std::string name;
  int32_t resourceId = 0;
  StoredArchive* archive = nullptr;
  const uint8_t* memory = nullptr;
  uint32_t memorySize = 0;
  bool share = true;

  // Tries memory or resource, then disk, then the archive. None when no place yields the
  // file. The caller owns the stream.
  std::unique_ptr<Stream> open(uint32_t mode);

  // The whole content. With share asked for and the data already in memory (a resource, or
  // a memory block whose share flag is set) `out` borrows it; otherwise it is a copy and
  // share comes back false. False when the file cannot be opened or read completely.
  bool readAll(FileBytes& out, bool& share);

  // The folder this file lies in, for the disk and/or archive places it has; an empty
  // FileRef (no sources) when neither applies.
  FileRef directoryOf() const;
};

// The folder part of a name: the text before the last "/" or "\"; empty when there is no
// separator or the only one is the first character.
std::string directoryPart(const std::string& name);

class SearchPaths {
 public:
  // Adds a directory: to the disk list when it has Disk, to the archive list when it has
  // Archive and an archive. An equal entry already listed is not added again.
  void addLocation(const FileRef& location);

  // Completes `file`: a full path that exists is taken as written; otherwise the name on its
  // own (relative to the working folder), then the locations in the order added. On success
  // `file` narrows to the place that worked and takes the full name; on failure it is
  // unchanged.
  bool resolve(FileRef& file) const;

  // Names written inside media files are relative to the media, never to the process's
  // working folder (the user's home under a host): with this set, names are completed only
  // against the listed locations and never tried on their own.
  void keepToLocations(bool keep) { keepToLocations_ = keep; }

  const std::vector<FileRef>& diskLocations() const { return disk_; }
  const std::vector<FileRef>& archiveLocations() const { return archive_; }

 private:
  std::vector<FileRef> disk_;
  std::vector<FileRef> archive_;
  bool keepToLocations_ = false;
};

// The name of a readable file on disk that matches `name` when case is ignored and "\\" is
// read as "/", component by component (the name itself when it opens as written); empty when
// none matches. Where several differ only in case, the first in byte order is taken.
std::string diskNameIgnoringCase(const std::string& name);

}  // namespace halcyon
