#include "engine/core/control_binding.h"

#include <algorithm>
#include <charconv>

#include "common/paths.h"
#include "common/text_lines.h"
#include "engine/core/components.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

// A 32-bit decimal number as the dialogs take it: optional sign, digits.
std::optional<int> DecimalValue(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

int ParsedNumber(std::string_view text) {
  const auto value = DecimalValue(text);
  if (!value) throw BindingError("'" + std::string(text) + "' is not a valid integer value");
  return *value;
}

// The folder part of a path, up to and including its last separator.
std::string FolderPart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\:");
  if (cut == std::string_view::npos) return "";
  return std::string(path.substr(0, cut + 1));
}

std::string Get(DialogControl& control, std::string_view property) {
  return control.GetPropertyText(property).value_or("");
}

// The rules read and write the controls of one dialog.
class PageRules final : public RuleTarget {
 public:
  explicit PageRules(const DialogPage& page) : page_(page) {}
  std::optional<std::string> ReadProperty(std::string_view control,
                                          std::string_view property) override {
    DialogControl* found = page_.Find(control);
    if (found == nullptr) return std::nullopt;
    return found->GetPropertyText(property);
  }
  void WriteProperty(std::string_view control, std::string_view property,
                     const std::string& value) override {
    if (DialogControl* found = page_.Find(control)) found->SetPropertyText(property, value);
  }

 private:
  const DialogPage& page_;
};

// Every node text of a tree's item lines expanded; the leading tabs that give
// a node its level stay as they are.
std::string ExpandedNodes(const VariableStore& store, std::string_view items) {
  std::string result;
  bool first = true;
  for (const std::string& line : common::SplitLines(items)) {
    if (!first) result += "\r\n";
    first = false;
    const std::size_t text = line.find_first_not_of('\t');
    if (text == std::string::npos) {
      result += line;
      continue;
    }
    result += line.substr(0, text);
    result += store.Expand(line.substr(text));
  }
  return result;
}

}  // namespace

std::vector<DialogControl*> DialogPage::WorkingList() const {
  std::vector<DialogControl*> list;
  list.reserve(controls.size() + 1);
  for (DialogControl* control : controls) {
    if (!EqualsIgnoringAsciiCase(control->Name(), "cmpFormDesigner")) list.push_back(control);
  }
  if (form != nullptr) list.push_back(form);
  return list;
}

DialogControl* DialogPage::Find(std::string_view name) const {
  for (DialogControl* control : controls) {
    if (EqualsIgnoringAsciiCase(control->Name(), name)) return control;
  }
  if (form != nullptr && EqualsIgnoringAsciiCase(form->Name(), name)) return form;
  return nullptr;
}

ControlBinding::ControlBinding(VariableStore& store, const MessageTable& messages,
                               BindingPlatform& platform)
    : store_(store), messages_(messages), platform_(platform) {}

void ControlBinding::SetSupportFolder(std::string folder) {
  supportFolder_ = common::WithTrailingBackslash(std::move(folder));
}

FolderExists ControlBinding::Exists() const {
  return [this](const std::string& path) { return platform_.FolderExists(path); };
}

std::string ControlBinding::HintValue(DialogControl& control) const {
  const std::string hint = control.Hint();
  if (hint.empty()) return "";
  return store_.ExpandedValue(hint);
}

void ControlBinding::SetVariable(DialogControl& control, const std::string& value) {
  const std::string hint = control.Hint();
  if (hint.empty()) return;
  std::string name = ReferenceName(hint);
  if (name.empty()) name = hint;
  name = ToUpperAscii(name);
  if (!store_.Exists(name)) store_.Define(name, "");
  store_.Set(name, value);
}

void ControlBinding::SaveAndExpand(DialogControl& control, std::string_view property) {
  const std::string text = Get(control, property);
  savedTexts_.emplace_back(ToUpperAscii(control.Name()), text);
  control.SetPropertyText(property, Expand(text));
}

