#include "engine/core/parameter_blocks.h"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace tavrel {

ListIndexError::ListIndexError(std::size_t index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

ParameterBlock::ParameterBlock(std::vector<std::string> lines) : lines_(std::move(lines)) {
  if (lines_.size() >= UINT32_MAX / 2) throw std::length_error("parameter block too long");
  std::size_t slots = 16;
  while (slots < lines_.size() * 2) slots *= 2;
  firstLine_.assign(slots, 0);
  firstOccurrence_.resize(lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::uint32_t& slot = firstLine_[SlotOf(lines_[i])];
    firstOccurrence_[i] = slot == 0 ? 1 : 0;
    if (slot == 0) slot = static_cast<std::uint32_t>(i + 1);
  }
}

std::size_t ParameterBlock::SlotOf(std::string_view text) const {
  const std::size_t mask = firstLine_.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>{}(text)&mask;; slot = (slot + 1) & mask) {
    const std::uint32_t entry = firstLine_[slot];
    if (entry == 0 || lines_[entry - 1] == text) return slot;
  }
}

std::optional<std::size_t> ParameterBlock::Find(std::string_view id) const {
  const std::uint32_t entry = firstLine_[SlotOf(id)];
  if (entry == 0) return std::nullopt;
  return entry - 1;
}

const std::string& RecordLocation::Parameter(std::size_t n) const {
  static const std::string kEmpty;
  if (!found) return kEmpty;
  const std::size_t line = position + n;
  if (line >= lines.size()) throw ListIndexError(line);
  return lines[line];
}

RecordLocation ParameterBlocks::Locate(std::string_view id) const {
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
    if (const auto position = block->Find(id)) return {block->Lines(), *position, true};
  }
  return {};
}

const std::string& ParameterBlocks::Get(std::string_view id, std::size_t n) const {
  return Locate(id).Parameter(n);
}

// Records usually follow one another in command order, so the next record
// is looked for a few lines after the last one first: reading lines in order
// stays in the cache, where a probe of a large index does not.
CommandRecords::CommandRecords(const std::vector<std::string>& commandIds,
                               const ParameterBlocks& blocks) {
  constexpr std::size_t kLookahead = 64;
  records_.reserve(commandIds.size());
  const ParameterBlock* last = blocks.LastBlock();
  std::size_t cursor = 0;
  for (const std::string& id : commandIds) {
    RecordLocation location;
    if (last != nullptr) {
      // In the last block, the first line with the identifier's text is
      // the record whatever the other blocks hold.
      const std::vector<std::string>& lines = last->Lines();
      const std::size_t end = std::min(lines.size(), cursor + kLookahead);
      for (std::size_t line = cursor; line < end; ++line) {
        if (lines[line] == id && last->IsFirstOccurrence(line)) {
          location = {lines, line, true};
          break;
        }
      }
      if (!location.found) location = blocks.Locate(id);
      if (location.found && location.lines.data() == lines.data()) cursor = location.position + 1;
    }
    records_.push_back(location);
  }
}

const std::string& CommandRecords::Get(std::size_t commandIndex, std::size_t n) const {
  if (commandIndex >= records_.size()) throw ListIndexError(commandIndex);
  return records_[commandIndex].Parameter(n);
}

}  // namespace tavrel
