#pragma once

#include <cstdint>
#include <string>

namespace fraglane::test {

// The bytes of a baseline JPEG of one colour, made with libjpeg (the Qt of the Windows build
// carries no JPEG writer, and the pictures must be real on both systems).
std::string SolidJpeg(int width, int height, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue);

}  // namespace fraglane::test
