// The plain way to read a sample file: stream extraction of one int at a
// time. The benchmark runs it beside qavrel.exe on the same file.
#include <cstdint>
#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: stream_baseline FILE\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (int value; in >> value; ++count) sum += value;
  std::printf("%lld values, sum %lld\n", static_cast<long long>(count),
              static_cast<long long>(sum));
  return 0;
}
