// Fuzzes the feature tree built from component names a script defines: one
// name a line, its first byte choosing the state. The tree must hold every
// node once, each node must stand for a component whose last name segment is
// its text, menu choices and list checks must keep images and states in
// step, and the size text must read back as the count it was made from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/components.h"
#include "engine/core/feature_tree.h"
#include "engine/core/message_table.h"
#include "engine/core/script_text.h"

namespace {

constexpr std::size_t kMaxComponents = 200;

void Check(bool condition) {
  if (!condition) std::abort();
}

// A trailing "\" opens no segment; one before it may end an empty one.
std::string_view LastSegment(std::string_view name) {
  if (name.ends_with('\\')) name.remove_suffix(1);
  const std::size_t slash = name.rfind('\\');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tavrel::ComponentList components;
  components.Reset();
  std::size_t start = 0;
  while (start < input.size() && components.Count() < kMaxComponents) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view line = input.substr(start, end - start);
    if (!line.empty()) components.Append(line.substr(1), (line[0] & 1) != 0);
    start = end + 1;
  }

  tavrel::FeatureTree tree = tavrel::BuildFeatureTree(components);
  const std::vector<std::size_t> order = tree.DisplayOrder();
  Check(order.size() == tree.nodes.size());
  std::vector<bool> seen(tree.nodes.size());
  for (const std::size_t node : order) {
    Check(!seen[node]);
    seen[node] = true;
    const tavrel::FeatureNode& n = tree.nodes[node];
    if (n.data == 0) continue;
    Check(n.data <= components.Count());
    Check(tavrel::ToUpperAnsi(LastSegment(components.Name(n.data - 1))) ==
          tavrel::ToUpperAnsi(n.text));
  }

  // Every menu choice on every node: a node's image follows its component.
  for (std::size_t node = 0; node < tree.nodes.size(); ++node) {
    const auto choice = static_cast<tavrel::FeatureChoice>(node % 5);
    tavrel::ApplyFeatureChoice(tree, components, node, choice);
    for (const tavrel::FeatureNode& n : tree.nodes) {
      if (n.data == 0) continue;
      // Later components of the same path share the node; the last one
      // set is the one the node shows.
      const bool selected = components.State(n.data - 1) == "TRUE";
      Check(n.image == (selected ? 1 : 0));
    }
  }

  std::vector<tavrel::FeatureListItem> items = tavrel::FeatureListItems(components);
  for (std::size_t i = 0; i < items.size(); ++i) items[i].checked = i % 2 == 0;
  tavrel::ApplyFeatureChecks(components, items);

  if (size >= 8) {
    std::int64_t bytes = 0;
    std::memcpy(&bytes, data, sizeof bytes);
    const tavrel::MessageTable messages;
    std::string text = tavrel::SizeText(bytes, messages);
    const std::size_t blank = text.find(' ');
    Check(blank != std::string::npos);
    const std::string unit = text.substr(blank + 1);
    std::string digits;
    for (const char c : text.substr(0, blank)) {
      if (c != ',') digits += c;
    }
    const long long shown = std::strtoll(digits.c_str(), nullptr, 10);
    if (unit == "bytes") Check(shown == bytes);
    if (unit == "KB") Check(shown == bytes / 1024);
    if (unit == "MB") Check(shown == bytes / 1048576);
  }
  return 0;
}
