// The converters work on a window of the stream and return how far they got; an instruction that
// does not fit wholly in the window waits for the next call, so the result does not depend on how
// the input arrives. Addresses are 32-bit and wrap, as the encoder computed them.
#include "tvl/core/branch_converters.h"

#include <utility>

#include "tvl/core/converting_stream.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void PutBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// ARM: BL with its 24-bit word offset, condition "always" (top byte EB). The offset counts
// from two instructions ahead.
std::size_t ConvertArm(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    if (data[i + 3] != 0xEB) continue;
    const std::uint32_t absolute = (std::uint32_t{data[i]} | std::uint32_t{data[i + 1]} << 8 |
                                    std::uint32_t{data[i + 2]} << 16)
                                   << 2;
    const std::uint32_t relative = (absolute - (pc + static_cast<std::uint32_t>(i) + 8)) >> 2;
    data[i] = static_cast<std::uint8_t>(relative);
    data[i + 1] = static_cast<std::uint8_t>(relative >> 8);
    data[i + 2] = static_cast<std::uint8_t>(relative >> 16);
  }
  return i;
}

// ARM Thumb: the BL pair of halfwords (11110 high part, 11111 low part), 22-bit halfword offset
// counted from the instruction after the first halfword pair's start plus four.
std::size_t ConvertArmThumb(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 2) {
    if ((data[i + 1] & 0xF8) != 0xF0 || (data[i + 3] & 0xF8) != 0xF8) continue;
    const std::uint32_t absolute =
        (std::uint32_t{data[i + 1] & 7u} << 19 | std::uint32_t{data[i]} << 11 |
         std::uint32_t{data[i + 3] & 7u} << 8 | std::uint32_t{data[i + 2]})
        << 1;
    const std::uint32_t relative = (absolute - (pc + static_cast<std::uint32_t>(i) + 4)) >> 1;
    data[i + 1] = static_cast<std::uint8_t>(0xF0 | ((relative >> 19) & 7));
    data[i] = static_cast<std::uint8_t>(relative >> 11);
    data[i + 3] = static_cast<std::uint8_t>(0xF8 | ((relative >> 8) & 7));
    data[i + 2] = static_cast<std::uint8_t>(relative);
    i += 2;
  }
  return i;
}

// ARM64: BL (26-bit word offset, all of it) and ADRP (21-bit page offset, only within
// +/-512 MiB, which keeps data that merely looks like ADRP from being touched).
std::size_t ConvertArm64(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    std::uint32_t instruction = Le32(data + i);
    const std::uint32_t here = pc + static_cast<std::uint32_t>(i);
    if ((instruction >> 26) == 0x25) {
      instruction = 0x94000000u | ((instruction - (here >> 2)) & 0x03FFFFFFu);
      PutLe32(data + i, instruction);
    } else if ((instruction & 0x9F000000u) == 0x90000000u) {
      const std::uint32_t stored = ((instruction >> 29) & 3u) | ((instruction >> 3) & 0x001FFFFCu);
      if (((stored + 0x00020000u) & 0x001C0000u) != 0) continue;
      const std::uint32_t page = stored - (here >> 12);
      instruction &= 0x9000001Fu;
      instruction |= (page & 3u) << 29;
      instruction |= (page & 0x0003FFFCu) << 3;
      instruction |= (0u - (page & 0x00020000u)) & 0x00E00000u;
      PutLe32(data + i, instruction);
    }
  }
  return i;
}

// PowerPC (big-endian): "bl" with AA=0, LK=1, 24-bit word offset.
std::size_t ConvertPowerPc(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    if ((data[i] >> 2) != 0x12 || (data[i + 3] & 3) != 1) continue;
    const std::uint32_t absolute = (Be32(data + i) & 0x03FFFFFCu);
    const std::uint32_t relative = absolute - (pc + static_cast<std::uint32_t>(i));
    PutBe32(data + i, 0x48000000u | (relative & 0x03FFFFFCu) | 1u);
  }
  return i;
}

