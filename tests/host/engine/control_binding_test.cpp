// Binding wizard controls to variables, against controls that keep their
// properties in memory and, like the real ones, report a change of value
// made through a property as the user's change would be reported.
#include "engine/core/control_binding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace tavrel {
namespace {

// Property names are compared without regard to case, as the form library
// compares them.
struct NoCase {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) <
             std::tolower(static_cast<unsigned char>(y));
    });
  }
};
using Properties = std::map<std::string, std::string, NoCase>;

class FakeControl final : public DialogControl {
 public:
  FakeControl(std::string className, std::string name, Properties props,
              std::vector<std::string> bases = {})
      : className_(std::move(className)), name_(std::move(name)), props_(std::move(props)) {
    bases.push_back(className_);
    classes_ = std::move(bases);
  }
  const std::string& ClassName() const override { return className_; }
  const std::string& Name() const override { return name_; }
  bool IsA(std::string_view name) const override {
    for (const std::string& c : classes_) {
      if (c == name) return true;
    }
    return false;
  }
  std::optional<std::string> GetPropertyText(std::string_view name) override {
    const auto found = props_.find(std::string(name));
    if (found == props_.end()) return std::nullopt;
    return found->second;
  }
  bool SetPropertyText(std::string_view name, const std::string& text) override {
    std::string& value = props_[std::string(name)];
    const bool changed = value != text;
    value = text;
    if (changed && onChange) {
      if (name == "Text" || name == "Position") onChange(*this, ControlEvent::kChange);
      if (name == "Checked") onChange(*this, ControlEvent::kClick);
    }
    return true;
  }
  std::string operator[](const std::string& name) { return GetPropertyText(name).value_or(""); }

  // An HTML pane: pages load when the test knows them; links are taken
  // relative to the folder of the page shown.
  bool LoadHtmlFile(const std::string& path) override {
    const auto found = pages.find(path);
    if (found == pages.end()) return false;
    currentFile = path;
    title = found->second;
    return true;
  }
  std::string HtmlCurrentFile() override { return currentFile; }
  std::string HtmlDocumentTitle() override { return title; }
  std::string HtmlExpandLink(const std::string& link) override {
    if (link.size() > 1 && link[1] == ':') return link;
    return currentFile.substr(0, currentFile.rfind('\\') + 1) + link;
  }
  HtmlPaneEvent* HtmlEvent() override { return event; }
  // Reports an event as the pane does; the answer of a link click.
  bool Report(std::function<void(FakeControl&, ControlEvent)>& to, ControlEvent kind,
              HtmlPaneEvent fields) {
    HtmlPaneEvent happening = std::move(fields);
    event = &happening;
    to(*this, kind);
    event = nullptr;
    return happening.handled;
  }

  std::function<void(FakeControl&, ControlEvent)> onChange;
  std::map<std::string, std::string> pages;  // file -> its title
  std::string currentFile;
  std::string title;
  HtmlPaneEvent* event = nullptr;

 private:
  std::string className_;
  std::string name_;
  std::vector<std::string> classes_;
  Properties props_;
};

class FakePlatform final : public BindingPlatform {
 public:
  bool FolderExists(const std::string& path) override {
    std::string key = path;
    if (key.size() > 3 && key.back() == '\\') key.pop_back();
    return folders.count(key) != 0;
  }
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  }
  bool AskYesNo(const DialogPage&, const std::string& text, const std::string& caption) override {
    questions.push_back(caption + ": " + text);
    return answerYes;
  }
  std::optional<std::string> BrowseForFolder(const DialogPage&) override { return browsed; }
  std::optional<FeatureChoice> ChooseFeatureAction(const DialogPage&) override {
    return std::nullopt;
  }

  void OpenWithShell(const std::string& target) override { started.push_back("shell " + target); }
  void PlaySoundFile(const std::string& path) override { started.push_back("sound " + path); }
  void StartProgram(const std::string& path, const std::string& parameters) override {
    started.push_back("run " + path + " [" + parameters + "]");
  }
  void StartPageTimer(unsigned milliseconds) override { timer = milliseconds; }
  void StopPageTimer() override { timer.reset(); }

  std::set<std::string> folders{"C:\\", "C:\\Program Files", "D:\\", "D:\\Apps"};
  std::map<std::string, std::string> files;
  std::vector<std::string> questions;
  bool answerYes = false;
  std::optional<std::string> browsed;
  std::vector<std::string> started;
  std::optional<unsigned> timer;
};

