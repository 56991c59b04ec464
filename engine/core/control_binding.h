// Binding a wizard dialog's controls to script variables: before a dialog is
// shown its controls take their texts and values from the variables their
// Hint names; while it is on screen every change is written back at once;
// when the next dialog replaces it, the design texts come back. A control's
// Tag gives it a role: Next, Back, Cancel and Browse buttons, the target
// folder edit, readme and licence panes, the progress text and bar.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/dialog_control.h"
#include "engine/core/dialog_rules.h"
#include "engine/core/feature_tree.h"
#include "engine/core/html_pane_actions.h"
#include "engine/core/message_table.h"
#include "engine/core/target_folder.h"
#include "engine/core/variable_store.h"

namespace tavrel {

// What a control's event runs once its dialog is prepared.
enum class ControlHandler {
  kEditChange,
  kMaskEditChange,
  kCheckBoxClick,
  kRadioButtonClick,
  kListBoxClick,
  kComboBoxClick,
  kComboBoxChange,
  kTrackBarChange,
  kCheckListBoxClick,
  kCheckListBoxClickCheck,
  kTreeViewChange,
  kTreeViewMouseUp,
  kFileListBoxChange,
  kDirectoryListBoxChange,
  kDriveComboBoxChange,
  kShellTreeChange,
  kShellListChange,
  kShellComboChange,
  kHtmlHotSpotClick,
  kHtmlMetaRefresh,
  kButtonRole,  // labels, the three button kinds, images and shapes
};

// Modal results.
inline constexpr int kResultWaiting = -1;
inline constexpr int kResultNext = 6;
inline constexpr int kResultBack = 7;
inline constexpr int kResultCancel = 2;

// One dialog as the binding sees it.
struct DialogPage {
  DialogControl* form = nullptr;         // the form itself
  std::vector<DialogControl*> controls;  // the controls it owns, in file order
  std::vector<DialogRule> rules;
  std::intptr_t window = 0;  // owner of the questions it asks
  int result = kResultWaiting;
  std::string selectedFeature;
  FeatureTree featureTree;  // what the tree view with Tag 1 shows
  std::map<std::pair<const DialogControl*, ControlEvent>, ControlHandler> handlers;

  // The controls followed by the form, as preparation walks them.
  std::vector<DialogControl*> WorkingList() const;
  DialogControl* Find(std::string_view name) const;  // letter case ignored
};

// What the binding asks of the system and the user.
class BindingPlatform {
 public:
  virtual ~BindingPlatform() = default;
  virtual bool FolderExists(const std::string& path) = 0;
  // A file exists when the system reports a modification time for it.
  virtual bool FileExists(const std::string& path) = 0;
  // The whole file; nullopt when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Yes/No question owned by the dialog; true on Yes.
  virtual bool AskYesNo(const DialogPage& page, const std::string& text,
                        const std::string& caption) = 0;
  // The shell's folder browser, no caption, no root; nullopt when cancelled.
  virtual std::optional<std::string> BrowseForFolder(const DialogPage& page) = 0;
  // The feature popup menu at the mouse cursor; nullopt when it was closed
  // without a choice.
  virtual std::optional<FeatureChoice> ChooseFeatureAction(const DialogPage& page) = 0;
  // What HTML panes ask for. Failures are not reported: the link counts as
  // followed all the same.
  virtual void OpenWithShell(const std::string& target) = 0;
  virtual void PlaySoundFile(const std::string& path) = 0;  // without waiting for it
  virtual void StartProgram(const std::string& path, const std::string& parameters) = 0;
  // The one timer of the timed page change; when it runs out the platform
  // calls ControlBinding::PageTimerElapsed. Starting it again restarts it.
  virtual void StartPageTimer(unsigned milliseconds) = 0;
  virtual void StopPageTimer() = 0;
};

// A value that must be a decimal number was not; the dialog command fails
// with this message.
class BindingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ProgressValues {
  std::string text;
  int position = 0;
  int maximum = 100;
  int minimum = 0;
};

class ControlBinding {
 public:
  ControlBinding(VariableStore& store, const MessageTable& messages, BindingPlatform& platform);

  // The support folder, where the readme and licence panes find their files.
  void SetSupportFolder(std::string folder);
  void SetFeatureSource(const FeatureSource& source) { features_ = source; }

  // Binds the dialog's controls to the variables. BindingError when a
  // progress or track-bar value is not a number.
  void Prepare(DialogPage& page);
  // Gives the dialog its design texts back and detaches the handlers.
  void Release(DialogPage& page);
  // The dialog appears: the target base and tail are worked out again.
  void FormShown();
  // A control reported an event: runs its handler unless none is attached
  // or a preparation or release is under way.
  void HandleEvent(DialogPage& page, DialogControl& control, ControlEvent event);
  void FillTargetFolder(DialogPage& page, const std::string& folder);
  void ApplyRules(DialogPage& page);
  // Shows the progress store in the current dialog.
  void RefreshProgress(DialogPage& page, const ProgressValues& progress);

  // The timer of a timed page change ran out.
  void PageTimerElapsed();
  // The dialog is about to be destroyed: a page change waiting for one of
  // its panes is dropped.
  void ForgetPage(const DialogPage& page);

  bool Cancelled() const { return cancelled_; }
  void ClearCancelled() { cancelled_ = false; }
  bool Binding() const { return binding_; }
  const TargetParts& Target() const { return target_; }

 private:
  std::string Expand(const std::string& text) const { return store_.Expand(text); }
  std::string HintValue(DialogControl& control) const;
  void SetVariable(DialogControl& control, const std::string& value);
  void SaveAndExpand(DialogControl& control, std::string_view property);
  std::string SavedText(const DialogControl& control) const;
  std::string TargetStartFolder() const;
  void PrepareControl(DialogPage& page, DialogControl& control, const std::string& start);
  void ReleaseControl(DialogPage& page, DialogControl& control);
  void FillPane(DialogControl& control, bool rich);
  void Attach(DialogPage& page, DialogControl& control, ControlEvent event, ControlHandler handler);
  void Detach(DialogPage& page, DialogControl& control, ControlEvent event);
  void RunHandler(DialogPage& page, DialogControl& control, ControlHandler handler);
  void ButtonRole(DialogPage& page, DialogControl& control);
  void SelectItemOfHint(DialogControl& control);
  FolderExists Exists() const;
  void FillFeatureTree(DialogPage& page, DialogControl& control);
  void FillFeatureList(DialogControl& control);
  void FeatureChecksChanged(DialogControl& control);
  void FeatureIconClicked(DialogPage& page, DialogControl& control);
  void UpdateFeatureInformation(DialogPage& page);
  // True when the engine took the link over from the pane.
  bool HotSpotClick(DialogControl& pane, const std::string& link);
  void MetaRefresh(DialogPage& page, DialogControl& pane, int delaySeconds, const std::string& url);

  VariableStore& store_;
  const MessageTable& messages_;
  BindingPlatform& platform_;
  std::string supportFolder_;
  bool binding_ = false;
  bool cancelled_ = false;
  std::vector<std::pair<std::string, std::string>> savedTexts_;
  TargetParts target_;
  FeatureSource features_;
  std::optional<PendingPageChange> pageChange_;
};

}  // namespace tavrel