std::string ControlBinding::SavedText(const DialogControl& control) const {
  const std::string name = ToUpperAscii(control.Name());
  for (const auto& [saved, text] : savedTexts_) {
    if (saved == name) return text;
  }
  return "";
}

std::string ControlBinding::TargetStartFolder() const {
  const std::string target = CollapseBackslashPairs(store_.ExpandedValue("$TARGETDIR$"));
  return DeepestExistingFolder(target, Exists());
}

void ControlBinding::Attach(DialogPage& page, DialogControl& control, ControlEvent event,
                            ControlHandler handler) {
  page.handlers[{&control, event}] = handler;
}

void ControlBinding::Detach(DialogPage& page, DialogControl& control, ControlEvent event) {
  page.handlers.erase({&control, event});
}

void ControlBinding::ApplyRules(DialogPage& page) {
  PageRules target(page);
  ApplyDialogRules(page.rules, target);
}

void ControlBinding::Prepare(DialogPage& page) {
  savedTexts_.clear();
  const std::string start = TargetStartFolder();
  binding_ = true;
  try {
    for (DialogControl* control : page.WorkingList()) PrepareControl(page, *control, start);
    UpdateFeatureInformation(page);
    ApplyRules(page);
  } catch (...) {
    binding_ = false;
    throw;
  }
  binding_ = false;
}

