// mediapack: packs a folder into the media archive that the program embeds.
//
//   mediapack OUTPUT FOLDER [--root NAME] [--mtime SECONDS]
//
// The archive holds a directory entry NAME ("Media" unless given) and every file below
// FOLDER as NAME\relative\path, stored uncompressed with its CRC-32. --mtime stamps every
// entry with one time (seconds since 1970) so that the same files always pack to the same
// bytes; without it each entry carries its file's modification time.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "engine/fs/archive_writer.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string root = "Media";
  std::optional<std::time_t> stamp;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--root" && i + 1 < args.size()) {
      root = args[++i];
    } else if (args[i] == "--mtime" && i + 1 < args.size()) {
      stamp = static_cast<std::time_t>(std::strtoll(args[++i].c_str(), nullptr, 10));
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) {
    std::fputs("usage: mediapack OUTPUT FOLDER [--root NAME] [--mtime SECONDS]\n", stderr);
    return 2;
  }
  halcyon::ArchiveWriter writer;
  std::string error;
  if (!writer.packFolder(positional[1], root, &error, stamp)) {
    std::fprintf(stderr, "mediapack: %s\n", error.c_str());
    return 1;
  }
  const std::vector<uint8_t> bytes = writer.finish();
  // Written beside the target and renamed, so a failed run never leaves half an archive.
  const std::string temporary = positional[0] + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "mediapack: cannot write %s\n", temporary.c_str());
      std::remove(temporary.c_str());
      return 1;
    }
  }
  if (std::rename(temporary.c_str(), positional[0].c_str()) != 0) {
    std::fprintf(stderr, "mediapack: cannot write %s\n", positional[0].c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}
