// How the search works. A DXT colour block holds two 5:6:5 endpoints and a
// 2-bit index per pixel into a palette of four colours (two endpoints and
// two interpolants at thirds, "four-colour mode") or three (two endpoints
// and their midpoint, "three-colour mode", DXT1 only, chosen by the order of
// the endpoints). A block that decodes to given pixels therefore shows at
// most four distinct colours. For each way of giving those colours palette
// slots, every colour channel is an independent small problem: find two
// endpoint values whose palette has the given value at each used slot. The
// endpoints need not be colours of the block. The endpoints found are then
// ordered for the mode. Alpha in DXT5 is the same problem in one channel
// with eight slots. Every candidate is decoded before it is accepted, with
// the palette computation of libsquish's decoder (dxt_palette.h), so what is
// written is exactly what any reader of the file gets.
//
// Most blocks need no search: a block decoded from a DXT block that used
// both of its endpoints (all blocks of one colour, and nearly every block an
// encoder writes) shows those endpoints as its end colours, on the 5:6:5
// grid, and its other colours at the palette's interpolants.
// The fast paths try exactly that, computing the palette as the decoder
// does, and leave every other block to the search.
#include "tools/texture/exact_block.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "tools/texture/dxt_palette.h"

namespace korva {
namespace {

// One colour channel stored with `bits` bits (5 or 6).
struct ChannelTable {
  int count = 0;
  int expand[64] = {};
  int inverse[256];  // the stored value that expands to x, or -1
  // Endpoint pairs (a | b << 8, stored values) whose first interpolant is x:
  // (2A + B) / 3 in four-colour mode, (A + B) / 2 in three-colour mode.
  std::vector<uint16_t> third[256];
  std::vector<uint16_t> half[256];

