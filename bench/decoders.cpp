// Prints the block decoders this machine runs, one per line, the one
// qavrel.exe uses first; the benchmark builds one qavrel.exe for each.
#include <cstdio>

#include "core/block_decoder.h"

using namespace qavrel;

int main() {
  std::printf("%s\n", block_decoder::chosen_implementation().name);
  std::size_t count = 0;
  const block_decoder::Implementation* decoders = block_decoder::runnable_implementations(count);
  for (std::size_t i = 0; i < count; ++i)
    if (&decoders[i] != &block_decoder::chosen_implementation())
      std::printf("%s\n", decoders[i].name);
  return 0;
}
