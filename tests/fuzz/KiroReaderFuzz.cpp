// libFuzzer target: the package reader on any bytes at all. Beyond what the
// sanitizers catch, it stops when an import breaks its own promises: a
// success hands over play data and photos within the limits, a failure never
// commits and drops any generation it began.
#include <cstddef>
#include <cstdint>

#include "shared/KiroFile.h"
#include "tests/native/KiroTestSink.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const TZipMemorySource source(data, size);
  TMemoryKiroSink sink;
  const TKiroResult result = ImportKiro(source, sink);
  Require(sink.begins <= 1 && sink.commits <= 1);
  if (result.ok) {
    Require(sink.committed && sink.aborts == 0 && !sink.data.empty() && !sink.photos.empty());
    std::uint64_t total = sink.data.size();
    for (const auto& [index, bytes] : sink.photos) {
      Require(index >= 0 && index <= 999 && bytes.size() <= 31457280);
      total += bytes.size();
    }
    Require(total <= 209715200 + 3);  // the data text lost its byte-order mark
  } else {
    Require(!sink.committed && !result.error.empty() && sink.aborts == sink.begins);
  }
  return 0;
}