// SPARC: "call" with a 30-bit word offset, converted only where the offset's top bits were all
// zeros or all ones (a near call).
std::size_t ConvertSparc(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    if (!((data[i] == 0x40 && (data[i + 1] & 0xC0) == 0x00) ||
          (data[i] == 0x7F && (data[i + 1] & 0xC0) == 0xC0))) {
      continue;
    }
    const std::uint32_t absolute = Be32(data + i) << 2;
    std::uint32_t relative = (absolute - (pc + static_cast<std::uint32_t>(i))) >> 2;
    relative = (((0u - ((relative >> 22) & 1u)) << 22) & 0x3FFFFFFFu) | (relative & 0x3FFFFFu) |
               0x40000000u;
    PutBe32(data + i, relative);
  }
  return i;
}

// IA-64: 16-byte bundles of a 5-bit template and three 41-bit slots. The template says which
// slots hold branch-unit instructions; an IP-relative call there (opcode 5, btype 0) has a 21-bit
// bundle offset split over two fields.
std::size_t ConvertIa64(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  static constexpr std::uint8_t kBranchSlots[32] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                    4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const unsigned slots = kBranchSlots[data[i] & 0x1F];
    for (unsigned slot = 0, bit = 5; slot < 3; ++slot, bit += 41) {
      if (((slots >> slot) & 1u) == 0) continue;
      const std::size_t byte = bit >> 3;
      const unsigned shift = bit & 7u;
      std::uint64_t raw = 0;
      for (unsigned j = 0; j < 6; ++j) raw |= std::uint64_t{data[i + byte + j]} << (8 * j);
      std::uint64_t instruction = raw >> shift;
      if (((instruction >> 37) & 0xF) != 0x5 || ((instruction >> 9) & 0x7) != 0) continue;
      std::uint32_t absolute = static_cast<std::uint32_t>((instruction >> 13) & 0xFFFFF);
      absolute |= static_cast<std::uint32_t>((instruction >> 36) & 1u) << 20;
      absolute <<= 4;
      const std::uint32_t relative = (absolute - (pc + static_cast<std::uint32_t>(i))) >> 4;
      instruction &= ~(std::uint64_t{0x8FFFFF} << 13);
      instruction |= std::uint64_t{relative & 0xFFFFFu} << 13;
      instruction |= std::uint64_t{relative & 0x100000u} << (36 - 20);
      raw &= (std::uint64_t{1} << shift) - 1;
      raw |= instruction << shift;
      for (unsigned j = 0; j < 6; ++j)
        data[i + byte + j] = static_cast<std::uint8_t>(raw >> (8 * j));
    }
  }
  return i;
}

