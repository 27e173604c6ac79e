// Build-time tool (runs on the build machine): writes the program icon as
// an .ico file: one 32 x 32 image of 32-bit colour, fully opaque, a white
// ring around a white right-pointing triangle on a black square. Edges are
// smoothed by sampling each pixel 4 x 4 times.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr int kSamples = 4;

// Whether a point (in pixel units, origin top left) is white.
bool white_at(double x, double y) {
  const double centre = kSize / 2.0;
  const double dx = x - centre;
  const double dy = y - centre;
  const double distance = std::sqrt(dx * dx + dy * dy);
  if (distance <= 15.0 && distance >= 12.5) return true;  // the ring
  // The triangle: left edge at x = 12, tip at x = 23, 12 high at its base.
  const double left = 12.0;
  const double tip = 23.0;
  if (x < left || x > tip) return false;
  const double half_height = 6.5 * (tip - x) / (tip - left);
  return std::fabs(dy) <= half_height;
}

void put16(std::vector<uint8_t>& out, unsigned value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
    return 2;
  }
  const uint32_t pixel_bytes = kSize * kSize * 4;
  const uint32_t mask_bytes = kSize * (kSize / 8);  // rows of 32 bits, all opaque
  const uint32_t image_bytes = 40 + pixel_bytes + mask_bytes;

  std::vector<uint8_t> out;
  // Icon directory: reserved, type 1 (icon), one image.
  put16(out, 0);
  put16(out, 1);
  put16(out, 1);
  // Its entry: 32 x 32, no palette, 1 plane, 32 bits, size, offset.
  out.push_back(kSize);
  out.push_back(kSize);
  out.push_back(0);
  out.push_back(0);
  put16(out, 1);
  put16(out, 32);
  put32(out, image_bytes);
  put32(out, 6 + 16);
  // Bitmap header; the height counts the colour rows and the mask's.
  put32(out, 40);
  put32(out, kSize);
  put32(out, kSize * 2);
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);  // uncompressed
  put32(out, pixel_bytes + mask_bytes);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  // Pixels, bottom row first, blue green red alpha.
  for (int row = kSize - 1; row >= 0; --row) {
    for (int column = 0; column < kSize; ++column) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = column + (sx + 0.5) / kSamples;
          const double y = row + (sy + 0.5) / kSamples;
          if (white_at(x, y)) ++hits;
        }
      }
      const auto level = static_cast<uint8_t>(hits * 255 / (kSamples * kSamples));
      out.push_back(level);
      out.push_back(level);
      out.push_back(level);
      out.push_back(255);
    }
  }
  out.insert(out.end(), mask_bytes, 0);

  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "make_icon: could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
