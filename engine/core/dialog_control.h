// A control of a wizard dialog as the binding sees it: a class, a name, and
// published properties read and written as text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/feature_tree.h"

namespace tavrel {

// Events a control reports to its form.
enum class ControlEvent {
  kChange,        // text, selection, position, folder or drive changed
  kClick,         // clicked (buttons, labels, images, check boxes, list items)
  kMouseUp,       // mouse released over it (shapes, tree views)
  kClickCheck,    // an item's check box of a check-list box toggled
  kHotSpotClick,  // a link of an HTML pane was clicked (see HtmlEvent)
  kMetaRefresh,   // a page shown in an HTML pane asks for a timed change
};

// What an HTML pane reports with kHotSpotClick and kMetaRefresh. The pane
// fills it before it fires; a kHotSpotClick handler sets handled when the
// pane must not follow the link itself.
struct HtmlPaneEvent {
  std::string link;      // kHotSpotClick: the link's source as written
  bool handled = false;  // kHotSpotClick: the answer
  int delaySeconds = 0;  // kMetaRefresh
  std::string url;       // kMetaRefresh: the target as written
};

// Property texts:
//   numbers in decimal; Booleans "True"/"False"; enumerations by identifier;
//   item lists ("Items", "Lines") as their lines joined by CR LF;
//   tree nodes ("Items" of a tree view) one node per line, its level given by
//   leading tab characters.
// Every control has Name, Hint, Tag, Left, Top, Width, Height, Visible and
// Enabled; what else it has depends on its class.
class DialogControl {
 public:
  virtual ~DialogControl() = default;

  // The class it was created as ("TBitBtn").
  virtual const std::string& ClassName() const = 0;
  virtual const std::string& Name() const = 0;
  // True for its own class and the classes it derives from: a TBitBtn is
  // also a TButton, a TPoolTemplate a TForm. The other classes of a dialog
  // derive from none of each other (a TCheckListBox is not a TListBox, a
  // TMaskEdit not a TEdit).
  virtual bool IsA(std::string_view className) const = 0;

  // nullopt when the control has no such property. Names are compared
  // without regard to case.
  virtual std::optional<std::string> GetPropertyText(std::string_view name) = 0;
  // False when it has no such property or the text is not a value of it
  // (the property is then left as it was).
  virtual bool SetPropertyText(std::string_view name, const std::string& text) = 0;

  // Tree views only; other controls ignore these. Node numbers are indices
  // into the FeatureTree's nodes.
  // Shows the tree with the feature images, every node expanded, the first
  // selected, texts not editable.
  virtual void ShowFeatureTree(const FeatureTree& /*tree*/) {}
  // Gives every node its image from the tree again.
  virtual void RefreshFeatureImages(const FeatureTree& /*tree*/) {}
  // The selected node of a feature tree; nullopt when none is.
  virtual std::optional<std::size_t> SelectedFeatureNode() { return std::nullopt; }
  // Whether the mouse was last released on a node's icon.
  virtual bool MouseOnFeatureIcon() { return false; }

  // HTML panes only. Loads a page file (links and pictures are found
  // relative to it); false when it cannot be read (the pane is left as it
  // was).
  virtual bool LoadHtmlFile(const std::string& /*path*/) { return false; }
  // The file the pane shows; empty when it shows source text.
  virtual std::string HtmlCurrentFile() { return {}; }
  // The shown page's title; empty when it has none.
  virtual std::string HtmlDocumentTitle() { return {}; }
  // A link turned into a full path relative to the page shown.
  virtual std::string HtmlExpandLink(const std::string& link) { return link; }
  // The event being reported; nullptr outside one.
  virtual HtmlPaneEvent* HtmlEvent() { return nullptr; }

  // Flash panes only. Creates the player inside the pane and gives it the
  // movie, registering the player library at playerSource when the player
  // is missing and the pane allows it; false when no player could be made
  // (the pane then says so in its caption).
  virtual bool LoadMovie(const std::string& /*moviePath*/, const std::string& /*playerSource*/) {
    return false;
  }
  virtual void PlayMovie() {}
  // Stops the player and destroys it; nothing when there is none.
  virtual void DiscardMovie() {}

  std::string Hint() { return GetPropertyText("Hint").value_or(""); }
  // 0 when the Tag is not a number.
  int Tag();
};

}  // namespace tavrel
