#pragma once

#include <string_view>

namespace DevServer {

// A real baseline JPEG of 8x8 grey pixels: quantisation all ones, one-code Huffman tables,
// and a single scan byte (DC difference 0, end of block).
inline constexpr unsigned char thumbnailBytes[] = {
    0xFF, 0xD8,                                                          // start of image
    0xFF, 0xDB, 0x00, 0x43, 0x00,                                        // quantisation table 0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00,  // 8x8, one component
    0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // DC table
    0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,  // AC table
    0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,        // start of scan
    0x3F,                                                                // "0" "0" padded with ones
    0xFF, 0xD9,                                                          // end of image
};

inline std::string_view thumbnail() {
    return {reinterpret_cast<const char*>(thumbnailBytes), sizeof thumbnailBytes};
}

}  // namespace DevServer