HtmlPaneEvent Link(std::string link) {
  HtmlPaneEvent event;
  event.link = std::move(link);
  return event;
}

HtmlPaneEvent Refresh(int delaySeconds, std::string url) {
  HtmlPaneEvent event;
  event.delaySeconds = delaySeconds;
  event.url = std::move(url);
  return event;
}

DialogPage PageOf(FakeControl& form) {
  DialogPage page;
  page.form = &form;
  return page;
}

class BindingTest : public ::testing::Test {
 protected:
  BindingTest() : store(messages), binding(store, messages, platform) {
    binding.SetSupportFolder("C:\\Temp\\tvl1");
    store.Define("TARGETDIR", "C:\\\\Program Files\\\\Maker\\\\Product");
    store.Define("TITLE", "Demo");
  }

  FakeControl& Add(std::string className, std::string name, Properties props,
                   std::vector<std::string> bases = {}) {
    controls.push_back(std::make_unique<FakeControl>(std::move(className), std::move(name),
                                                     std::move(props), std::move(bases)));
    FakeControl& control = *controls.back();
    control.onChange = [this](FakeControl& c, ControlEvent e) { binding.HandleEvent(page, c, e); };
    page.controls.push_back(&control);
    return control;
  }

  void Click(FakeControl& control) { binding.HandleEvent(page, control, ControlEvent::kClick); }
  void Type(FakeControl& control, const std::string& text) {
    control.SetPropertyText("Text", text);
  }
  std::string Var(const std::string& name) { return store.ExpandedValue(name); }

  MessageTable messages;
  VariableStore store;
  FakePlatform platform;
  ControlBinding binding;
  FakeControl form{"TPoolTemplate", "Page", {{"Caption", "$TITLE$ Setup"}}, {"TForm"}};
  DialogPage page = PageOf(form);
  std::vector<std::unique_ptr<FakeControl>> controls;
};

TEST_F(BindingTest, PrepareFillsControlsFromVariablesAndReleaseRestoresTheDesign) {
  store.Define("USERNAME", "Ann");
  store.Define("OPTION", "TRUE");
  store.Define("COLOUR", "green");
  FakeControl& target = Add("TEdit", "Target", {{"Text", ""}, {"Tag", "2"}});
  FakeControl& literal = Add("TEdit", "Literal", {{"Text", "$TARGETDIR$"}, {"Tag", "2"}});
  FakeControl& user = Add("TEdit", "User", {{"Text", "x"}, {"Hint", "$USERNAME$"}});
  FakeControl& mask = Add("TMaskEdit", "Mask", {{"Text", ""}, {"Tag", "2"}});
  FakeControl& label = Add("TLabel", "Title", {{"Caption", "Welcome to $TITLE$"}});
  FakeControl& bit = Add("TBitBtn", "Next", {{"Caption", "$TITLE$ >"}, {"Tag", "1"}}, {"TButton"});
  FakeControl& box = Add("TRzCheckBox", "Box", {{"Caption", "Opt"}, {"Hint", "OPTION"}});
  FakeControl& list =
      Add("TListBox", "List",
          {{"Items", "Red\r\nGreen\r\n$TITLE$"}, {"ItemIndex", "-1"}, {"Hint", "Colour"}});

  binding.Prepare(page);
  EXPECT_EQ(form["Caption"], "Demo Setup");
  EXPECT_EQ(target["Text"], "C:\\Program Files\\Maker\\Product");
  EXPECT_EQ(literal["Text"], "$TARGETDIR$");  // a design text is left as written
  EXPECT_EQ(user["Text"], "Ann");
  EXPECT_EQ(mask["Text"], "C:\\\\Program Files\\\\Maker\\\\Product");
  EXPECT_EQ(label["Caption"], "Welcome to Demo");
  EXPECT_EQ(bit["Caption"], "Demo >");
  EXPECT_EQ(box["Checked"], "True");
  EXPECT_EQ(list["Items"], "Red\r\nGreen\r\nDemo");
  EXPECT_EQ(list["ItemIndex"], "1");  // the item search ignores letter case
  // Values set while binding wrote no variable back.
  EXPECT_EQ(Var("USERNAME"), "Ann");
  EXPECT_FALSE(store.Exists("TARGET"));

  binding.Release(page);
  EXPECT_EQ(target["Text"], "");
  EXPECT_EQ(user["Text"], "x");
  EXPECT_EQ(label["Caption"], "Welcome to $TITLE$");
  EXPECT_EQ(bit["Caption"], "$TITLE$ >");  // a bitmap button is saved twice; the first wins
  EXPECT_EQ(list["Items"], "Red\r\nGreen\r\n$TITLE$");
  // Released controls no longer write their variables.
  Type(user, "Bob");
  EXPECT_EQ(Var("USERNAME"), "Ann");
}

