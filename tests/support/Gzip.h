#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TestSupport {

// `plain` as a gzip member (what a server sends with "Content-Encoding: gzip").
std::string gzipped(std::string_view plain);
// gzip of `size` zero bytes, made in pieces so the plain text never exists whole:
// 64 MiB of zeros become about 64 KB.
std::string gzippedZeros(std::size_t size);

}  // namespace TestSupport