void ControlBinding::PrepareControl(DialogPage& page, DialogControl& control,
                                    const std::string& start) {
  const bool startExists = !start.empty() && platform_.FolderExists(start);
  if (&control == page.form) {
    control.SetPropertyText("Caption", Expand(Get(control, "Caption")));
  }
  if (control.IsA("TFileListBox") || control.IsA("TPTShellList")) {
    const bool shell = control.IsA("TPTShellList");
    Attach(page, control, ControlEvent::kChange,
           shell ? ControlHandler::kShellListChange : ControlHandler::kFileListBoxChange);
    const char* folderProperty = shell ? "Path" : "Directory";
    if (shell) control.SetPropertyText("HideSelection", "False");
    const std::string value = HintValue(control);
    const std::string folder = FolderPart(value);
    if (!value.empty() && !folder.empty() && platform_.FolderExists(folder)) {
      control.SetPropertyText(folderProperty, folder);
    }
    if (control.Tag() == 1 && startExists) control.SetPropertyText(folderProperty, start);
  }
  if (control.IsA("TDirectoryListBox") || control.IsA("TPTShellTree")) {
    const bool shell = control.IsA("TPTShellTree");
    Attach(page, control, ControlEvent::kChange,
           shell ? ControlHandler::kShellTreeChange : ControlHandler::kDirectoryListBoxChange);
    const char* folderProperty = shell ? "Path" : "Directory";
    if (shell) control.SetPropertyText("HideSelection", "False");
    const std::string value = HintValue(control);
    if (!value.empty() && platform_.FolderExists(value)) {
      control.SetPropertyText(folderProperty, value);
    }
    if (control.Tag() == 1) {
      if (startExists) {
        control.SetPropertyText(folderProperty, start);
      } else if (const std::string parent = FolderPart(start);
                 !parent.empty() && platform_.FolderExists(parent)) {
        control.SetPropertyText(folderProperty, parent);
      }
    }
  }
  if (control.IsA("TDriveComboBox")) {
    Attach(page, control, ControlEvent::kChange, ControlHandler::kDriveComboBoxChange);
    // A Hint naming a folder on another drive selects that drive.
    const std::string value = HintValue(control);
    if (value.size() >= 2 && value[1] == ':' &&
        platform_.FolderExists(std::string(1, value[0]) + ":\\")) {
      control.SetPropertyText("Drive", std::string(1, value[0]));
    }
    if (control.Tag() == 1 && startExists) {
      control.SetPropertyText("Drive", std::string(1, start[0]));
    }
  }
  if (control.IsA("TPTShellCombo")) {
    Attach(page, control, ControlEvent::kChange, ControlHandler::kShellComboChange);
    const std::string value = HintValue(control);
    if (!value.empty() && platform_.FolderExists(value)) control.SetPropertyText("Path", value);
    // The drive the target starts on.
    if (control.Tag() == 1 && startExists && start.size() >= 2 && start[1] == ':') {
      control.SetPropertyText("Path", start.substr(0, 2) + "\\");
    }
  }
  if (control.IsA("TLabel")) {
    Attach(page, control, ControlEvent::kClick, ControlHandler::kButtonRole);
    SaveAndExpand(control, "Caption");
  }
  if (control.IsA("TStaticText")) {
    SaveAndExpand(control, "Caption");
    if (control.Tag() == 1) {
      control.SetPropertyText("Caption", store_.ExpandedValue("$PROGRESSTEXT$"));
    }
  }
  if (control.IsA("TProgressBar") && control.Tag() == 1) {
    const std::string value = store_.ExpandedValue("$PROGRESS$");
    if (!value.empty()) control.SetPropertyText("Position", std::to_string(ParsedNumber(value)));
  }
  if (control.IsA("TTrackBar")) {
    Attach(page, control, ControlEvent::kChange, ControlHandler::kTrackBarChange);
    const std::string value = HintValue(control);
    if (!value.empty()) control.SetPropertyText("Position", std::to_string(ParsedNumber(value)));
  }
  for (const char* button : {"TButton", "TSpeedButton", "TBitBtn"}) {
    if (!control.IsA(button)) continue;
    Attach(page, control, ControlEvent::kClick, ControlHandler::kButtonRole);
    SaveAndExpand(control, "Caption");
  }
  if (control.IsA("TImage")) {
    Attach(page, control, ControlEvent::kClick, ControlHandler::kButtonRole);
  }
  if (control.IsA("TShape")) {
    Attach(page, control, ControlEvent::kMouseUp, ControlHandler::kButtonRole);
  }
  if (control.IsA("TMemo")) {
    control.SetPropertyText("ReadOnly", "True");
    FillPane(control, false);
  }
  if (control.IsA("TRichEdit")) {
    control.SetPropertyText("ReadOnly", "True");
    control.SetPropertyText("ScrollBars", "ssBoth");
    FillPane(control, true);
  }
  if (control.IsA("TRzCheckBox") || control.IsA("TRzRadioButton")) {
    Attach(page, control, ControlEvent::kClick,
           control.IsA("TRzCheckBox") ? ControlHandler::kCheckBoxClick
                                      : ControlHandler::kRadioButtonClick);
    SaveAndExpand(control, "Caption");
    const std::string value = HintValue(control);
    if (!value.empty()) {
      control.SetPropertyText("Checked", BooleanValue(value) ? "True" : "False");
    }
  }
  if (control.IsA("TListBox")) {
    Attach(page, control, ControlEvent::kClick, ControlHandler::kListBoxClick);
    SaveAndExpand(control, "Items");
    SelectItemOfHint(control);
  }
  if (control.IsA("ThtmlLite")) {
    Attach(page, control, ControlEvent::kMetaRefresh, ControlHandler::kHtmlMetaRefresh);
    Attach(page, control, ControlEvent::kHotSpotClick, ControlHandler::kHtmlHotSpotClick);
    if (control.Tag() == 1) {
      const std::string indexPage = supportFolder_ + "index.htm";
      if (!platform_.FileExists(indexPage) || !control.LoadHtmlFile(indexPage)) {
        control.SetPropertyText("DocumentSource",
                                "Add an index.htm file to your project to display it here, "
                                "along with any other additional support/linked files.");
      }
    }
  }
  if (control.IsA("TFlashFrame") && control.Tag() == 1) {
    const std::string movie = supportFolder_ + "movie.swf";
    if (!platform_.FileExists(movie)) {
      control.SetPropertyText("Caption",
                              "Add a movie.swf file to your project to display it here.");
    } else if (control.LoadMovie(movie, supportFolder_ + "flash.ocx")) {
      control.PlayMovie();
    }
  }
  if (control.IsA("TTreeView")) {
    Attach(page, control, ControlEvent::kChange, ControlHandler::kTreeViewChange);
    control.SetPropertyText("Items", ExpandedNodes(store_, Get(control, "Items")));
    control.SetPropertyText("HideSelection", "False");
    control.SetPropertyText("ReadOnly", "True");
    if (control.Tag() == 1) {
      FillFeatureTree(page, control);
      Attach(page, control, ControlEvent::kMouseUp, ControlHandler::kTreeViewMouseUp);
    }
  }
  if (control.IsA("TCheckListBox")) {
    Attach(page, control, ControlEvent::kClick, ControlHandler::kCheckListBoxClick);
    SaveAndExpand(control, "Items");
    SelectItemOfHint(control);
    if (control.Tag() == 1) {
      FillFeatureList(control);
      Attach(page, control, ControlEvent::kClickCheck, ControlHandler::kCheckListBoxClickCheck);
    }
  }
  if (control.IsA("TComboBox")) {
    Attach(page, control, ControlEvent::kChange, ControlHandler::kComboBoxChange);
    if (!control.Hint().empty()) {
      Attach(page, control, ControlEvent::kClick, ControlHandler::kComboBoxClick);
    }
    SaveAndExpand(control, "Items");
    const std::string value = HintValue(control);
    if (!value.empty()) control.SetPropertyText("Text", value);
  }
  if (control.IsA("TEdit") || control.IsA("TMaskEdit")) {
    const bool plain = control.IsA("TEdit");
    Attach(page, control, ControlEvent::kChange,
           plain ? ControlHandler::kEditChange : ControlHandler::kMaskEditChange);
    const std::string design = Get(control, "Text");
    savedTexts_.emplace_back(ToUpperAscii(control.Name()), design);
    std::string text = design;
    const std::string value = HintValue(control);
    if (!value.empty()) text = plain ? CollapseBackslashPairs(value) : value;
    if (text.empty()) {
      switch (control.Tag()) {
        case 1:
          text = "$STARTMENU$";
          break;
        case 2:
          text = "$TARGETDIR$";
          break;
        case 3:
          text = "$USER$";
          break;
        case 4:
          text = "$COMPANY$";
          break;
        default:
          break;
      }
      text = Expand(text);
      if (plain) text = CollapseBackslashPairs(text);
    }
    control.SetPropertyText("Text", text);
  }
}

