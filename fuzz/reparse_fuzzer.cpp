// The redirector decision over reparse data straight from the file system:
// any bytes must be answered without reading past them, and an answer of
// "redirector" must come only from well-formed data that names it.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "locate/store_redirector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that any read past the end is caught.
  auto* copy = static_cast<unsigned char*>(std::malloc(size == 0 ? 1 : size));
  if (copy == nullptr) return 0;
  for (std::size_t i = 0; i < size; ++i) copy[i] = data[i];
  const bool redirector = locate::names_python_redirector({copy, size});
  // Nothing shorter than the header, the version and the package name is one.
  if (redirector && (size < 8 + 4 + 2 * 43 + 2 || copy[0] != 0x1B || copy[3] != 0x80)) std::abort();
  std::free(copy);
  return 0;
}
