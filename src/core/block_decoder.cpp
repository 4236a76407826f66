// Picks the block decoder for this processor, once.
#include "core/block_decoder.h"

#include <cstring>

#include "core/decoders/common.h"

namespace qavrel::block_decoder {
namespace {

struct Candidate {
  Implementation implementation;
  bool (*runs_here)();
};

bool always() { return true; }

constexpr Candidate candidates[] = {
#if defined(__x86_64__)
    {{"avx512", decode_avx512}, avx512_runs_here},
    {{"avx2", decode_avx2}, avx2_runs_here},
#endif
    {{"portable", decode_portable}, always},
};
constexpr std::size_t candidate_count = sizeof candidates / sizeof candidates[0];

struct Runnable {
  Implementation list[candidate_count];
  std::size_t count = 0;
};

const Runnable& runnable() {
  static const Runnable found = [] {
    Runnable result;
    for (const Candidate& candidate : candidates)
      if (candidate.runs_here()) result.list[result.count++] = candidate.implementation;
    return result;
  }();
  return found;
}

}  // namespace

const Implementation* runnable_implementations(std::size_t& count) {
  count = runnable().count;
  return runnable().list;
}

const Implementation& chosen_implementation() {
  static const Implementation& chosen = [&]() -> const Implementation& {
    const Runnable& found = runnable();
#if defined(QAVREL_DECODER)
    for (std::size_t i = 0; i < found.count; ++i)
      if (std::strcmp(found.list[i].name, QAVREL_DECODER) == 0) return found.list[i];
#endif
    return found.list[0];
  }();
  return chosen;
}

}  // namespace qavrel::block_decoder