TEST_F(BindingTest, HandlersWriteTheVariablesTheirHintsName) {
  FakeControl& edit = Add("TEdit", "Name", {{"Text", ""}, {"Hint", "$NEWNAME$"}});
  FakeControl& box =
      Add("TRzCheckBox", "Box", {{"Caption", ""}, {"Checked", "False"}, {"Hint", "wanted"}});
  FakeControl& one = Add("TRzRadioButton", "One", {{"Checked", "True"}, {"Hint", "ONE"}});
  FakeControl& two = Add("TRzRadioButton", "Two", {{"Checked", "False"}, {"Hint", "TWO"}});
  FakeControl& list =
      Add("TListBox", "List", {{"Items", "a\r\nb"}, {"ItemIndex", "-1"}, {"Hint", "PICK"}});
  FakeControl& combo =
      Add("TComboBox", "Combo", {{"Items", "x\r\ny"}, {"Text", ""}, {"Hint", "CHOICE"}});
  FakeControl& track = Add("TTrackBar", "Track", {{"Position", "0"}, {"Hint", "LEVEL"}});
  FakeControl& plain = Add("TEdit", "Plain", {{"Text", ""}});
  binding.Prepare(page);

  Type(edit, "typed");
  EXPECT_EQ(Var("NEWNAME"), "typed");  // defined under the upper-cased name
  box.SetPropertyText("Checked", "True");
  EXPECT_EQ(Var("WANTED"), "TRUE");
  one.SetPropertyText("Checked", "False");
  two.SetPropertyText("Checked", "True");
  EXPECT_EQ(Var("ONE"), "FALSE");
  EXPECT_EQ(Var("TWO"), "TRUE");
  Click(list);  // nothing selected yet: nothing written
  EXPECT_FALSE(store.Exists("PICK"));
  list.SetPropertyText("ItemIndex", "1");
  Click(list);
  EXPECT_EQ(Var("PICK"), "b");
  Type(combo, "y");
  EXPECT_EQ(Var("CHOICE"), "y");
  track.SetPropertyText("Position", "7");
  EXPECT_EQ(Var("LEVEL"), "7");
  const std::size_t before = store.Size();
  Type(plain, "no hint, no variable");
  EXPECT_EQ(store.Size(), before);
}

