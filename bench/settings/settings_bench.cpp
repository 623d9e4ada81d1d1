// Reading a settings file of 150,000 values (3.6 MB, under the store's size cap): the worst a
// hand-edited or generated file can ask of a start.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/registry/registry.h"

namespace {

std::string manyValues(int count) {
  std::string text = "[Software\\Quillmark\\Brassmoor]\n";
  for (int i = 0; i < count; ++i) text += "\"Value" + std::to_string(i) + "\"=dword:00000001\n";
  return text;
}

void BM_ParseSettings150k(benchmark::State& state) {
  const std::string text = manyValues(150000);
  for (auto _ : state) {
    const platform::RegistryStore store = platform::RegistryStore::parse(text);
    benchmark::DoNotOptimize(store.keys().size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ParseSettings150k)->Unit(benchmark::kMillisecond);

}  // namespace