void ControlBinding::SelectItemOfHint(DialogControl& control) {
  const std::string value = HintValue(control);
  if (value.empty()) return;
  const std::vector<std::string> items = common::SplitLines(Get(control, "Items"));
  const std::string wanted = ToUpperAnsi(value);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (ToUpperAnsi(items[i]) == wanted) {
      control.SetPropertyText("ItemIndex", std::to_string(i));
      return;
    }
  }
}

void ControlBinding::FillPane(DialogControl& control, bool rich) {
  const int tag = control.Tag();
  if (tag != 1 && tag != 2) return;
  const std::string stem = tag == 1 ? "readme" : "license";
  std::vector<std::string> names;
  if (rich) names.push_back(stem + ".rtf");
  names.push_back(stem + ".txt");
  for (const std::string& name : names) {
    const std::string path = supportFolder_ + name;
    if (!platform_.FileExists(path)) continue;
    const std::optional<std::string> text = platform_.ReadFile(path);
    if (!text) continue;
    if (name.ends_with(".rtf")) {
      control.SetPropertyText("RichText", *text);
    } else {
      control.SetPropertyText("Lines", *text);
    }
    return;
  }
  std::string hint = "Add a " + stem + (rich ? ".rtf or " + stem : std::string()) +
                     ".txt file to your project to display it here.";
  control.SetPropertyText("Lines", hint);
}