  explicit ChannelTable(int bits) {
    count = 1 << bits;
    std::fill(std::begin(inverse), std::end(inverse), -1);
    for (int v = 0; v < count; ++v) {
      expand[v] = bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4);
      inverse[expand[v]] = v;
    }
    for (int a = 0; a < count; ++a) {
      for (int b = 0; b < count; ++b) {
        uint16_t pair = static_cast<uint16_t>(a | b << 8);
        third[(2 * expand[a] + expand[b]) / 3].push_back(pair);
        half[(expand[a] + expand[b]) / 2].push_back(pair);
      }
    }
  }
};

// The tables of red, green and blue, made on first use.
struct ChannelTables {
  ChannelTable five{5}, six{6};
  const ChannelTable* of[3] = {&five, &six, &five};
};

const ChannelTables& Tables() {
  static const ChannelTables tables;
  return tables;
}

// The palette value of `slot` for expanded endpoint values ea and eb.
int SlotValue(bool fourColour, int ea, int eb, int slot) {
  switch (slot) {
    case 0: return ea;
    case 1: return eb;
    case 2: return fourColour ? (2 * ea + eb) / 3 : (ea + eb) / 2;
    default: return (ea + 2 * eb) / 3;
  }
}

// Finds stored endpoint values a and b for one channel whose palette holds
// want[s] at every slot s with want[s] >= 0.
bool SolveChannel(const ChannelTable& t, bool fourColour, const int want[4], int* a, int* b) {
  auto fits = [&](int va, int vb) {
    for (int s = 2; s < 4; ++s) {
      if (want[s] >= 0 && SlotValue(fourColour, t.expand[va], t.expand[vb], s) != want[s]) {
        return false;
      }
    }
    return true;
  };
  int fixedA = want[0] >= 0 ? t.inverse[want[0]] : -2;
  int fixedB = want[1] >= 0 ? t.inverse[want[1]] : -2;
  if (fixedA == -1 || fixedB == -1) return false;
  if (fixedA >= 0 && fixedB >= 0) {
    *a = fixedA;
    *b = fixedB;
    return fits(fixedA, fixedB);
  }
  if (fixedA >= 0 || fixedB >= 0) {
    // One endpoint is used: the other, x, is the smallest stored value that
    // fits. An interpolant (c * x + k) / d == w bounds x to
    // [d * w - k, d * w - k + d - 1] / c, which holds every such value.
    const bool freeA = fixedA < 0;
    const int f = t.expand[freeA ? fixedB : fixedA];
    const int slot = want[2] >= 0 ? 2 : want[3] >= 0 ? 3 : -1;
    int lo = 0, hi = 0;  // no interpolant used: the smallest value, 0
    if (slot >= 0) {
      // Slot 2 is (2A + B) / 3, slot 3 (A + 2B) / 3, or (A + B) / 2.
      int c = !fourColour ? 1 : (slot == 2) == freeA ? 2 : 1;
      int d = fourColour ? 3 : 2;
      int k = (fourColour ? 3 - c : 1) * f;
      int first = d * want[slot] - k, last = first + d - 1;
      lo = (std::max(0, first) + c - 1) / c;
      hi = last < 0 ? -1 : std::min(255, last / c);
    }
    for (int x = lo; x <= hi; ++x) {
      int v = slot < 0 ? 0 : t.inverse[x];
      if (v < 0) continue;
      int va = freeA ? v : fixedA, vb = freeA ? fixedB : v;
      if (fits(va, vb)) {
        *a = va;
        *b = vb;
        return true;
      }
    }
    return false;
  }
  // Neither endpoint is used: look the pairs up by an interpolant.
  bool swap = want[2] < 0 && want[3] >= 0;  // slot 3 of (a, b) is slot 2 of (b, a)
  if (want[2] < 0 && !swap) {
    *a = *b = 0;
    return true;
  }
  const std::vector<uint16_t>& pairs =
      fourColour ? t.third[swap ? want[3] : want[2]] : t.half[want[2]];
  for (uint16_t pair : pairs) {
    int va = pair & 0xff;
    int vb = pair >> 8;
    if (swap) std::swap(va, vb);
    if (fits(va, vb)) {
      *a = va;
      *b = vb;
      return true;
    }
  }
  return false;
}

// Ways of giving n sorted colours distinct palette slots, most likely first:
// slots along the palette's line (0, 2, 3, 1 or 0, 2, 1) in the colours'
// order, then every other way. Of two ways that are the same up to
// swapping the endpoints only one is kept.
using Assignment = std::array<int, 4>;

std::vector<Assignment> MakeAssignments(int slots, int n) {
  const int line4[] = {0, 2, 3, 1};
  const int line3[] = {0, 2, 1};
  const int* line = slots == 4 ? line4 : line3;
  std::vector<Assignment> monotone, others;
  // Every injective map of n colours to line positions, via permutations of
  // all positions taking the first n (duplicates skipped).
  std::vector<std::array<int, 4>> seen;
  std::array<int, 4> perm = {0, 1, 2, 3};
  std::sort(perm.begin(), perm.begin() + slots);
  do {
    std::array<int, 4> m = {-1, -1, -1, -1};
    for (int k = 0; k < n; ++k) m[k] = perm[k];
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
    seen.push_back(m);
    std::array<int, 4> reversed = m;
    for (int k = 0; k < n; ++k) reversed[k] = slots - 1 - m[k];
    if (reversed < m) continue;
    Assignment slotOf = {0, 0, 0, 0};
    for (int k = 0; k < n; ++k) slotOf[k] = line[m[k]];
    bool increasing = std::is_sorted(m.begin(), m.begin() + n) &&
                      std::adjacent_find(m.begin(), m.begin() + n) == m.begin() + n;
    (increasing ? monotone : others).push_back(slotOf);
  } while (std::next_permutation(perm.begin(), perm.begin() + slots));
  monotone.insert(monotone.end(), others.begin(), others.end());
  return monotone;
}

const std::vector<Assignment>& Assignments(int slots, int n) {
  static const auto tables = [] {
    std::array<std::array<std::vector<Assignment>, 5>, 5> t;
    for (int s = 3; s <= 4; ++s) {
      for (int k = 1; k <= s; ++k) t[s][k] = MakeAssignments(s, k);
    }
    return t;
  }();
  return tables[slots][n];
}

// The distinct colours (RGB) of the counted pixels, sorted along the line
// through the two that lie farthest apart.
struct Colours {
  int n = 0;
  int rgb[4][3];
  int of[16];  // the colour of each counted pixel
};

bool CollectColours(const uint8_t* rgba, int mask, Colours* c) {
  c->n = 0;
  for (int i = 0; i < 16; ++i) {
    c->of[i] = 0;
    if (!(mask & (1 << i))) continue;
    const uint8_t* p = rgba + 4 * i;
    int k = 0;
    while (k < c->n && !(c->rgb[k][0] == p[0] && c->rgb[k][1] == p[1] && c->rgb[k][2] == p[2])) ++k;
    if (k == c->n) {
      if (c->n == 4) return false;
      for (int ch = 0; ch < 3; ++ch) c->rgb[k][ch] = p[ch];
      ++c->n;
    }
    c->of[i] = k;
  }
  if (c->n < 3) return c->n > 0;
  auto distance = [&](int x, int y) {
    int d = 0;
    for (int ch = 0; ch < 3; ++ch) d += (c->rgb[x][ch] - c->rgb[y][ch]) * (c->rgb[x][ch] - c->rgb[y][ch]);
    return d;
  };
  int p = 0, q = 1;
  for (int x = 0; x < c->n; ++x) {
    for (int y = x + 1; y < c->n; ++y) {
      if (distance(x, y) > distance(p, q)) p = x, q = y;
    }
  }
  // Sort by the position along that line; an insertion sort of at most
  // four, stable like the order in which the colours were met.
  const int n = c->n;
  int key[4], order[4];
  for (int k = 0; k < n; ++k) {
    key[k] = 0;
    for (int ch = 0; ch < 3; ++ch) key[k] += (c->rgb[k][ch] - c->rgb[p][ch]) * (c->rgb[q][ch] - c->rgb[p][ch]);
    int at = k;
    for (; at > 0 && key[order[at - 1]] > key[k]; --at) order[at] = order[at - 1];
    order[at] = k;
  }
  int rgb[4][3], rank[4];
  for (int k = 0; k < n; ++k) {
    std::memcpy(rgb[k], c->rgb[order[k]], sizeof rgb[k]);
    rank[order[k]] = k;
  }
  std::memcpy(c->rgb, rgb, sizeof rgb);
  for (int i = 0; i < 16; ++i) c->of[i] = rank[c->of[i]];
  return true;
}

int Pack565(const int v[3]) { return v[0] << 11 | v[1] << 5 | v[2]; }

void WriteColourBlock(int c0, int c1, const int index[16], uint8_t* block) {
  block[0] = static_cast<uint8_t>(c0 & 0xff);
  block[1] = static_cast<uint8_t>(c0 >> 8);
  block[2] = static_cast<uint8_t>(c1 & 0xff);
  block[3] = static_cast<uint8_t>(c1 >> 8);
  for (int row = 0; row < 4; ++row) {
    const int* ix = index + 4 * row;
    block[4 + row] = static_cast<uint8_t>(ix[0] | ix[1] << 2 | ix[2] << 4 | ix[3] << 6);
  }
}

// True when `block` (8 bytes of colour, of a DXT1 block or of a DXT5
// block's colour half) decodes to the counted pixels' colours; for DXT1
// also to alpha 255.
bool DecodesToColours(const uint8_t* rgba, int mask, const uint8_t* block, bool dxt1) {
  uint8_t palette[4][4];
  ColourPalette(block, dxt1, palette);
  const uint32_t compared = dxt1 ? 0xffffffffu : 0x00ffffffu;  // DXT1 alpha counts too
  uint32_t words[4];
  for (int k = 0; k < 4; ++k) {
    words[k] = static_cast<uint32_t>(palette[k][0] | palette[k][1] << 8 | palette[k][2] << 16) |
               static_cast<uint32_t>(palette[k][3]) << 24;
  }
  bool all = true;
  for (int i = 0; i < 16; ++i) {
    const uint8_t* p = rgba + 4 * i;
    const uint32_t have = static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
    all = all && (!(mask & (1 << i)) || ((words[ColourIndex(block, i)] ^ have) & compared) == 0);
  }
  return all;
}

// Tries every slot assignment in one mode; `dxt1` asks for the endpoint
// order that selects the mode in a DXT1 block.
bool SolveColourMode(const uint8_t* rgba, int mask, const Colours& c, bool fourColour, bool dxt1,
                     uint8_t* block) {
  // Only colours on the 5:6:5 grid can be endpoints.
  const ChannelTables& tables = Tables();
  bool onGrid[4];
  for (int k = 0; k < c.n; ++k) {
    onGrid[k] = true;
    for (int ch = 0; ch < 3; ++ch) onGrid[k] = onGrid[k] && tables.of[ch]->inverse[c.rgb[k][ch]] >= 0;
  }
  for (const Assignment& slotOf : Assignments(fourColour ? 4 : 3, c.n)) {
    bool possible = true;
    for (int k = 0; k < c.n; ++k) possible = possible && (slotOf[k] >= 2 || onGrid[k]);
    if (!possible) continue;
    int a[3], b[3];
    bool solved = true;
    for (int ch = 0; ch < 3 && solved; ++ch) {
      int want[4] = {-1, -1, -1, -1};
      for (int k = 0; k < c.n; ++k) want[slotOf[k]] = c.rgb[k][ch];
      solved = SolveChannel(*tables.of[ch], fourColour, want, &a[ch], &b[ch]);
    }
    if (!solved) continue;
    int c0 = Pack565(a), c1 = Pack565(b);
    int index[16];
    for (int i = 0; i < 16; ++i) index[i] = (mask & (1 << i)) ? slotOf[c.of[i]] : 0;
    if (dxt1) {
      // Four-colour mode needs c0 > c1, three-colour mode c0 <= c1; swapping
      // the endpoints swaps slots 0 and 1 (and 2 and 3 in four-colour mode).
      bool swapEnds = fourColour ? c0 < c1 : c0 > c1;
      if (swapEnds) {
        std::swap(c0, c1);
        for (int& ix : index) ix = ix < 2 ? 1 - ix : (fourColour ? 5 - ix : ix);
      }
      if (fourColour && c0 == c1) {
        // One colour in every slot: three-colour mode shows it at slot 0.
        std::fill(std::begin(index), std::end(index), 0);
      }
    }
    uint8_t candidate[8];
    WriteColourBlock(c0, c1, index, candidate);
    if (DecodesToColours(rgba, mask, candidate, dxt1)) {
      std::memcpy(block, candidate, 8);
      return true;
    }
  }
  return false;
}

struct ValueSet {
  uint64_t bits[4] = {};
  void Add(int v) { bits[v >> 6] |= uint64_t{1} << (v & 63); }
  bool Has(int v) const { return bits[v >> 6] >> (v & 63) & 1; }
  bool Within(const ValueSet& other) const {
    for (int w = 0; w < 4; ++w) {
      if (bits[w] & ~other.bits[w]) return false;
    }
    return true;
  }
};

bool CodesCover(int a0, int a1, const ValueSet& values) {
  int codes[8];
  AlphaCodes(a0, a1, codes);
  ValueSet have;
  for (int code : codes) have.Add(code);
  return values.Within(have);
}

// Searches endpoint pairs of one alpha mode. Distinct codes of a mode with
// `steps` intervals lie at least floor(span / steps) apart, so the span of
// the endpoints is bounded by the closest pair of values.
bool SearchAlpha(const int* sorted, int n, const ValueSet& all, bool sevenSteps, int* a0, int* a1) {
  if (n == 0) {
    *a0 = *a1 = 0;  // five-step mode: only the fixed codes 0 and 255 are used
    return true;
  }
  int lo = sorted[0], hi = sorted[n - 1];
  int steps = sevenSteps ? 7 : 5;
  int gap = 255;
  for (int k = 1; k < n; ++k) gap = std::min(gap, sorted[k] - sorted[k - 1]);
  int maxSpan = std::min(255, steps * gap + steps - 1);
  for (int span = std::max(hi - lo, sevenSteps ? 1 : 0); span <= maxSpan; ++span) {
    for (int low = std::min(lo, 255 - span); low >= std::max(0, hi - span); --low) {
      int high = low + span;
      // Seven-step mode has a0 > a1; five-step mode a0 <= a1.
      int e0 = sevenSteps ? high : low;
      int e1 = sevenSteps ? low : high;
      if (CodesCover(e0, e1, all)) {
        *a0 = e0;
        *a1 = e1;
        return true;
      }
    }
  }
  return false;
}

// The fast paths.

// The colour of pixel i as one word (red, green, blue; alpha left out).
uint32_t Rgb(const uint8_t* rgba, int i) {
  const uint8_t* p = rgba + 4 * i;
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}

int Channel(uint32_t colour, int ch) { return static_cast<int>(colour >> (8 * ch) & 0xff); }

// The colour block whose endpoints are the block's end colours, when both
// lie on the 5:6:5 grid and every counted pixel shows a colour of their
// palette: four-colour mode, or for DXT1 (`dxt1`) also three-colour mode,
// with the endpoints ordered for the mode. The end colours are those of the
// first pixels with the lowest and the highest value in the channel that
// varies most: where a block shows both its endpoints, each channel's
// lowest and highest values are theirs.
bool EndpointColourBlock(const uint8_t* rgba, int mask, bool dxt1, uint8_t* block) {
  uint32_t colours[16];
  int n = 0;
  for (int i = 0; i < 16; ++i) {
    if (mask & (1 << i)) colours[n++] = Rgb(rgba, i);
  }
  if (n == 0) return false;
  int same = 1;
  while (same < n && colours[same] == colours[0]) ++same;
  if (same == n) {
    // One colour: on the grid, both endpoints and every index 0 (in either
    // mode); off it, the search's.
    int stored[3];
    for (int ch = 0; ch < 3; ++ch) {
      stored[ch] = Tables().of[ch]->inverse[Channel(colours[0], ch)];
      if (stored[ch] < 0) return false;
    }
    const int index[16] = {};
    WriteColourBlock(Pack565(stored), Pack565(stored), index, block);
    return true;
  }
  // The channel that varies most, and its lowest and highest values.
  int lo[3], hi[3];
  for (int ch = 0; ch < 3; ++ch) {
    int low = 255, high = 0;
    for (int k = 0; k < n; ++k) {
      const int v = Channel(colours[k], ch);
      low = std::min(low, v), high = std::max(high, v);
    }
    lo[ch] = low, hi[ch] = high;
  }
  // Each channel's lowest and highest values are the endpoints' own.
  const ChannelTables& tables = Tables();
  for (int ch = 0; ch < 3; ++ch) {
    if (tables.of[ch]->inverse[lo[ch]] < 0 || tables.of[ch]->inverse[hi[ch]] < 0) return false;
  }
  int widest = 0;
  for (int ch = 1; ch < 3; ++ch) {
    if (hi[ch] - lo[ch] > hi[widest] - lo[widest]) widest = ch;
  }
  uint32_t ends[2] = {colours[0], colours[0]};
  for (int k = n - 1; k >= 0; --k) {  // the first pixels with each value win
    const int v = Channel(colours[k], widest);
    if (v == lo[widest]) ends[0] = colours[k];
    if (v == hi[widest]) ends[1] = colours[k];
  }
  int e[2][3], stored[2][3];
  for (int ch = 0; ch < 3; ++ch) {
    const ChannelTable& table = *tables.of[ch];
    for (int k = 0; k < 2; ++k) {
      e[k][ch] = Channel(ends[k], ch);
      stored[k][ch] = table.inverse[e[k][ch]];
      if (stored[k][ch] < 0) return false;
    }
  }
  for (bool fourColour : {true, false}) {
    if (!fourColour && !dxt1) break;
    uint32_t palette[4];
    for (int slot = 0; slot < 4; ++slot) {
      palette[slot] = 0;
      for (int ch = 0; ch < 3; ++ch) {
        palette[slot] |= static_cast<uint32_t>(SlotValue(fourColour, e[0][ch], e[1][ch], slot)) << (8 * ch);
      }
    }
    const int slots = fourColour ? 4 : 3;
    int index[16];
    bool all = true;
    for (int i = 0, k = 0; i < 16 && all; ++i) {
      index[i] = 0;
      if (!(mask & (1 << i))) continue;
      const uint32_t colour = colours[k++];
      int slot = 0;
      while (slot < slots && palette[slot] != colour) ++slot;
      index[i] = slot;
      all = slot < slots;
    }
    if (!all) continue;
    int c0 = Pack565(stored[0]), c1 = Pack565(stored[1]);
    if (dxt1) {
      // As in SolveColourMode: order the endpoints for the mode. Equal
      // endpoints (one colour) decode in three-colour mode, where the
      // colour is at slot 0 as well.
      bool swapEnds = fourColour ? c0 < c1 : c0 > c1;
      if (swapEnds) {
        std::swap(c0, c1);
        for (int& ix : index) ix = ix < 2 ? 1 - ix : (fourColour ? 5 - ix : ix);
      }
    }
    WriteColourBlock(c0, c1, index, block);
    return true;
  }
  return false;
}

// The DXT5 alpha half whose endpoints are the block's extreme alpha values:
// seven-step mode with the highest and lowest value, else five-step mode
// with the highest and lowest value other than 0 and 255 (which that mode
// holds anyway), when every counted pixel's alpha is one of the codes.
bool EndpointAlphaBlock(const uint8_t* rgba, int mask, uint8_t* block) {
  if (mask == 0) return false;
  // One value (most blocks, opaque or empty): what the tries below give for
  // it, five-step mode with both endpoints 0 and every index 7 for 255, and
  // both endpoints the value and every index 0 otherwise.
  int first = 0;
  while (!(mask & (1 << first))) ++first;
  const uint8_t value = rgba[4 * first + 3];
  int next = first + 1;
  while (next < 16 && (!(mask & (1 << next)) || rgba[4 * next + 3] == value)) ++next;
  if (next == 16) {
    const bool opaque = value == 255;
    uint64_t packed = 0;  // pixels outside the picture keep index 0
    for (int k = 0; k < 16 && opaque; ++k) {
      if (mask & (1 << k)) packed |= uint64_t{7} << (3 * k);
    }
    block[0] = block[1] = opaque ? 0 : value;
    for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(packed >> (8 * k));
    return true;
  }
  int lo = 255, hi = 0, innerLo = 255, innerHi = -1;
  for (int i = 0; i < 16; ++i) {
    if (!(mask & (1 << i))) continue;
    const int v = rgba[4 * i + 3];
    lo = std::min(lo, v), hi = std::max(hi, v);
    if (v != 0 && v != 255) innerLo = std::min(innerLo, v), innerHi = std::max(innerHi, v);
  }
  if (innerHi < 0) innerLo = innerHi = 0;
  // Seven-step mode needs a0 > a1; five-step mode's endpoints may be 0 or
  // 255 themselves.
  const int tries[5][2] = {{hi, lo}, {innerLo, innerHi}, {lo, innerHi}, {innerLo, hi}, {lo, hi}};
  for (int t = hi > lo ? 0 : 1; t < 5; ++t) {
    bool tried = false;
    for (int u = 1; u < t; ++u) tried = tried || (tries[u][0] == tries[t][0] && tries[u][1] == tries[t][1]);
    if (tried || (t > 0 && tries[t][0] > tries[t][1])) continue;
    int codes[8];
    AlphaCodes(tries[t][0], tries[t][1], codes);
    int8_t indexOf[256];
    std::memset(indexOf, -1, sizeof indexOf);
    for (int k = 7; k >= 0; --k) indexOf[codes[k]] = static_cast<int8_t>(k);
    uint64_t packed = 0;
    bool all = true;
    for (int i = 0; i < 16; ++i) {
      if (!(mask & (1 << i))) continue;
      const int index = indexOf[rgba[4 * i + 3]];
      all = all && index >= 0;
      packed |= static_cast<uint64_t>(index & 7) << (3 * i);
    }
    if (!all) continue;
    block[0] = static_cast<uint8_t>(tries[t][0]);
    block[1] = static_cast<uint8_t>(tries[t][1]);
    for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(packed >> (8 * k));
    return true;
  }
  return false;
}

}  // namespace

