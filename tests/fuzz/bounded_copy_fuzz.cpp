// The bounded copy, fill and concatenation routines with fuzzed sizes and
// offsets in a guarded arena.
//
// The routines trust destMax as the real capacity of dest, so destMax is
// never larger than the arena bytes from dest on, with one exception: the
// values above LENGTH_LIMIT, which every routine but the "Tc" variants must
// refuse without writing (memcpy_sOptTc only where the blocks overlap).
// Counts take any value, extremes included; a count the routine must reject
// reaches it as is, while a count it would carry out is kept within the
// bytes the source really holds. The arena's last byte is a NUL that no
// destination covers, so every source string in it ends.
//
// After each call: the result is one of the routine's codes, no byte outside
// [dest, dest + destMax) changed, a successful call left what it should and a
// failed one left a usable dest reset (zeroes, the fill value, or an empty
// string).
//
// Input: byte 0 the routine, byte 1 options (null dest, null src, source in
// a block of its own), bytes 2-3 dest offset, 4-5 source offset, 6-7 destMax,
// 8-9 count (0xFF in the first byte of either picks an extreme), byte 10 the
// fill value, then the arena's first bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bounded/bounded.h"

namespace {

constexpr std::size_t kArena = 1024;
constexpr std::size_t kHeaderSize = 11;

enum routine : std::uint8_t {
  r_memset, r_memset_asm, r_memset_tc, r_memcpy, r_memcpy_asm, r_memcpy_tc, r_memmove,
  r_strcpy, r_strncpy, r_strcat, r_strncat, r_count
};
constexpr const char *kNames[] = {"memset_s",  "memset_sOptAsm", "memset_sOptTc", "memcpy_s",
                                  "memcpy_sOptAsm", "memcpy_sOptTc", "memmove_s", "strcpy_s",
                                  "strncpy_s", "strcat_s", "strncat_s"};
static_assert(std::size(kNames) == r_count);

constexpr std::array<std::size_t, 14> kExtremes = {
    0, 1, 2, SIZE_MAX, SIZE_MAX - 1, SIZE_MAX - 8, SIZE_MAX / 2 + 1, 0x7FFFFFFE, 0x7FFFFFFF,
    0x80000000, 0xFFFFFFFE, 0xFFFFFFFF, 0x100000000ULL, kArena};

constexpr bool refuses_large_capacity(routine r) { return r != r_memset_tc && r != r_memcpy_tc; }
constexpr bool is_block_copy(routine r) {
  return r == r_memcpy || r == r_memcpy_asm || r == r_memcpy_tc || r == r_memmove;
}
constexpr bool is_fill(routine r) { return r == r_memset || r == r_memset_asm || r == r_memset_tc; }

std::size_t pick(const std::uint8_t *p, std::size_t modulus) {
  if (p[0] == 0xFF) return kExtremes[p[1] % kExtremes.size()];
  return (std::size_t{p[0]} << 8 | p[1]) % modulus;
}

[[noreturn]] void fail(routine r, const char *what, std::size_t destMax, std::size_t count, int rc) {
  std::fprintf(stderr, "copy fuzz: %s %s (destMax %zu count %zu result %d)\n", kNames[r], what,
               destMax, count, rc);
  std::abort();
}

bool known_result(int rc) {
  switch (rc) {
    case RESULT_OK: case RESULT_INVALID: case RESULT_RANGE: case RESULT_INVALID_CLEARED:
    case RESULT_RANGE_CLEARED: case RESULT_OVERLAP_CLEARED:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  const auto r = static_cast<routine>(data[0] % r_count);
  const bool null_dest = (data[1] & 1) != 0;
  const bool null_src = (data[1] & 2) != 0;
  const bool own_src = (data[1] & 4) != 0;
  const std::size_t dest_off = pick(data + 2, kArena - 1);
  const std::size_t src_off = pick(data + 4, kArena) % kArena;
  std::size_t destMax = pick(data + 6, kArena + 8);
  std::size_t count = pick(data + 8, kArena + 8);
  const int c = data[10];
  data += kHeaderSize;
  size -= kHeaderSize;
  if (dest_off >= kArena - 1) return 0;

  // Heap blocks of the exact sizes: ASan guards both ends.
  std::vector<std::uint8_t> arena(kArena), source(kArena);
  std::memcpy(arena.data(), data, size < kArena ? size : kArena);
  std::memcpy(source.data(), data, size < kArena ? size : kArena);
  arena[kArena - 1] = 0;
  source[kArena - 1] = 0;

  // destMax within the arena bytes from dest on, the last NUL excluded,
  // unless it is a capacity the routine must refuse.
  const std::size_t capacity = kArena - 1 - dest_off;
  // memcpy_sOptTc carries out a request above the limit, but a count that
  // reaches from one block into the other (both in the arena) is an overlap
  // it must refuse whatever the capacity, as it must a null dest.
  const std::size_t distance = dest_off > src_off ? dest_off - src_off : src_off - dest_off;
  const bool tc_must_refuse = r == r_memcpy_tc && (null_dest || (!null_src && !own_src && count > distance));
  const bool must_refuse_capacity =
      destMax > LENGTH_LIMIT && (refuses_large_capacity(r) || tc_must_refuse);
  if (destMax > capacity && !must_refuse_capacity) destMax = capacity;
  const bool usable = destMax != 0 && destMax <= LENGTH_LIMIT;

  std::uint8_t *dest = null_dest ? nullptr : arena.data() + dest_off;
  const std::uint8_t *src = null_src ? nullptr : (own_src ? source.data() : arena.data()) + src_off;
  const std::size_t src_held = kArena - src_off;
  // A block copy or fill the routine would carry out stays within the bytes held.
  if (is_block_copy(r) && !must_refuse_capacity && count <= destMax && count > src_held) {
    count = src_held;
  }

  const std::vector<std::uint8_t> before = arena;
  auto *d = reinterpret_cast<char *>(dest);
  const auto *s = reinterpret_cast<const char *>(src);
  int rc = 0;
  switch (r) {
    case r_memset: rc = memset_s(dest, destMax, c, count); break;
    case r_memset_asm: rc = memset_sOptAsm(dest, destMax, c, count); break;
    case r_memset_tc: rc = memset_sOptTc(dest, destMax, c, count); break;
    case r_memcpy: rc = memcpy_s(dest, destMax, src, count); break;
    case r_memcpy_asm: rc = memcpy_sOptAsm(dest, destMax, src, count); break;
    case r_memcpy_tc: rc = memcpy_sOptTc(dest, destMax, src, count); break;
    case r_memmove: rc = memmove_s(dest, destMax, src, count); break;
    case r_strcpy: rc = strcpy_s(d, destMax, s); break;
    case r_strncpy: rc = strncpy_s(d, destMax, s, count); break;
    case r_strcat: rc = strcat_s(d, destMax, s); break;
    case r_strncat: rc = strncat_s(d, destMax, s, count); break;
    case r_count: return 0;
  }
  if (!known_result(rc)) fail(r, "returned an unknown code", destMax, count, rc);

  // Nothing outside [dest, dest + destMax) changed.
  const std::size_t written_from = null_dest ? kArena : dest_off;
  const std::size_t written_to = null_dest || !usable ? written_from : dest_off + destMax;
  for (std::size_t i = 0; i < kArena; ++i) {
    const bool inside = i >= written_from && i < written_to;
    if (!inside && arena[i] != before[i]) fail(r, "wrote outside dest's capacity", destMax, count, rc);
  }
  if (must_refuse_capacity && rc == RESULT_OK) {
    fail(r, "accepted a destMax above the limit", destMax, count, rc);
  }

  // What a failed call leaves in a usable dest: zeroes after a block copy,
  // the fill value after a fill, an empty string after a string routine.
  if (rc != RESULT_OK && usable && dest != nullptr) {
    if (rc == RESULT_RANGE || rc == RESULT_INVALID) fail(r, "refused a usable dest", destMax, count, rc);
    for (std::size_t i = 0; i < destMax && (is_block_copy(r) || is_fill(r)); ++i) {
      const std::uint8_t want = is_fill(r) ? static_cast<std::uint8_t>(c) : 0;
      if (dest[i] != want) fail(r, "left dest unreset after a failure", destMax, count, rc);
    }
    if (!is_block_copy(r) && !is_fill(r) && dest[0] != 0) {
      fail(r, "left a string after a failure", destMax, count, rc);
    }
  }

  // What a successful call leaves.
  if (rc != RESULT_OK || dest == nullptr || src == nullptr || !usable) return 0;
  const std::uint8_t *old_src = (own_src ? source.data() : before.data()) + src_off;
  if (is_fill(r)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (dest[i] != static_cast<std::uint8_t>(c)) fail(r, "filled wrongly", destMax, count, rc);
    }
  } else if (is_block_copy(r)) {
    if (count > destMax) fail(r, "copied more than destMax", destMax, count, rc);
    if (std::memcmp(dest, old_src, count) != 0) fail(r, "copied wrongly", destMax, count, rc);
  } else if (r == r_strcpy || r == r_strncpy) {
    const std::size_t limit = r == r_strncpy ? count : SIZE_MAX;
    const std::size_t n = strnlen(reinterpret_cast<const char *>(old_src), limit);
    if (n >= destMax || std::memcmp(dest, old_src, n) != 0 || dest[n] != 0) {
      fail(r, "copied the string wrongly", destMax, count, rc);
    }
  } else {
    const std::size_t dest_len = strnlen(reinterpret_cast<const char *>(before.data() + dest_off), destMax);
    const std::size_t limit = r == r_strncat ? count : SIZE_MAX;
    const std::size_t n = strnlen(reinterpret_cast<const char *>(old_src), limit);
    if (dest_len + n >= destMax || std::memcmp(dest, before.data() + dest_off, dest_len) != 0 ||
        std::memcmp(dest + dest_len, old_src, n) != 0 || dest[dest_len + n] != 0) {
      fail(r, "appended wrongly", destMax, count, rc);
    }
  }
  return 0;
}
