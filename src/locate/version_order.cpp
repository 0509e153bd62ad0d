#include "locate/version_order.h"

#include <cstddef>

namespace locate {
namespace {

constexpr std::size_t longest_rank = 260;  // a 254-byte name and four bytes more

bool is_digit(char c) { return c >= '0' && c <= '9'; }

enum Tier : unsigned char { NoVersion, FreeThreaded, Version, Preferred26, Preferred27 };

// A name's rank as bytes compared in order: its tier, then for a version
// X and Y, each as its digits without leading zeros after their count (so
// that numbers of any length compare as bytes do), then whether no suffix
// follows. Answers the rank's length; ranks that agree up to the end of
// one are the same length.
[[gnu::noinline]] std::size_t rank_of(const char* name, unsigned char* rank) {
  const char* p = name;
  unsigned char* out = rank + 1;
  rank[0] = NoVersion;
  for (int part = 0; part < 2; ++part) {
    if (!is_digit(*p)) return 1;
    while (*p == '0') ++p;
    unsigned char* const count = out++;
    while (is_digit(*p)) *out++ = static_cast<unsigned char>(*p++);
    *count = static_cast<unsigned char>(out - count - 1);
    if (part == 0 && *p++ != '.') return 1;
  }
  *out++ = *p == '\0';
  rank[0] = *p == 't' ? FreeThreaded : Version;
  // Exactly "2.7" or "2.6": three bytes read, "2", then "7" or "6".
  if (p - name == 3 && *p == '\0' && name[0] == '2' && (name[2] | 1) == '7')
    rank[0] = static_cast<unsigned char>(Preferred26 + name[2] - '6');
  return static_cast<std::size_t>(out - rank);
}

}  // namespace

bool replaces_version(const char* name, const char* chosen) noexcept {
  unsigned char a[longest_rank];
  unsigned char b[longest_rank];
  const std::size_t length = rank_of(name, a);
  rank_of(chosen, b);
  for (std::size_t i = 0; i < length; ++i)
    if (a[i] != b[i]) return a[i] > b[i];
  return true;
}

}  // namespace locate