void ControlBinding::Release(DialogPage& page) {
  binding_ = true;
  for (DialogControl* control : page.WorkingList()) ReleaseControl(page, *control);
  UpdateFeatureInformation(page);
  ApplyRules(page);
  binding_ = false;
}

void ControlBinding::ReleaseControl(DialogPage& page, DialogControl& control) {
  if (&control == page.form) {
    control.SetPropertyText("Caption", Expand(Get(control, "Caption")));
  }
  for (const char* changing :
       {"TFileListBox", "TPTShellList", "TDirectoryListBox", "TPTShellTree", "TDriveComboBox",
        "TPTShellCombo", "TTrackBar", "TEdit", "TMaskEdit", "TComboBox", "TTreeView"}) {
    if (control.IsA(changing)) Detach(page, control, ControlEvent::kChange);
  }
  for (const char* clicking :
       {"TLabel", "TButton", "TSpeedButton", "TBitBtn", "TRzCheckBox", "TRzRadioButton"}) {
    if (!control.IsA(clicking)) continue;
    Detach(page, control, ControlEvent::kClick);
    control.SetPropertyText("Caption", SavedText(control));
  }
  if (control.IsA("TStaticText")) control.SetPropertyText("Caption", SavedText(control));
  if (control.IsA("TImage")) Detach(page, control, ControlEvent::kClick);
  if (control.IsA("TShape")) Detach(page, control, ControlEvent::kMouseUp);
  if (control.IsA("ThtmlLite")) {
    Detach(page, control, ControlEvent::kMetaRefresh);
    Detach(page, control, ControlEvent::kHotSpotClick);
  }
  if (control.IsA("TListBox") || control.IsA("TCheckListBox") || control.IsA("TComboBox")) {
    control.SetPropertyText("Items", SavedText(control));
    if (!control.IsA("TComboBox")) Detach(page, control, ControlEvent::kClick);
  }
  if (control.IsA("TEdit") || control.IsA("TMaskEdit")) {
    control.SetPropertyText("Text", SavedText(control));
  }
  if (control.IsA("TTreeView")) control.SetPropertyText("ReadOnly", "True");
  if (control.IsA("TFlashFrame")) control.DiscardMovie();
}

void ControlBinding::FormShown() {
  const std::string base = CollapseBackslashPairs(store_.ExpandedValue("$TARGETDIR$"));
  target_ = SplitTarget(base, Exists());
}

void ControlBinding::FillTargetFolder(DialogPage& page, const std::string& folder) {
  const std::string target = FilledTarget(target_, folder);
  for (DialogControl* control : page.controls) {
    if (!control->IsA("TEdit") || control->Tag() != 2) continue;
    control->SetPropertyText("Text", target);
    // The edit's own change event ran too, unless the text was the same.
    RunHandler(page, *control, ControlHandler::kEditChange);
  }
  UpdateFeatureInformation(page);
  ApplyRules(page);
}

void ControlBinding::HandleEvent(DialogPage& page, DialogControl& control, ControlEvent event) {
  const auto found = page.handlers.find({&control, event});
  if (found == page.handlers.end()) return;
  if (found->second == ControlHandler::kButtonRole) page.result = kResultWaiting;
  if (binding_) return;
  RunHandler(page, control, found->second);
}

