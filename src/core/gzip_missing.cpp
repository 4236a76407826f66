// Stands in for the gzip stream in a build without ISA-L: a gzip file is
// then refused, with the reason, rather than read as text.
#include "core/byte_stream.h"

namespace qavrel {

std::unique_ptr<ByteStream> gzip_stream(std::unique_ptr<FileInput>) {
  return missing_library_stream("gzip");
}

}  // namespace qavrel
