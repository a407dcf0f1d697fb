// libsquish: compresses a 16 x 16 RGBA image to DXT1, DXT3 and DXT5 with the
// cluster fits and decompresses it again; every pixel must come back close
// to the original. Prints a digest of the compressed bytes: run.sh compares
// it with the same program built for Linux against Debian's libsquish, as
// the program's tests expect the same DXT blocks on both systems, and so
// does the comparison of a command-line session (scripts/compare-windows-cli.sh).
#include <squish.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main() {
  const int size = 16;
  std::vector<squish::u8> rgba(size * size * 4);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      squish::u8* p = &rgba[(y * size + x) * 4];
      // Smooth gradients, as in a texture; alpha stays opaque enough
      // (>= 128) for DXT1's one-bit alpha to keep every colour.
      p[0] = static_cast<squish::u8>(12 * x + 3 * y);
      p[1] = static_cast<squish::u8>(255 - 12 * y);
      p[2] = static_cast<squish::u8>(8 * x + 7 * y);
      p[3] = static_cast<squish::u8>(255 - 6 * x - y);
    }

  int failures = 0;
  std::uint64_t digest = 14695981039346656037ull;  // FNV-1a over every output
  const struct {
    const char* name;
    int flags;
    int tolerance;
  } cases[] = {
      {"dxt1", squish::kDxt1 | squish::kColourIterativeClusterFit, 32},
      {"dxt3", squish::kDxt3 | squish::kColourClusterFit, 32},
      {"dxt5", squish::kDxt5 | squish::kColourClusterFit, 32},
  };
  for (const auto& c : cases) {
    std::vector<squish::u8> blocks(static_cast<size_t>(squish::GetStorageRequirements(size, size, c.flags)));
    squish::CompressImage(rgba.data(), size, size, blocks.data(), c.flags);
    std::vector<squish::u8> back(rgba.size());
    squish::DecompressImage(back.data(), size, size, blocks.data(), c.flags);
    int worst = 0;
    for (size_t i = 0; i < rgba.size(); ++i) {
      // DXT1 keeps no alpha beyond on/off: compare colours only.
      if (c.flags & squish::kDxt1 && i % 4 == 3) continue;
      worst = std::max(worst, std::abs(int(rgba[i]) - int(back[i])));
    }
    for (squish::u8 b : blocks) digest = (digest ^ b) * 1099511628211ull;
    std::printf("%s: %zu bytes, largest channel error %d\n", c.name, blocks.size(), worst);
    if (worst > c.tolerance) {
      std::printf("FAIL: %s error %d above %d\n", c.name, worst, c.tolerance);
      ++failures;
    }
  }
  // A block of the program's shipped icon page (a dark teal gradient) on
  // which libsquish's cluster fit rounds differently with SSE2 than
  // without: Debian's Linux libsquish is the plain build (USE_SSE ?= 0 in
  // its config), so the Windows one must be too.
  const squish::u8 teal[4][4] = {
      {0x2c, 0x83, 0x8e, 0xff}, {0x2b, 0x82, 0x8d, 0xff}, {0x2a, 0x80, 0x8c, 0xff}, {0x2a, 0x7f, 0x8b, 0xff}};
  squish::u8 block[64];
  for (int i = 0; i < 16; ++i) std::copy(teal[i / 4], teal[i / 4] + 4, block + 4 * i);
  squish::u8 fitted[8];
  squish::CompressMasked(block, 0xffff, fitted, squish::kDxt1 | squish::kColourClusterFit);
  std::printf("teal block:");
  for (squish::u8 b : fitted) {
    std::printf(" %02x", b);
    digest = (digest ^ b) * 1099511628211ull;
  }
  std::printf("\n");
  std::printf("squish digest %016llx\n", static_cast<unsigned long long>(digest));
  std::printf("%s\n", failures ? "squish smoke test FAILED" : "squish smoke test passed");
  return failures ? 1 : 0;
}
