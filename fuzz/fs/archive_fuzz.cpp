// Feeds arbitrary bytes to the stored-archive reader: lists the entries and opens each of
// them (and some names that are not there), for reading and for writing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/fs/file_ref.h"
#include "engine/fs/stored_archive.h"

using namespace halcyon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StoredArchive archive;
  if (!archive.attach(FileRef(data, static_cast<uint32_t>(size), size % 2 == 0))) return 0;
  int opened = 0;
  for (const ArchiveEntry& entry : archive.entries()) {
    if (++opened > 64) break;
    if (auto s = archive.open(entry.name, Read)) {
      uint8_t b[16];
      s->read(b, sizeof b);
      s->seek(0, SeekEnd);
    }
    if (auto s = archive.open(entry.name, Read | Write)) s->write("x", 1);
  }
  archive.open("Media\\clock.udf", Read);
  archive.open("", Read);
  return 0;
}
