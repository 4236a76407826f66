// Decoding speed of each block decoder this machine runs, on realistic
// sample text in memory, without the reading and the analysis around it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/block_decoder.h"

using namespace qavrel;
#include "sample_gen.h"

namespace {

const std::string& realistic_text() {
  static const std::string text = [] {
    SampleRecipe recipe = SampleRecipe::realistic();
    recipe.trains = 400;
    recipe.noise = 2;
    return std::string(block_decoder::bytes_before, ' ') + samples_text(recipe);
  }();
  return text;
}

void decode_text(benchmark::State& state, block_decoder::Decode decode) {
  const std::string& text = realistic_text();
  std::int32_t values[4096];
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop's own variable
    std::size_t pos = block_decoder::bytes_before;
    std::int64_t sum = 0;
    while (pos + block_decoder::block_size <= text.size()) {
      const block_decoder::Decoded decoded =
          decode(text.data() + pos, text.size() - pos, values, std::size(values));
      sum += values[0];
      pos += decoded.bytes > 0 ? decoded.bytes : 1;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  const block_decoder::Implementation* decoders = block_decoder::runnable_implementations(count);
  // The library keeps the registered benchmarks for the program's life.
  // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
  for (std::size_t i = 0; i < count; ++i)
    benchmark::RegisterBenchmark(decoders[i].name, decode_text, decoders[i].decode);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
