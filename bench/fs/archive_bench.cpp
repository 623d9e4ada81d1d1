// Opening the last of 75 entries in a media-sized archive: each open walks the block chain
// from the start and checks the entry's CRC-32.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/fs/archive_writer.h"
#include "engine/fs/stored_archive.h"

namespace {

using namespace halcyon;

void BM_OpenLastOf75(benchmark::State& state) {
  ArchiveWriter writer;
  writer.addDirectory("Media", 0);
  std::vector<uint8_t> data;
  for (int i = 0; i < 75; ++i) {
    // About 950 KB for the scene, tens of KB for the rest, like the shipped media.
    data.assign(i == 0 ? 950000 : 20000 + static_cast<size_t>(i) * 1000, static_cast<uint8_t>(i));
    writer.addFile("Media\\file" + std::to_string(i) + ".dat", data.data(), data.size(), 0);
  }
  const std::vector<uint8_t> bytes = writer.finish();
  StoredArchive archive;
  archive.attach(FileRef(bytes.data(), static_cast<uint32_t>(bytes.size()), true));
  for (auto _ : state) {
    auto stream = archive.open("media/FILE74.dat", Read);
    benchmark::DoNotOptimize(stream);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 94000);
}
BENCHMARK(BM_OpenLastOf75)->Unit(benchmark::kMicrosecond);

}  // namespace