TEST_F(BindingTest, ButtonRolesAnswerTheDialogAndAskBeforeCancelling) {
  FakeControl& next = Add("TButton", "Next", {{"Caption", "Next"}, {"Tag", "1"}});
  FakeControl& back = Add("TSpeedButton", "Back", {{"Caption", "Back"}, {"Tag", "2"}});
  FakeControl& cancel =
      Add("TButton", "Cancel", {{"Caption", "Cancel"}, {"Tag", "3"}, {"Enabled", "True"}});
  FakeControl& image = Add("TImage", "Logo", {{"Tag", "1"}});
  FakeControl& other = Add("TButton", "Help", {{"Caption", "Help"}, {"Tag", "9"}});
  binding.Prepare(page);

  Click(next);
  EXPECT_EQ(page.result, kResultNext);
  Click(back);
  EXPECT_EQ(page.result, kResultBack);
  Click(other);  // no role: the answer is taken back, nothing else
  EXPECT_EQ(page.result, kResultWaiting);
  Click(image);
  EXPECT_EQ(page.result, kResultNext);

  page.result = kResultWaiting;
  Click(cancel);  // answered No
  ASSERT_EQ(platform.questions.size(), 1u);
  EXPECT_EQ(platform.questions[0], "Tavrel: Are you sure you want to cancel?");
  EXPECT_EQ(page.result, kResultWaiting);
  EXPECT_FALSE(binding.Cancelled());
  EXPECT_EQ(cancel["Enabled"], "True");
  platform.answerYes = true;
  Click(cancel);
  EXPECT_EQ(page.result, kResultCancel);
  EXPECT_TRUE(binding.Cancelled());
  EXPECT_EQ(cancel["Enabled"], "False");
}

TEST_F(BindingTest, AChosenFolderKeepsTheTailOfTheTargetThatDoesNotExistYet) {
  FakeControl& edit = Add("TEdit", "Target", {{"Text", ""}, {"Tag", "2"}, {"Hint", "TARGETDIR"}});
  FakeControl& browse = Add("TButton", "Browse", {{"Caption", "Browse..."}, {"Tag", "4"}});
  FakeControl& folders = Add("TDirectoryListBox", "Folders", {{"Directory", ""}, {"Tag", "1"}});
  binding.Prepare(page);
  EXPECT_EQ(folders["Directory"], "C:\\Program Files\\");  // the deepest folder that exists
  binding.FormShown();
  EXPECT_EQ(binding.Target().tail, "Maker\\Product");

  platform.browsed = "D:\\Apps";
  Click(browse);
  EXPECT_EQ(edit["Text"], "D:\\Apps\\Maker\\Product");
  EXPECT_EQ(Var("TARGETDIR"), "D:\\Apps\\Maker\\Product");

  // A folder the target already lies in keeps the whole target.
  folders.SetPropertyText("Directory", "c:\\program files");
  binding.HandleEvent(page, folders, ControlEvent::kChange);
  EXPECT_EQ(edit["Text"], "C:\\Program Files\\Maker\\Product");

  platform.browsed.reset();  // the browser was cancelled
  Click(browse);
  EXPECT_EQ(edit["Text"], "C:\\Program Files\\Maker\\Product");
}

TEST(TargetFolderTest, SplitsAndFillsTheTarget) {
  const FolderExists exists = [](const std::string& path) {
    return path == "C:\\" || path == "C:\\Program Files\\" || path == "C:\\Program Files";
  };
  EXPECT_EQ(ParentFolder("C:\\A\\B"), "C:\\A\\");
  EXPECT_EQ(ParentFolder("C:\\A\\B\\"), "C:\\A\\");
  EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
  EXPECT_EQ(ParentFolder("name"), "");
  EXPECT_EQ(DeepestExistingFolder("Q:\\x\\y", exists), "Q:\\");  // stops at a missing root
  const TargetParts parts = SplitTarget("C:\\Program Files\\Maker\\Product", exists);
  EXPECT_EQ(parts.tail, "Maker\\Product");
  EXPECT_EQ(FilledTarget(parts, "D:\\Apps\\"), "D:\\Apps\\Maker\\Product");
  EXPECT_EQ(FilledTarget(parts, "C:\\PROGRAM FILES"), parts.base);
  EXPECT_EQ(FilledTarget(parts, ""), "");
  EXPECT_EQ(FilledTarget(SplitTarget("", exists), "E:\\"), "E:\\");
  EXPECT_EQ(SplitTarget("C:\\Program Files", exists).tail, "");
}