// RISC-V: JAL that links through x1 or x5, and AUIPC paired with the next 32-bit instruction
// that uses AUIPC's register as its base. The encoder stored such a pair as an AUIPC with rd x2
// carrying the paired instruction's low 20 bits, followed by the big-endian absolute address.
// An AUIPC that only looks like such a pair was swapped the other way round, without address
// arithmetic, so that any input survives the round trip; undoing both is the same shuffle.
std::size_t ConvertRiscV(std::uint8_t* data, std::size_t size, std::uint32_t pc) {
  if (size < 8) return 0;
  const std::size_t last = size - 8;
  std::size_t i = 0;
  for (; i <= last; i += 2) {
    const std::uint32_t here = pc + static_cast<std::uint32_t>(i);
    if (data[i] == 0xEF) {
      const std::uint32_t b1 = data[i + 1];
      if ((b1 & 0x0D) != 0) continue;  // rd is neither x1 nor x5
      const std::uint32_t b2 = data[i + 2];
      const std::uint32_t b3 = data[i + 3];
      // The encoder stored address bits 20..1 in order, highest first.
      const std::uint32_t target = ((b1 & 0xF0) << 13 | b2 << 9 | b3 << 1) - here;
      // Back into the J-type immediate's scrambled order: 20 | 10..1 | 11 | 19..12.
      data[i + 1] = static_cast<std::uint8_t>((b1 & 0x0F) | ((target >> 8) & 0xF0));
      data[i + 2] = static_cast<std::uint8_t>(((target >> 16) & 0x0F) | ((target >> 7) & 0x10) |
                                              ((target << 4) & 0xE0));
      data[i + 3] = static_cast<std::uint8_t>(((target >> 4) & 0x7F) | ((target >> 13) & 0x80));
      i += 2;
      continue;
    }
    if ((data[i] & 0x7F) != 0x17) continue;
    std::uint32_t auipc = Le32(data + i);
    std::uint32_t second;
    if ((auipc & 0xE80) != 0) {
      // rd is neither x0 nor x2: a pair only when the next instruction is a 32-bit one whose
      // rs1 is this rd; the encoder swapped such pairs into the special form, so here this was
      // stored as it was, or is a disguised special form to be swapped back.
      second = Le32(data + i + 4);
      if ((((auipc << 8) ^ (second - 3)) & 0xF8003u) != 0) {
        i += 4;
        continue;
      }
      const std::uint32_t address = (auipc & 0xFFFFF000u) + (second >> 20);
      auipc = 0x17u | (2u << 7) | (second << 12);
      second = address;
    } else {
      // rd x0 (never converted) or x2 (the special form, when the packed instruction is a
      // 32-bit one and its rs1 is neither x0 nor x2).
      const std::uint32_t base = auipc >> 27;
      if (static_cast<std::uint32_t>((auipc - 0x3117u) << 18) >= (base & 0x1Du)) {
        i += 2;
        continue;
      }
      const std::uint32_t address = Be32(data + i + 4) - here;
      second = (auipc >> 12) | (address << 20);
      // The paired instruction's 12-bit immediate is signed, so AUIPC rounds to the nearest page.
      auipc = 0x17u | (base << 7) | ((address + 0x800u) & 0xFFFFF000u);
    }
    PutLe32(data + i, auipc);
    PutLe32(data + i + 4, second);
    i += 6;
  }
  return i;
}

using ConvertFn = std::size_t (*)(std::uint8_t*, std::size_t, std::uint32_t);

struct ArchitectureInfo {
  ConvertFn convert;
  std::uint32_t alignment;
};

ArchitectureInfo InfoOf(BranchArchitecture architecture) {
  switch (architecture) {
    case BranchArchitecture::kArm:
      return {ConvertArm, 4};
    case BranchArchitecture::kArmThumb:
      return {ConvertArmThumb, 2};
    case BranchArchitecture::kArm64:
      return {ConvertArm64, 4};
    case BranchArchitecture::kPowerPc:
      return {ConvertPowerPc, 4};
    case BranchArchitecture::kSparc:
      return {ConvertSparc, 4};
    case BranchArchitecture::kIa64:
      return {ConvertIa64, 16};
    case BranchArchitecture::kRiscV:
      return {ConvertRiscV, 2};
  }
  Fail(ErrorCode::kInternal, "unknown branch converter");
}

class BranchConverter final : public ConvertingStream {
 public:
  BranchConverter(ConvertFn convert, std::uint32_t start, std::unique_ptr<InStream> input)
      : ConvertingStream(std::move(input)), convert_(convert), start_(start) {}

 private:
  std::size_t Convert(std::span<std::uint8_t> data, std::uint64_t position) override {
    // Addresses are 32-bit: the encoder let them wrap in streams past 4 GiB.
    return convert_(data.data(), data.size(), start_ + static_cast<std::uint32_t>(position));
  }

  ConvertFn convert_;
  std::uint32_t start_;
};

}  // namespace

bool BranchPropertiesValid(BranchArchitecture architecture,
                           std::span<const std::uint8_t> properties) {
  if (properties.empty()) return true;
  if (properties.size() != 4) return false;
  return Le32(properties.data()) % InfoOf(architecture).alignment == 0;
}

std::unique_ptr<InStream> MakeBranchConverter(BranchArchitecture architecture,
                                              std::span<const std::uint8_t> properties,
                                              std::unique_ptr<InStream> input) {
  if (!BranchPropertiesValid(architecture, properties)) {
    Fail(ErrorCode::kUnsupported, "branch filter start offset");
  }
  const std::uint32_t start = properties.empty() ? 0 : Le32(properties.data());
  return std::make_unique<BranchConverter>(InfoOf(architecture).convert, start, std::move(input));
}

}  // namespace tvl
