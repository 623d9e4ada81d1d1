#include "engine/fs/file_ref.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

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
    // A loose media file may differ from the archive's spelling in case alone.
    if ((sources & Archive) && mode == Read) {
      const std::string found = diskNameIgnoringCase(name);
      if (!found.empty() && stream->open(found, mode)) {
        sources = Disk;
        name = found;
        return stream;
      }
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
// and the wanted name appended. An empty location is the working folder itself: the name
// stays relative rather than becoming a path from the root.
std::string joinLocation(const std::string& location, const std::string& name) {
  if (location.empty()) return name;
  std::string base = location;
  while (base.size() > 1 && base.back() == '\\') base.pop_back();
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/" + name;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The entry of `folder` spelt `part` (exactly, or else the first in byte order that matches
// without regard to case); empty when there is none.
std::string entryIgnoringCase(const std::string& folder, const std::string& part) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
  if (fs::exists(dir / part, error)) return part;
  std::string best;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    if (sameIgnoringCase(entry, part) && (best.empty() || entry < best)) best = entry;
  }
  return best;
}

// Whether disk names are matched as the archive matches its entries.
bool mediaName(const FileRef& file) { return (file.sources & Archive) != 0; }

// The disk name under which `name` is readable, or empty.
std::string readableOnDisk(const std::string& name, bool ignoreCase) {
  if (diskReadable(name)) return name;
  return ignoreCase ? diskNameIgnoringCase(name) : std::string();
}

}  // namespace

std::string diskNameIgnoringCase(const std::string& name) {
  if (name.empty()) return std::string();
  if (diskReadable(name)) return name;
  std::string path = name;
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string built = path[0] == '/' ? "/" : "";
  size_t at = 0;
  while (at < path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    const std::string entry = part == ".." ? part : entryIgnoringCase(built, part);
    if (entry.empty()) return std::string();
    built += (built.empty() || built.back() == '/') ? entry : "/" + entry;
  }
  return !built.empty() && diskReadable(built) ? built : std::string();
}

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
    const bool ignoreCase = mediaName(file);
    // A full path that exists is that file: a file of the same name under the working
    // folder or a location must never stand in for it.
    if (!keepToLocations_ && skip > 0 && file.name[0] == '/' && diskReadable(file.name)) {
      file.sources = Disk;
      return true;
    }
    if (!keepToLocations_) {
      if (const std::string found = readableOnDisk(bare, ignoreCase); !found.empty()) {
        file.sources = Disk;
        file.name = found;
        return true;
      }
    }
    for (const FileRef& location : disk_) {
      if (const std::string found = readableOnDisk(joinLocation(location.name, bare), ignoreCase); !found.empty()) {
        file.sources = Disk;
        file.name = found;
        return true;
      }
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