TEST_F(BindingTest, RulesFollowEveryPreparationAndHandler) {
  FakeControl& agree = Add("TRzCheckBox", "Agree",
                           {{"Caption", "I agree"}, {"Checked", "False"}, {"Hint", "AGREED"}});
  FakeControl& next = Add("TButton", "NextButton", {{"Caption", "Next"}, {"Enabled", "True"}});
  page.rules = ParseDialogRules(
      "IF (Agree.Checked = True)  THEN  NextButton.Enabled := True;\r\n"
      "IF (agree.checked <> True)  THEN  NEXTBUTTON.Enabled := False;\r\n"
      "IF (Missing.Checked = )  THEN  NextButton.Caption := Go;\r\n");
  binding.Prepare(page);
  EXPECT_EQ(next["Enabled"], "False");
  EXPECT_EQ(next["Caption"], "Go");  // a missing control reads as empty
  agree.SetPropertyText("Checked", "True");
  EXPECT_EQ(next["Enabled"], "True");
  EXPECT_EQ(Var("AGREED"), "TRUE");
  agree.SetPropertyText("Checked", "False");
  EXPECT_EQ(next["Enabled"], "False");
}

TEST_F(BindingTest, ProgressAndPanesFillFromTheStoreAndTheSupportFolder) {
  store.Define("PROGRESSTEXT", "Copying $TITLE$");
  store.Define("PROGRESS", "40");
  FakeControl& text = Add("TStaticText", "Status", {{"Caption", "design"}, {"Tag", "1"}});
  FakeControl& bar = Add("TProgressBar", "Bar", {{"Position", "0"}, {"Tag", "1"}});
  FakeControl& licence = Add("TMemo", "Licence", {{"Lines", ""}, {"Tag", "2"}});
  FakeControl& readme = Add("TRichEdit", "Readme", {{"Lines", ""}, {"Tag", "1"}});
  platform.files["C:\\Temp\\tvl1\\license.txt"] = "Terms\r\nMore terms";
  binding.Prepare(page);
  EXPECT_EQ(text["Caption"], "Copying Demo");
  EXPECT_EQ(bar["Position"], "40");
  EXPECT_EQ(licence["Lines"], "Terms\r\nMore terms");
  EXPECT_EQ(licence["ReadOnly"], "True");
  EXPECT_EQ(readme["Lines"],
            "Add a readme.rtf or readme.txt file to your project to display it here.");
  EXPECT_EQ(readme["ScrollBars"], "ssBoth");

  binding.RefreshProgress(page, {"Registering", 75, 200, 10});
  EXPECT_EQ(text["Caption"], "Registering");
  EXPECT_EQ(bar["Max"], "200");
  EXPECT_EQ(bar["Min"], "10");
  EXPECT_EQ(bar["Position"], "75");

  binding.Release(page);
  EXPECT_EQ(text["Caption"], "design");

  store.Set("PROGRESS", "forty");
  EXPECT_THROW(binding.Prepare(page), BindingError);
  EXPECT_FALSE(binding.Binding());  // a failed preparation leaves the handlers working
}