void ControlBinding::RunHandler(DialogPage& page, DialogControl& control, ControlHandler handler) {
  switch (handler) {
    case ControlHandler::kEditChange:
    case ControlHandler::kMaskEditChange:
      SetVariable(control, Get(control, "Text"));
      UpdateFeatureInformation(page);
      break;
    case ControlHandler::kCheckBoxClick:
      SetVariable(control, BooleanText(Get(control, "Checked") == "True"));
      break;
    case ControlHandler::kRadioButtonClick:
      for (DialogControl* radio : page.controls) {
        if (radio->IsA("TRzRadioButton") && !radio->Hint().empty()) {
          SetVariable(*radio, BooleanText(Get(*radio, "Checked") == "True"));
        }
      }
      break;
    case ControlHandler::kListBoxClick:
    case ControlHandler::kCheckListBoxClick: {
      const auto index = DecimalValue(Get(control, "ItemIndex"));
      const std::vector<std::string> items = common::SplitLines(Get(control, "Items"));
      if (!index || *index < 0 || static_cast<std::size_t>(*index) >= items.size()) break;
      SetVariable(control, items[static_cast<std::size_t>(*index)]);
      if (handler == ControlHandler::kCheckListBoxClick) {
        if (control.Tag() == 1) page.selectedFeature = items[static_cast<std::size_t>(*index)];
        UpdateFeatureInformation(page);
      }
      break;
    }
    case ControlHandler::kComboBoxClick:
    case ControlHandler::kComboBoxChange:
      SetVariable(control, Get(control, "Text"));
      break;
    case ControlHandler::kTrackBarChange:
      SetVariable(control, Get(control, "Position"));
      break;
    case ControlHandler::kTreeViewChange: {
      const std::string selected = Get(control, "Selected");
      if (selected.empty()) break;
      SetVariable(control, selected);
      if (control.Tag() == 1) page.selectedFeature = Get(control, "SelectedPath");
      UpdateFeatureInformation(page);
      break;
    }
    case ControlHandler::kCheckListBoxClickCheck:
      FeatureChecksChanged(control);
      UpdateFeatureInformation(page);
      break;
    case ControlHandler::kTreeViewMouseUp:
      FeatureIconClicked(page, control);
      break;
    case ControlHandler::kHtmlHotSpotClick:
      if (HtmlPaneEvent* event = control.HtmlEvent()) {
        event->handled = HotSpotClick(control, event->link);
      }
      break;
    case ControlHandler::kHtmlMetaRefresh:
      if (HtmlPaneEvent* event = control.HtmlEvent()) {
        MetaRefresh(page, control, event->delaySeconds, event->url);
      }
      break;
    case ControlHandler::kFileListBoxChange: {
      const std::string file = Get(control, "FileName");
      SetVariable(control, file);
      if (control.Tag() == 1) FillTargetFolder(page, FolderPart(file));
      break;
    }
    case ControlHandler::kDirectoryListBoxChange:
    case ControlHandler::kShellTreeChange:
    case ControlHandler::kShellListChange:
    case ControlHandler::kShellComboChange: {
      const bool list = handler == ControlHandler::kShellListChange;
      const std::string folder =
          Get(control, handler == ControlHandler::kDirectoryListBoxChange ? "Directory"
                       : list                                             ? "SelectedPath"
                                                                          : "Path");
      if (list && folder.empty()) return;
      SetVariable(control, folder);
      if (control.Tag() == 1) FillTargetFolder(page, folder);
      break;
    }
    case ControlHandler::kDriveComboBoxChange: {
      const std::string root = Get(control, "Drive") + ":\\";
      SetVariable(control, root);
      if (control.Tag() == 1) FillTargetFolder(page, root);
      break;
    }
    case ControlHandler::kButtonRole:
      ButtonRole(page, control);
      break;
  }
  ApplyRules(page);
}

void ControlBinding::FillFeatureTree(DialogPage& page, DialogControl& control) {
  if (features_.components == nullptr) return;
  page.featureTree = BuildFeatureTree(*features_.components);
  control.ShowFeatureTree(page.featureTree);
}

void ControlBinding::FillFeatureList(DialogControl& control) {
  if (features_.components == nullptr) return;
  std::vector<std::string> texts;
  std::vector<std::string> checks;
  for (const FeatureListItem& item : FeatureListItems(*features_.components)) {
    texts.push_back(item.text);
    checks.push_back(item.checked ? "True" : "False");
  }
  control.SetPropertyText("Items", common::JoinLines(texts));
  control.SetPropertyText("Checked", common::JoinLines(checks));
}