bool FindExactColourBlock(const uint8_t* rgba, int mask, uint8_t* block) {
  if (EndpointColourBlock(rgba, mask, false, block)) return true;
  Colours c;
  if (!CollectColours(rgba, mask, &c)) return false;
  return SolveColourMode(rgba, mask, c, true, false, block);
}

bool FindExactDxt1Block(const uint8_t* rgba, int mask, uint8_t* block) {
  for (int i = 0; i < 16; ++i) {
    if ((mask & (1 << i)) && rgba[4 * i + 3] != 255) return false;
  }
  if (EndpointColourBlock(rgba, mask, true, block)) return true;
  Colours c;
  if (!CollectColours(rgba, mask, &c)) return false;
  if (SolveColourMode(rgba, mask, c, true, true, block)) return true;
  return c.n <= 3 && SolveColourMode(rgba, mask, c, false, true, block);
}

bool FindExactDxt5AlphaBlock(const uint8_t* rgba, int mask, uint8_t* block) {
  if (EndpointAlphaBlock(rgba, mask, block)) return true;
  ValueSet all;
  int sorted[8], n = 0;
  for (int i = 0; i < 16; ++i) {
    if (!(mask & (1 << i))) continue;
    int v = rgba[4 * i + 3];
    if (all.Has(v)) continue;
    if (n == 8) return false;
    all.Add(v);
    int k = n++;
    for (; k > 0 && sorted[k - 1] > v; --k) sorted[k] = sorted[k - 1];  // kept in order
    sorted[k] = v;
  }
  // Five-step mode has 0 and 255 as fixed codes; the search spans the rest.
  int skip = n > 0 && sorted[0] == 0 ? 1 : 0;
  int inner = n - skip - (n > skip && sorted[n - 1] == 255 ? 1 : 0);
  int a0 = 0, a1 = 0;
  bool found = (inner <= 6 && SearchAlpha(sorted + skip, inner, all, false, &a0, &a1)) ||
               SearchAlpha(sorted, n, all, true, &a0, &a1);
  if (!found) return false;

  // Every value is one of the codes (CodesCover said so), at the index
  // found here.
  int codes[8];
  AlphaCodes(a0, a1, codes);
  uint64_t packed = 0;
  for (int i = 0; i < 16; ++i) {
    int index = 0;
    if (mask & (1 << i)) {
      while (index < 8 && codes[index] != rgba[4 * i + 3]) ++index;
      if (index == 8) return false;
    }
    packed |= static_cast<uint64_t>(index) << (3 * i);
  }
  block[0] = static_cast<uint8_t>(a0);
  block[1] = static_cast<uint8_t>(a1);
  for (int k = 0; k < 6; ++k) block[2 + k] = static_cast<uint8_t>(packed >> (8 * k));
  return true;
}

}  // namespace korva