TEST_F(BindingTest, HtmlPaneLinksGoToTheShellThePlayerAProgramOrStayWithThePane) {
  FakeControl& pane = Add("ThtmlLite", "Html", {{"Tag", "1"}});
  pane.pages = {{"C:\\Temp\\tvl1\\index.htm", "Welcome"}};
  platform.files["C:\\Temp\\tvl1\\index.htm"] = "<html>";
  binding.Prepare(page);
  ASSERT_EQ(pane.currentFile, "C:\\Temp\\tvl1\\index.htm");
  EXPECT_EQ(pane["DocumentSource"], "");

  struct Case {
    std::string link;
    bool handled;
    std::string started;  // what the platform was asked to do, if anything
  };
  const Case cases[] = {
      {"mailto:help@example.com", true, "shell mailto:help@example.com"},
      {"http://example.com/a b", true, "shell http://example.com/a b"},
      {"HTTP://EXAMPLE.COM", true, "shell HTTP://EXAMPLE.COM"},
      {"https://example.com", false, ""},  // neither scheme the shell takes over
      {"ftp://example.com/x.exe", false, ""},
      {"page2.htm", false, ""},
      {"page2.htm#part", false, ""},
      {"chime.WAV", true, "sound C:\\Temp\\tvl1\\chime.WAV"},
      {"tool.exe /quiet /log x", true, "run C:\\Temp\\tvl1\\tool.exe [/quiet /log x]"},
      {"tool.exe?mode=1", true, "run C:\\Temp\\tvl1\\tool.exe [mode=1]"},
      {"tool.exe", true, "run C:\\Temp\\tvl1\\tool.exe []"},
      // A drive path and a "file:" address are local files whatever follows.
      {"D:\\Apps\\go.exe now", true, "run D:\\Apps\\go.exe [now]"},
      {"x:notes.exe", true, "run x:notes.exe []"},
      {"readme.txt", false, ""},
      // Past 255 characters a local link is cut off.
      {std::string(251, 'a') + ".exe", true,
       "run C:\\Temp\\tvl1\\" + std::string(251, 'a') + ".exe []"},
      {std::string(252, 'a') + ".exe", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    platform.started.clear();
    EXPECT_EQ(pane.Report(pane.onChange, ControlEvent::kHotSpotClick, Link(c.link)), c.handled);
    EXPECT_EQ(platform.started.empty() ? "" : platform.started.front(), c.started);
    EXPECT_LE(platform.started.size(), 1u);
  }
  binding.Release(page);
  EXPECT_FALSE(pane.Report(pane.onChange, ControlEvent::kHotSpotClick, Link("tool.exe")));
}

TEST_F(BindingTest, TimedPageChangeLoadsItsTargetOnlyWhileTheUserStaysOnThePage) {
  FakeControl& pane = Add("ThtmlLite", "Html", {{"Tag", "1"}});
  const std::string index = "C:\\Temp\\tvl1\\index.htm";
  const std::string next = "C:\\Temp\\tvl1\\pages\\next.htm";
  pane.pages = {{index, "Welcome"}, {next, "Next steps"}, {"C:\\Temp\\tvl1\\other.htm", "Other"}};
  platform.files[index] = "";
  platform.files[next] = "";
  binding.Prepare(page);
  const auto refresh = [&](int delay, const std::string& url) {
    pane.Report(pane.onChange, ControlEvent::kMetaRefresh, Refresh(delay, url));
  };

  refresh(3, "missing.htm");  // no such file in the support folder: nothing waits
  EXPECT_FALSE(platform.timer);
  refresh(3, "file:///pages/next.htm");
  ASSERT_EQ(platform.timer, 3000u);
  binding.PageTimerElapsed();
  EXPECT_FALSE(platform.timer);
  EXPECT_EQ(pane.currentFile, next);
  EXPECT_EQ(form["Caption"], "Next steps");

  // The user follows a link before the time is up: the change is dropped.
  pane.LoadHtmlFile(index);
  refresh(-5, "pages/next.htm");
  EXPECT_EQ(platform.timer, 0u);
  pane.LoadHtmlFile("C:\\Temp\\tvl1\\other.htm");
  binding.PageTimerElapsed();
  EXPECT_EQ(pane.currentFile, "C:\\Temp\\tvl1\\other.htm");

  // A dialog that goes away takes its waiting change with it.
  refresh(1, "file://pages/next.htm");
  ASSERT_TRUE(platform.timer);
  binding.ForgetPage(page);
  EXPECT_FALSE(platform.timer);
  binding.PageTimerElapsed();
  EXPECT_EQ(pane.currentFile, "C:\\Temp\\tvl1\\other.htm");

  // Without index.htm the pane shows the hint as its page.
  FakeControl& bare = Add("ThtmlLite", "Bare", {{"Tag", "1"}, {"DocumentSource", ""}});
  platform.files.erase(index);
  binding.Prepare(page);
  EXPECT_EQ(bare["DocumentSource"],
            "Add an index.htm file to your project to display it here, along with any other "
            "additional support/linked files.");
}

}  // namespace
}  // namespace tavrel
