// Stands in for the zstd stream in a build without libzstd: a zstd file is
// then refused, with the reason, rather than read as text.
#include "core/byte_stream.h"

namespace qavrel {

std::unique_ptr<ByteStream> zstd_stream(std::unique_ptr<FileInput>) {
  return missing_library_stream("zstd");
}

}  // namespace qavrel
