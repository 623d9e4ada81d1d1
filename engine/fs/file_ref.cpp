#include "engine/fs/file_ref.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "engine/fs/resource_source.h"
#include "engine/fs/stored_archive.h"

namespace halcyon {

// ---- FileBytes -----------------------------------------------------------------------------

void FileBytes::borrow(const uint8_t* data, size_t size) {
  owned_.clear();
  borrowed_ = data;
  borrowedSize_ = data ? size : 0;
}

void FileBytes::own(std::vector<uint8_t> bytes) {
  borrowed_ = nullptr;
  borrowedSize_ = 0;
  owned_ = std::move(bytes);
}

std::vector<uint8_t> FileBytes::take() {
  std::vector<uint8_t> out = borrowed_ ? std::vector<uint8_t>(borrowed_, borrowed_ + borrowedSize_) : std::move(owned_);
  borrow(nullptr, 0);
  return out;
}

// ---- FileRef -------------------------------------------------------------------------------

FileRef FileRef::resource(int32_t id) {
  FileRef ref;
  ref.sources = MemFile;
  ref.resourceId = id;
  return ref;
}

std::unique_ptr<Stream> FileRef::open(uint32_t mode) {
  if (sources & (Memory | MemFile)) {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool found = true;
    bool resourceData = false;
    if (sources & MemFile) {
      if (auto bytes = findResource(kMemFileType, resourceId)) {
        data = bytes->data;
        size = bytes->size;
        sources = MemFile;
        resourceData = true;
      } else {
        found = false;  // a missing resource falls through to disk and archive
      }
    } else {
      data = memory;
      size = memory ? memorySize : 0;
      sources = Memory;
    }
    if (found) {
      auto stream = std::make_unique<MemoryStream>();
      // Writers get their own copy: resource memory and borrowed blocks are never written.
      if (mode & Write) {
        stream->copyBlock(data, size);
      } else if (share || resourceData) {
        stream->useBlock(data, size);
      } else {
        stream->copyBlock(data, size);
      }
      stream->open(std::string(), mode);
      return stream;
    }
  }
  if (sources & Disk) {
    auto stream = std::make_unique<DiskStream>();
    if (stream->open(name, mode)) {
      sources = Disk;
      return stream;
    }
  }
  if ((sources & Archive) && archive) {
    sources = Archive;
    return archive->open(name, mode);
  }
  return nullptr;
}

bool FileRef::readAll(FileBytes& out, bool& shareOut) {
  if (sources & MemFile) {
    if (auto bytes = findResource(kMemFileType, resourceId)) {
      if (shareOut) {
        out.borrow(bytes->data, bytes->size);
      } else {
        out.own(std::vector<uint8_t>(bytes->data, bytes->data + bytes->size));
      }
      return true;
    }
  }
  if (sources & Memory) {
    if (shareOut && share) {
      out.borrow(memory, memory ? memorySize : 0);
    } else {
      out.own(memory ? std::vector<uint8_t>(memory, memory + memorySize) : std::vector<uint8_t>());
      shareOut = false;
    }
    return true;
  }
  auto stream = open(Read);
  if (!stream) return false;
  const int32_t size = stream->size();
  if (size < 0) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  // A short read is a failure, never a buffer with an unread tail.
  if (!readExact(*stream, bytes.data(), bytes.size())) return false;
  stream->close();
  out.own(std::move(bytes));
  shareOut = false;
  return true;
}

std::string directoryPart(const std::string& name) {
  const size_t at = name.find_last_of("/\\");
  if (at == std::string::npos || at == 0) return std::string();
  return name.substr(0, at);
}

FileRef FileRef::directoryOf() const {
  FileRef dir;
  if ((sources & Disk) && !name.empty()) dir.sources |= Disk;
  if ((sources & Archive) && archive) {
    dir.sources |= Archive;
    dir.archive = archive;
  }
  if (dir.sources) dir.name = directoryPart(name);
  return dir;
}

// ---- SearchPaths ---------------------------------------------------------------------------

namespace {

bool sameLocation(const FileRef& listed, const FileRef& added) {
  if (listed.sources & Disk) return (added.sources & Disk) && listed.name == added.name;
  if (listed.sources & Archive) {
    return (added.sources & Archive) && listed.archive == added.archive && listed.name == added.name;
  }
  return false;
}

// Whether a name opens as a readable file on disk.
bool diskReadable(const std::string& name) {
  DiskStream probe;
  return probe.open(name, Read);
}

// A location's name without trailing "\" and then "/" (never the first character), with "/"
// and the wanted name appended.
std::string joinLocation(const std::string& location, const std::string& name) {
  std::string base = location;
  while (base.size() > 1 && base.back() == '\\') base.pop_back();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/" + name;
}

}  // namespace

void SearchPaths::addLocation(const FileRef& location) {
  auto add = [&location](std::vector<FileRef>& list) {
    for (const FileRef& listed : list) {
      if (sameLocation(listed, location)) return;
    }
    list.push_back(location);
  };
  if (location.sources & Disk) add(disk_);
  if ((location.sources & Archive) && location.archive) add(archive_);
}

bool SearchPaths::resolve(FileRef& file) const {
  if (file.sources & Memory) {
    file.sources = Memory;
    return true;
  }
  if ((file.sources & MemFile) && findResource(kMemFileType, file.resourceId)) {
    file.sources = MemFile;
    return true;
  }
  size_t skip = 0;
  while (skip < file.name.size() && file.name[skip] == '/') ++skip;
  while (skip < file.name.size() && file.name[skip] == '\\') ++skip;
  const std::string bare = file.name.substr(skip);

  if (file.sources & Disk) {
    if (diskReadable(bare)) {
      file.sources = Disk;
      file.name = bare;
      return true;
    }
    for (const FileRef& location : disk_) {
      const std::string full = joinLocation(location.name, bare);
      if (diskReadable(full)) {
        file.sources = Disk;
        file.name = full;
        return true;
      }
    }
    // On this platform an absolute path starts with "/"; after the relative tries it is
    // still honoured as written, so a user's own file anywhere on disk can be named.
    if (skip > 0 && file.name[0] == '/' && diskReadable(file.name)) {
      file.sources = Disk;
      return true;
    }
  }
  if (file.sources & Archive) {
    if (file.archive && file.archive->exists(bare)) {
      file.sources = Archive;
      file.name = bare;
      return true;
    }
    for (const FileRef& location : archive_) {
      const std::string full = joinLocation(location.name, bare);
      if (location.archive && location.archive->exists(full)) {
        file.sources = Archive;
        file.archive = location.archive;
        file.name = full;
        return true;
      }
    }
  }
  return false;
}

}  // namespace halcyon
