#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Platform/core/UniqueHandle.h"

namespace TestSupport {

namespace detail {

// Feeds `next` pieces (empty: done) through one deflate stream with a gzip wrapper.
template <class Next>
std::string deflateAll(Next next) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    const Platform::UniqueHandle<z_stream*, &deflateEnd> owner(&stream);
    std::string out;
    char buffer[1 << 16];
    for (bool last = false; !last;) {
        const std::string_view piece = next();
        last = piece.empty();
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        stream.avail_in = static_cast<uInt>(piece.size());
        int status = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
        if (last && status != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    }
    return out;
}

}  // namespace detail

// `plain` as a gzip member (what a server sends with "Content-Encoding: gzip").
inline std::string gzipped(std::string_view plain) {
    constexpr std::size_t piece = 1 << 20;
    return detail::deflateAll([&] {
        const auto next = plain.substr(0, std::min(piece, plain.size()));
        plain.remove_prefix(next.size());
        return next;
    });
}

// gzip of `size` zero bytes, made in pieces so the plain text never exists whole:
// 64 MiB of zeros become about 64 KB.
inline std::string gzippedZeros(std::size_t size) {
    const std::string zeros(1 << 20, '\0');
    return detail::deflateAll([&] {
        const std::size_t next = std::min(size, zeros.size());
        size -= next;
        return std::string_view(zeros.data(), next);
    });
}

}  // namespace TestSupport
