#include "engine/core/feature_tree.h"

#include <map>
#include <utility>

#include "engine/core/compiled_script.h"
#include "engine/core/components.h"
#include "engine/core/message_table.h"
#include "engine/core/script_text.h"

namespace tavrel {
namespace {

constexpr std::int64_t kKilobyteLimit = 1'048'576;
constexpr std::int64_t kMegabyteLimit = 1'073'741'824;

// The name's segments at every "\"; a trailing "\" opens no further segment
// and an empty name has none.
std::vector<std::string_view> Segments(std::string_view name) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t end = name.find('\\', start);
    if (end == std::string_view::npos) end = name.size();
    segments.push_back(name.substr(start, end - start));
    start = end + 1;
  }
  return segments;
}

int ImageOf(bool selected) {
  return static_cast<int>(selected ? FeatureImage::kInstalledNode : FeatureImage::kUnavailableNode);
}

std::string Grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

}  // namespace

std::vector<std::size_t> FeatureTree::DisplayOrder() const {
  std::vector<std::size_t> order;
  order.reserve(nodes.size());
  // An explicit stack: a deeply nested name cannot exhaust the call stack.
  std::vector<std::size_t> pending(roots.rbegin(), roots.rend());
  while (!pending.empty()) {
    const std::size_t node = pending.back();
    pending.pop_back();
    order.push_back(node);
    const auto& children = nodes[node].children;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return order;
}

FeatureTree BuildFeatureTree(const ComponentList& components) {
  FeatureTree tree;
  // The first node of each upper-cased text below each parent.
  std::map<std::pair<std::size_t, std::string>, std::size_t> known;
  for (std::size_t i = 0; i < components.Count(); ++i) {
    const std::string& name = components.Name(i);
    if (name == kPredefinedComponent) continue;
    std::size_t parent = kNoFeatureNode;
    for (const std::string_view segment : Segments(name)) {
      auto [found, added] = known.try_emplace({parent, ToUpperAnsi(segment)}, tree.nodes.size());
      if (added) {
        FeatureNode node;
        node.text = segment;
        node.parent = parent;
        tree.nodes.push_back(std::move(node));
        auto& siblings = parent == kNoFeatureNode ? tree.roots : tree.nodes[parent].children;
        siblings.push_back(found->second);
      }
      parent = found->second;
    }
    if (parent == kNoFeatureNode) continue;  // an empty name
    FeatureNode& node = tree.nodes[parent];
    node.image = ImageOf(components.State(i) == "TRUE");
    node.data = i + 1;
  }
  return tree;
}

void SetFeatureState(FeatureTree& tree, ComponentList& components, std::size_t node,
                     bool withDescendants, bool selected) {
  if (node >= tree.nodes.size()) return;
  std::vector<std::size_t> pending{node};
  while (!pending.empty()) {
    FeatureNode& current = tree.nodes[pending.back()];
    pending.pop_back();
    if (current.data != 0 && current.data <= components.Count()) {
      components.SetStateAt(current.data - 1, selected);
      current.image = ImageOf(selected);
    }
    if (withDescendants) {
      pending.insert(pending.end(), current.children.rbegin(), current.children.rend());
    }
  }
}

void ApplyFeatureChoice(FeatureTree& tree, ComponentList& components, std::size_t node,
                        FeatureChoice choice) {
  switch (choice) {
    case FeatureChoice::kInstallOnly:
      SetFeatureState(tree, components, node, false, true);
      break;
    case FeatureChoice::kInstallWithSubComponents:
      SetFeatureState(tree, components, node, true, true);
      break;
    case FeatureChoice::kEntireUnavailable:
    case FeatureChoice::kDoNotInstallWithSubComponents:
      SetFeatureState(tree, components, node, true, false);
      break;
    case FeatureChoice::kDoNotInstallOnly:
      SetFeatureState(tree, components, node, false, false);
      break;
  }
}

std::vector<FeatureListItem> FeatureListItems(const ComponentList& components) {
  std::vector<FeatureListItem> items;
  for (std::size_t i = 0; i < components.Count(); ++i) {
    const std::string& name = components.Name(i);
    if (name == kPredefinedComponent || name.find('\\') != std::string::npos) continue;
    items.push_back({name, components.State(i) == "TRUE"});
  }
  return items;
}

void ApplyFeatureChecks(ComponentList& components, std::span<const FeatureListItem> items) {
  std::vector<std::string> upperNames;
  upperNames.reserve(components.Count());
  for (const std::string& name : components.Names()) upperNames.push_back(ToUpperAnsi(name));
  for (const FeatureListItem& item : items) {
    const std::string prefix = ToUpperAnsi(item.text);
    for (std::size_t i = 0; i < upperNames.size(); ++i) {
      if (upperNames[i].starts_with(prefix)) components.SetStateAt(i, item.checked);
    }
  }
}

std::string SizeText(std::int64_t bytes, const MessageTable& messages) {
  int unit = msg::kBytes;
  std::int64_t value = bytes;
  if (bytes >= kMegabyteLimit) {
    unit = msg::kMegabytes;
    value = bytes / kKilobyteLimit;
  } else if (bytes >= kKilobyteLimit) {
    unit = msg::kKilobytes;
    value = bytes / 1024;
  }
  // The magnitude in unsigned arithmetic, so that the most negative count
  // has one too.
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  return (value < 0 ? "-" : "") + Grouped(magnitude) + " " + messages.Get(unit);
}

std::optional<std::string> FeatureInformation(int tag, std::string_view selectedFeature,
                                              const FeatureFacts& facts) {
  const auto required = [&] {
    return RequiredSpace(facts.components, facts.script, facts.installedSize);
  };
  switch (tag) {
    case 2: {
      const std::string wanted = ToUpperAnsi(selectedFeature);
      for (std::size_t i = 0; i < facts.components.Count(); ++i) {
        if (ToUpperAnsi(facts.components.Name(i)) != wanted) continue;
        std::string text = facts.components.Description(i);
        constexpr std::string_view kNewLine = "$NEWLINE$";
        for (std::size_t at = text.find(kNewLine); at != std::string::npos;
             at = text.find(kNewLine, at + 2)) {
          text.replace(at, kNewLine.size(), "\r\n");
        }
        return text;
      }
      return std::string();
    }
    case 3:
      return SizeText(SizeOfComponent(facts.script, selectedFeature), facts.messages);
    case 4:
      return SizeText(required(), facts.messages);
    case 5:
      return SizeText(facts.available, facts.messages);
    case 6:
      return SizeText(facts.available - required(), facts.messages);
    default:
      return std::nullopt;
  }
}

}  // namespace tavrel
