#include "locate/version_order.h"

#include <cstddef>

namespace locate {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A run of digits without its leading zeros: compared by length, then
// digit by digit, it never overflows.
struct Number {
  const char* digits;
  std::size_t length;
};

// The digits at p, which moves past them; false when there are none.
bool take_number(const char*& p, Number& number) {
  const char* const first = p;
  while (*p == '0') ++p;
  number.digits = p;
  while (is_digit(*p)) ++p;
  number.length = static_cast<std::size_t>(p - number.digits);
  return p != first;
}

int compare(Number a, Number b) {
  if (a.length != b.length) return a.length < b.length ? -1 : 1;
  for (std::size_t i = 0; i < a.length; ++i)
    if (a.digits[i] != b.digits[i]) return a.digits[i] < b.digits[i] ? -1 : 1;
  return 0;
}

bool same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

enum Tier : int { NoVersion, FreeThreaded, Version, Preferred26, Preferred27 };

struct Rank {
  int tier = NoVersion;
  Number major{nullptr, 0};
  Number minor{nullptr, 0};
  bool plain = false;  // no suffix after X.Y
};

Rank rank_of(const char* name) {
  Rank rank;
  if (same(name, "2.7")) {
    rank.tier = Preferred27;
  } else if (same(name, "2.6")) {
    rank.tier = Preferred26;
  } else {
    const char* p = name;
    Number major{};
    Number minor{};
    if (!take_number(p, major) || *p++ != '.' || !take_number(p, minor)) return rank;
    rank = {*p == 't' ? FreeThreaded : Version, major, minor, *p == '\0'};
  }
  return rank;
}

}  // namespace

bool replaces_version(const char* name, const char* chosen) noexcept {
  const Rank a = rank_of(name);
  const Rank b = rank_of(chosen);
  if (a.tier != b.tier) return a.tier > b.tier;
  if (const int major = compare(a.major, b.major); major != 0) return major > 0;
  if (const int minor = compare(a.minor, b.minor); minor != 0) return minor > 0;
  return a.plain || !b.plain;
}

}  // namespace locate
