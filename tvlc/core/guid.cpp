#include "tvlc/core/guid.h"

#include <cstdint>
#include <random>

namespace tavrel::tvlc {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

bool IsBracedGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const char c = text[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    if (dash ? c != '-' : !hex) return false;
  }
  return true;
}

std::string NewGuid() {
  static std::random_device device;
  static std::mt19937_64 random{(std::uint64_t{device()} << 32) ^ device()};
  std::string text = "{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) text += '-';
    text += kHex[random() & 15];
  }
  return text + "}";
}

std::string StableGuid(std::string_view text) {
  std::uint64_t a = 14695981039346656037ull, b = 0x6c1f4a523d0e4b8eull;
  for (const char c : text) {
    a = (a ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    b = (b ^ static_cast<unsigned char>(c)) * 0x100000001b3ull + 0x9a570f6f4c2b8e11ull;
  }
  // A final mix, so that texts that differ in their last character differ
  // in every digit.
  const auto mix = [](std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
  };
  a = mix(a);
  b = mix(b ^ a);
  std::string out = "{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) out += '-';
    const std::uint64_t word = i < 16 ? a : b;
    std::uint64_t digit = (word >> (4 * (i % 16))) & 15;
    if (i == 12) digit = 5;                // version
    if (i == 16) digit = 8 | (digit & 3);  // variant
    out += kHex[digit];
  }
  return out + "}";
}

}  // namespace tavrel::tvlc
