// The feature choice of a wizard page: the component list shown as a tree
// (names nested at "\"), or as a check-list of its top-level components,
// the popup choices that switch components on and off, and the texts about
// the selected feature and the disk space it needs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

class ComponentList;
struct CompiledScript;
class MessageTable;
class SystemPort;

// The six pictures of the feature image list, 32×16 each, in this order.
enum class FeatureImage {
  kUnavailableNode = 0,   // red cross in a framed box with a drop-down arrow
  kInstalledNode = 1,     // hard disk in a framed box with a drop-down arrow
  kUnavailable = 2,       // red cross
  kUnavailableBelow = 3,  // red cross with a sub-item mark
  kInstall = 4,           // hard disk
  kInstallBelow = 5,      // hard disk with a sub-item mark
};
inline constexpr int kFeatureImageCount = 6;
inline constexpr int kFeatureImageWidth = 32;
inline constexpr int kFeatureImageHeight = 16;

inline constexpr std::size_t kNoFeatureNode = std::numeric_limits<std::size_t>::max();

struct FeatureNode {
  std::string text;  // one segment of the component's name
  int image = static_cast<int>(FeatureImage::kUnavailableNode);
  // The component's position + 1; 0 for a node that only groups others.
  std::size_t data = 0;
  std::size_t parent = kNoFeatureNode;
  std::vector<std::size_t> children;  // in display order
};

struct FeatureTree {
  std::vector<FeatureNode> nodes;  // a node's parent comes before it
  std::vector<std::size_t> roots;  // in display order

  // Every node, depth-first in display order.
  std::vector<std::size_t> DisplayOrder() const;
};

// One node per name segment; siblings are matched without regard to case,
// the first match taken. The predefined component is left out.
FeatureTree BuildFeatureTree(const ComponentList& components);

// Gives the node's component the state and the node the matching image;
// with descendants, every node below it as well. Grouping nodes keep theirs.
void SetFeatureState(FeatureTree& tree, ComponentList& components, std::size_t node,
                     bool withDescendants, bool selected);

// The popup menu on a feature's icon, in menu order; a separator follows
// the second item.
enum class FeatureChoice {
  kInstallOnly,
  kInstallWithSubComponents,
  kEntireUnavailable,
  kDoNotInstallOnly,
  kDoNotInstallWithSubComponents,
};

struct FeatureMenuItem {
  FeatureChoice choice;
  std::string_view name;
  std::string_view caption;
  FeatureImage image;
  bool visible;
};

inline constexpr std::array<FeatureMenuItem, 5> kFeatureMenu{{
    {FeatureChoice::kInstallOnly, "InstallComponentOnly1", "Will be &installed on local hard drive",
     FeatureImage::kInstall, true},
    {FeatureChoice::kInstallWithSubComponents, "InstallComponentwithSubComponents1",
     "&Entire feature will be installed on local hard drive", FeatureImage::kInstallBelow, true},
    {FeatureChoice::kEntireUnavailable, "Entirefeaturewillbeunavailable1",
     "Entire feature will be &unavailable", FeatureImage::kUnavailable, true},
    {FeatureChoice::kDoNotInstallOnly, "DoNotInstallComponentOnly1",
     "Do Not Install Component &Only", FeatureImage::kUnavailable, false},
    {FeatureChoice::kDoNotInstallWithSubComponents, "DoNotInstallComponentorSubComponents1",
     "Do &Not Install Component or Sub Components", FeatureImage::kUnavailableBelow, false},
}};

void ApplyFeatureChoice(FeatureTree& tree, ComponentList& components, std::size_t node,
                        FeatureChoice choice);

// The check-list: the top-level components (no "\" in the name) but the
// predefined one, in list order.
struct FeatureListItem {
  std::string text;
  bool checked = false;
};
std::vector<FeatureListItem> FeatureListItems(const ComponentList& components);

// For every item in order: every component whose name begins with the
// item's text (upper-cased) takes the item's check.
void ApplyFeatureChecks(ComponentList& components, std::span<const FeatureListItem> items);

// A byte count with its unit: below 1,048,576 (and negative) in bytes, below
// 1,073,741,824 in KB, else in MB; thousands separated by ",".
std::string SizeText(std::int64_t bytes, const MessageTable& messages);

// Where the feature tree, the feature list and the space texts find the
// components; all must outlive the dialogs.
struct FeatureSource {
  ComponentList* components = nullptr;
  const CompiledScript* script = nullptr;
  const std::int64_t* installedSize = nullptr;
  SystemPort* system = nullptr;
};

// What the feature texts are computed from.
struct FeatureFacts {
  const ComponentList& components;
  const CompiledScript& script;
  std::int64_t installedSize = 0;
  std::int64_t available = -1;  // free space of the target drive
  const MessageTable& messages;
};

// The text of a static text with Tag 2 (description), 3 (size of the
// selected feature), 4 (required), 5 (available) or 6 (remaining space);
// nothing for another Tag.
std::optional<std::string> FeatureInformation(int tag, std::string_view selectedFeature,
                                              const FeatureFacts& facts);

}  // namespace tavrel