void ControlBinding::FeatureChecksChanged(DialogControl& control) {
  if (features_.components == nullptr) return;
  const std::vector<std::string> texts = common::SplitLines(Get(control, "Items"));
  const std::vector<std::string> checks = common::SplitLines(Get(control, "Checked"));
  std::vector<FeatureListItem> items;
  for (std::size_t i = 0; i < texts.size() && i < checks.size(); ++i) {
    items.push_back({texts[i], checks[i] == "True"});
  }
  ApplyFeatureChecks(*features_.components, items);
}

// The menu opens for a selected feature when its icon was clicked; the
// choice goes straight into the component list.
void ControlBinding::FeatureIconClicked(DialogPage& page, DialogControl& control) {
  if (features_.components == nullptr) return;
  const std::optional<std::size_t> node = control.SelectedFeatureNode();
  if (!node || *node >= page.featureTree.nodes.size()) return;
  if (page.featureTree.nodes[*node].data == 0 || !control.MouseOnFeatureIcon()) return;
  if (const auto choice = platform_.ChooseFeatureAction(page)) {
    ApplyFeatureChoice(page.featureTree, *features_.components, *node, *choice);
    control.RefreshFeatureImages(page.featureTree);
  }
  UpdateFeatureInformation(page);
}

void ControlBinding::UpdateFeatureInformation(DialogPage& page) {
  if (features_.components == nullptr || features_.script == nullptr) return;
  std::optional<std::int64_t> available;  // asked of the system once, when needed
  for (DialogControl* control : page.controls) {
    if (!control->IsA("TStaticText")) continue;
    const int tag = control->Tag();
    if (tag < 2 || tag > 6) continue;
    if (!available) {
      available = features_.system != nullptr ? AvailableSpace(store_, *features_.system) : -1;
    }
    const FeatureFacts facts{*features_.components, *features_.script,
                             features_.installedSize != nullptr ? *features_.installedSize : 0,
                             *available, messages_};
    if (const auto text = FeatureInformation(tag, page.selectedFeature, facts)) {
      control->SetPropertyText("Caption", *text);
    }
  }
}

void ControlBinding::ButtonRole(DialogPage& page, DialogControl& control) {
  switch (control.Tag()) {
    case 1:
      page.result = kResultNext;
      break;
    case 2:
      page.result = kResultBack;
      break;
    case 3:
      if (platform_.AskYesNo(page, messages_.Get(msg::kCancelQuestion), "Tavrel")) {
        cancelled_ = true;
        control.SetPropertyText("Enabled", "False");
        page.result = kResultCancel;
      }
      break;
    case 4:
      if (const auto folder = platform_.BrowseForFolder(page)) FillTargetFolder(page, *folder);
      break;
    default:
      break;
  }
}

void ControlBinding::RefreshProgress(DialogPage& page, const ProgressValues& progress) {
  for (DialogControl* control : page.controls) {
    if (control->IsA("TLabel")) {
      Attach(page, *control, ControlEvent::kClick, ControlHandler::kButtonRole);
      control->SetPropertyText("Caption", Expand(Get(*control, "Caption")));
    }
    if (control->IsA("TButton")) {
      Attach(page, *control, ControlEvent::kClick, ControlHandler::kButtonRole);
      control->SetPropertyText("Caption", Expand(Get(*control, "Caption")));
    }
    if (control->IsA("TStaticText")) {
      control->SetPropertyText("Caption", Expand(Get(*control, "Caption")));
      if (control->Tag() == 1) control->SetPropertyText("Caption", progress.text);
    }
    if (control->IsA("TProgressBar") && control->Tag() == 1) {
      control->SetPropertyText("Max", std::to_string(progress.maximum));
      control->SetPropertyText("Min", std::to_string(progress.minimum));
      control->SetPropertyText("Position", std::to_string(progress.position));
    }
  }
  ApplyRules(page);
}

}  // namespace tavrel
