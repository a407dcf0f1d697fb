// xxHash: XXH3 128-bit against the reference values of xxHash's own
// self-test, and one-shot against streaming. Built twice: header-only
// (XXH_INLINE_ALL) and against the prefix's libxxhash.a.
#ifndef KORVA_XXHASH_LIBRARY
#define XXH_INLINE_ALL
#endif
#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int main() {
  int failures = 0;
  // xxHash's self-test buffer (cli/xsum_sanity_check.c).
  std::vector<unsigned char> buffer(2367);
  const XXH64_hash_t prime32 = 2654435761U, prime64 = 11400714785074694797ULL;
  XXH64_hash_t generator = prime32;
  for (unsigned char& byte : buffer) {
    byte = static_cast<unsigned char>(generator >> 56);
    generator *= prime64;
  }

  struct Vector {
    size_t length;
    XXH64_hash_t seed;
    XXH64_hash_t low, high;
  };
  const Vector vectors[] = {
      // Reference values from xxHash 0.8.1's self-test (XSUM_XXH128_testdata).
      {0, 0, 0x6001C324468D497FULL, 0x99AA06D3014798D8ULL},
      {1, prime32, 0xB53D5557E7F76F8DULL, 0x89B99554BA22467CULL},
      {12, 0, 0x061A192713F69AD9ULL, 0x6E3EFD8FC7802B18ULL},
      {81, prime32, 0x703FBB3D7A5F755CULL, 0x2724EC7ADC750FB6ULL},
      {222, 0, 0xF1AEBD597CEC6B3AULL, 0x337E09641B948717ULL},
      {403, prime64, 0x6259F6ECFD6443FDULL, 0xBED311971E0BE8F2ULL},
      {2240, 0, 0x6E73A90539CF2948ULL, 0xCCB134FBFA7CE49DULL},
      {2367, prime32, 0x6F5360AE69C2F406ULL, 0xD23AAE4B76C31ECBULL},
  };
  for (const Vector& v : vectors) {
    XXH128_hash_t hash = XXH3_128bits_withSeed(buffer.data(), v.length, v.seed);
    if (hash.low64 != v.low || hash.high64 != v.high) {
      std::printf("FAIL: XXH3_128bits length %zu seed %llu\n", v.length, (unsigned long long)v.seed);
      ++failures;
    }
  }

  // Streaming in uneven pieces gives the one-shot hash.
  XXH3_state_t* state = XXH3_createState();
  XXH3_128bits_reset(state);
  for (size_t at = 0; at < buffer.size();) {
    size_t piece = std::min<size_t>(1 + at % 97, buffer.size() - at);
    XXH3_128bits_update(state, buffer.data() + at, piece);
    at += piece;
  }
  XXH128_hash_t streamed = XXH3_128bits_digest(state);
  XXH3_freeState(state);
  XXH128_hash_t oneShot = XXH3_128bits(buffer.data(), buffer.size());
  if (!XXH128_isEqual(streamed, oneShot)) {
    std::printf("FAIL: streaming and one-shot hashes differ\n");
    ++failures;
  }
  std::printf("XXH3_128 of the %zu-byte buffer: %016llx%016llx\n", buffer.size(),
              (unsigned long long)oneShot.high64, (unsigned long long)oneShot.low64);
  std::printf("%s\n", failures ? "xxhash smoke test FAILED" : "xxhash smoke test passed");
  return failures ? 1 : 0;
}
