#include "engine/core/parameter_blocks.h"

namespace tavrel {

ListIndexError::ListIndexError(std::size_t index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")") {}

ParameterBlock::ParameterBlock(std::vector<std::string> lines) : lines_(std::move(lines)) {
  firstLine_.reserve(lines_.size());
  for (std::size_t i = 0; i < lines_.size(); ++i) firstLine_.try_emplace(lines_[i], i);
}

std::optional<std::size_t> ParameterBlock::Find(std::string_view id) const {
  const auto found = firstLine_.find(id);
  if (found == firstLine_.end()) return std::nullopt;
  return found->second;
}

const std::string& ParameterBlocks::Get(std::string_view id, std::size_t n) const {
  static const std::string kEmpty;
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) {
    const auto position = block->Find(id);
    if (!position) continue;
    const std::size_t line = *position + n;
    if (line >= block->Lines().size()) throw ListIndexError(line);
    return block->Lines()[line];
  }
  return kEmpty;
}

}  // namespace tavrel
