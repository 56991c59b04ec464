#include "wizard/win32/ombrell_window.h"

#include <windows.h>
// Common controls and shell after the Windows types.
#include <commctrl.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <optional>

#include "common/paths.h"
#include "wizard/core/build_settings.h"
#include "wizard/core/known_packages.h"
#include "wizard/core/output_paths.h"
#include "wizard/core/project_file.h"
#include "wizard/core/wizard_flow.h"
#include "wizard/win32/after_build.h"
#include "wizard/win32/build_run.h"
#include "wizard/win32/file_list_view.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_files.h"
#include "wizard/win32/wizard_artwork.h"
#include "wizard/win32/wizard_boxes.h"
#include "wizard/win32/wizard_dialogs.h"

namespace ombrwiz {

namespace {

constexpr const char* kWindowClass = "TOmbrell";
constexpr const char* kPageClass = "OmbrellPage";
constexpr const char* kApplicationClass = "OmbrellApplication";
constexpr UINT kReloadLanguagesMessage = WM_USER + 38;

// The client area and its parts.
constexpr int kWidth = 497;
constexpr int kHeight = 360;
constexpr int kBandHeight = 58;
constexpr int kButtonLine = 312;
constexpr int kPictureWidth = 164;
constexpr int kButtonTop = 325;

constexpr UINT_PTR kNameTimer = 1;
constexpr UINT kNameTimerMs = 100;
constexpr UINT_PTR kBuildTimer = 2;
constexpr UINT kBuildTimerMs = 314;

// Control identifiers; tests find the controls by them.
enum ControlId : int {
  kBackButton = 10,
  kNextButton,
  kCancelButton,
  kPauseButton,
  kHeading = 20,
  kExplanation,
  kVersionLabel = 100,
  kNameCombo = 200,
  kDirectCheck,
  kDirectHint,
  kLanguageCombo = 300,
  kCustomizeButton,
  kPasswordEdit,
  kPasswordHideCheck,
  kStartTextEdit,
  kEndTextEdit,
  kLicenseEdit,
  kLicenseBrowse,
  kFileListView = 400,
  kAddFilesButton,
  kAddFolderButton,
  kNoAdvancedRadio = 500,
  kAdvancedRadio,
  kMultiPartCheck = 600,
  kSplitEdit,
  kSplitLabel,
  kSilentCheck = 700,
  kSpaceEdit = 800,
  kTargetRadio = 900,  // 900-906 in the order of TargetChoice's buttons
  kTargetDirEdit = 907,
  kCodeSignCheck = 1000,
  kSpcEdit,
  kSpcBrowse,
  kPvkEdit,
  kPvkBrowse,
  kTimeStampEdit,
  kInfoUrlEdit,
  kSpcLabel,
  kPvkLabel,
  kTimeStampLabel,
  kInfoUrlLabel,
  kRunAppEdit = 1100,
  kRunParmsEdit,
  kSaveAsEdit = 1200,
  kSaveAsBrowse,
  kProjectEdit,
  kProjectBrowse,
  kMakeCheck = 1300,
  kSaveCheck,
  kStatusLabel = 1400,
  kStepBar,
  kOverallBar,
  kBuildAnimation,
  kTestCheck = 1500,
  kExploreCheck,
  kEmailCheck,
  kTestAnimation,
  kExploreAnimation,
  kEmailAnimation,
};

struct PageText {
  const char* heading;
  const char* explanation;
};

constexpr std::array<PageText, kPageCount> kPageTexts = {{
    {"Welcome to the Ombrell Wizard!",
     "This wizard creates an executable program (\"package\") which contains files and folders "
     "that you choose to put in it.\r\n\r\nYou can then distribute the package on the Internet. "
     "When your users download and run the package, the files and folders you put in it will be "
     "delivered to their computers!"},
    {"Package Name", "To begin creating your package, give it a name."},
    {"Basic Package Settings",
     "Choose the package language. You may also set a package password, and display additional "
     "text during package execution."},
    {"Package Files and Folders",
     "The selected files and folders will be delivered through the package."},
    {"Advanced Package Settings",
     "There are many advanced options which will effect how your package looks and works. You "
     "may customize them, or use the most typical settings."},
    {"Multi-Part Package",
     "You may create a package that consists of multiple parts, instead of a single part. This "
     "will make downloading large packages easier."},
    {"Silent Package Mode",
     "A silent package displays no messages or progress feedback to the user, and will run "
     "\"hidden\"."},
    {"Package Space Requirements",
     "The package can check for a desired amount of available space on the end-user's system "
     "before extraction."},
    {"Package Delivery Folder", "The package will extract its contents into this location."},
    {"Sign Package with Authenticode",
     "If you sign your package, its authenticity will be verified after downloading. Your users "
     "will be shown a certificate with your information on it."},
    {"Package Open Command",
     "You may open any file included with the package after a successful delivery."},
    {"Output Files",
     "Select the names and locations for the package and project files which will be created by "
     "Ombrell."},
    {"Completing the Ombrell Wizard",
     "Please choose your options, and click \"Finish\" to continue. You may also click \"Back\" "
     "to review your settings."},
    {"Creating Package Now",
     "Depending on the number of files going into your package, this may take a couple of "
     "minutes."},
    {"Completing the Ombrell Wizard",
     "Congratulations! Your package has been created successfully."},
}};

bool IsStartPage(int page) {
  return page == kWelcomePage || page == kReadyPage || page == kFinishPage;
}

// The target buttons in the order they are shown, and the choice each makes.
struct TargetButton {
  const char* text;
  TargetChoice choice;
};
constexpr std::array<TargetButton, 7> kTargetButtons = {{
    {"&Ask User for Folder", TargetChoice::kAsk},
    {"Use Same Folder as &Package", TargetChoice::kExe},
    {"Temporary &Installation Folder", TargetChoice::kInstall},
    {"System &Folder", TargetChoice::kSystem},
    {"&Windows Folder", TargetChoice::kWindows},
    {"&Temp Folder", TargetChoice::kTemp},
    {"&Specific Folder:", TargetChoice::kLiteral},
}};

// Settings that a control holds as it is: edits for texts, ticks for flags.
struct TextBinding {
  int id;
  std::string ProjectSettings::*setting;
};
constexpr std::array<TextBinding, 15> kTextBindings = {{
    {kPasswordEdit, &ProjectSettings::packagePassword},
    {kStartTextEdit, &ProjectSettings::startText},
    {kEndTextEdit, &ProjectSettings::endText},
    {kLicenseEdit, &ProjectSettings::licenseFile},
    {kSplitEdit, &ProjectSettings::split},
    {kSpaceEdit, &ProjectSettings::space},
    {kTargetDirEdit, &ProjectSettings::targetDirText},
    {kSpcEdit, &ProjectSettings::spc},
    {kPvkEdit, &ProjectSettings::pvk},
    {kTimeStampEdit, &ProjectSettings::timeStamp},
    {kInfoUrlEdit, &ProjectSettings::infoUrl},
    {kRunAppEdit, &ProjectSettings::runApp},
    {kRunParmsEdit, &ProjectSettings::runParms},
    {kSaveAsEdit, &ProjectSettings::saveAs},
    {kProjectEdit, &ProjectSettings::project},
}};
struct TickBinding {
  int id;
  bool ProjectSettings::*setting;
};
constexpr std::array<TickBinding, 4> kTickBindings = {{
    {kAdvancedRadio, &ProjectSettings::advanced},
    {kMultiPartCheck, &ProjectSettings::multiPart},
    {kSilentCheck, &ProjectSettings::silent},
    {kCodeSignCheck, &ProjectSettings::codeSign},
}};

std::string TextOf(HWND control) {
  const int length = GetWindowTextLengthA(control);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string FileVersionText() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return "Version 1.0";
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path, 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr) {
    return "Version 1.0";
  }
  return "Version " + std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

class Ombrell final : public WizardPort {
 public:
  Ombrell(ProgramFiles& files, const WizardStart& start);
  ~Ombrell() override;
  Ombrell(const Ombrell&) = delete;
  Ombrell& operator=(const Ombrell&) = delete;

  bool Create();
  int exitCode = 0;

  // WizardPort
  bool FileExists(const std::string& path) override { return ombrwiz::FileExists(path); }
  bool FolderExists(const std::string& path) override { return ombrwiz::FolderExists(path); }
  std::optional<std::uint64_t> FreeBytes(const std::string& path) override {
    return FreeBytesOf(path);
  }
  bool CreateFolders(const std::string& path) override { return ombrwiz::CreateFolders(path); }
  std::string MyPackagesFolder() override { return files_.MyPackagesFolder(); }
  std::optional<ProjectSettings> LoadProject(const std::string& path) override;
  bool SaveProject(const ProjectSettings& settings) override;
  std::string ProjectOfPackage(const std::string& name) override {
    return ombrwiz::ProjectOfPackage(files_.KnownPackages(), name);
  }
  void RecordKnownPackage(const std::string& name, const std::string& project) override;
  void ShowError(const std::string& text) override { ombrwiz::ShowError(text); }
  bool AskToExit(const std::string& text) override { return ombrwiz::AskToExit(text); }
  bool StartBuild(const ProjectSettings& settings) override;
  void RunAfterBuildActions() override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool PreTranslate(MSG& message);
  HWND Window() const { return window_; }

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // The page panels and the welcome page; the controls of the other pages.
  void CreatePages();
  void CreatePageControls();
  // Everything after the page panels: the other pages' controls, filled
  // from the settings.
  void Populate();
  HWND Page(int page) const { return pages_[static_cast<std::size_t>(page - 1)]; }
  HWND Control(int id) const;
  HWND Add(HWND parent, const char* type, const char* text, DWORD style, int x, int y, int width,
           int height, int id = -1, DWORD extended = 0);
  HWND Label(HWND parent, const char* text, int x, int y, int width, int height = 14, int id = -1);
  HWND Check(HWND parent, const char* text, int x, int y, int width, int id);

  void ShowPage(int page);
  void Follow(FlowResult result);
  void EndWizard(int code);
  void Gather();
  void Scatter();
  void ShowDependentControls();
  void UpdateCaption();
  void FillNames();
  void FillLanguages(const std::string& keep);
  void OnCommand(int id, int code, HWND from);
  void OnBuildTimer();
  void EndOfBuild();
  void TogglePause();
  void CancelOrQuit();
  void SavePreferences();
  void Browse(int edit, const char* title, const char* filter, std::string& folder);
  void BrowseSave(int edit, const char* title, const char* filter, const char* extension,
                  std::string& folder, bool recordProject);
  void CompleteName();
  bool Checked(int id) const { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetChecked(int id, bool on) {
    SendMessageA(Control(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void SetText(int id, const std::string& text) { SetWindowTextA(Control(id), text.c_str()); }
  std::string Text(int id) const { return TextOf(Control(id)); }

  ProgramFiles& files_;
  WizardStart start_;
  std::vector<std::string> languages_;
  InterfacePreferences preferences_;
  WizardFlow flow_;
  FileListView fileList_;
  HWND window_ = nullptr;
  HWND application_ = nullptr;
  std::array<HWND, kPageCount> pages_{};
  HFONT font_ = nullptr;
  HFONT bold_ = nullptr;
  HFONT title_ = nullptr;
  HBRUSH white_ = nullptr;
  std::unique_ptr<BuildRun> build_;
  BuildSettings buildSettings_;
  bool scattering_ = false;
  std::string lastTypedName_;
  bool ending_ = false;
};

Ombrell::Ombrell(ProgramFiles& files, const WizardStart& start)
    : files_(files),
      start_(start),
      languages_(files.Languages()),
      preferences_(files.LoadPreferences()),
      flow_(*this, languages_.empty() ? std::string() : languages_.front()) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  font_ = CreateFontIndirectA(&metrics.lfMessageFont);
  LOGFONTA bold = metrics.lfMessageFont;
  bold.lfWeight = FW_BOLD;
  bold_ = CreateFontIndirectA(&bold);
  LOGFONTA title = bold;
  title.lfHeight = -17;
  lstrcpyA(title.lfFaceName, "Verdana");
  title_ = CreateFontIndirectA(&title);
  white_ = CreateSolidBrush(RGB(255, 255, 255));
  flow_.direct = preferences_.direct;
  flow_.make = preferences_.make;
  flow_.save = preferences_.save;
}

Ombrell::~Ombrell() {
  build_.reset();
  if (window_ != nullptr) DestroyWindow(window_);
  if (application_ != nullptr) DestroyWindow(application_);
  DeleteObject(font_);
  DeleteObject(bold_);
  DeleteObject(title_);
  DeleteObject(white_);
}

HWND Ombrell::Control(int id) const {
  HWND found = GetDlgItem(window_, id);
  for (int page = 1; found == nullptr && page <= kPageCount; ++page) {
    found = GetDlgItem(Page(page), id);
  }
  return found;
}

HWND Ombrell::Add(HWND parent, const char* type, const char* text, DWORD style, int x, int y,
                  int width, int height, int id, DWORD extended) {
  HWND control = CreateWindowExA(extended, type, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                 height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
  SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return control;
}

HWND Ombrell::Label(HWND parent, const char* text, int x, int y, int width, int height, int id) {
  return Add(parent, "STATIC", text, SS_LEFT, x, y, width, height, id);
}

HWND Ombrell::Check(HWND parent, const char* text, int x, int y, int width, int id) {
  return Add(parent, "BUTTON", text, BS_AUTOCHECKBOX | WS_TABSTOP, x, y, width, 18, id);
}

bool Ombrell::Create() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA type{};
  type.lpfnWndProc = WindowProc;
  type.hInstance = instance;
  type.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  type.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  type.lpszClassName = kWindowClass;
  RegisterClassA(&type);
  type.lpfnWndProc = PageProc;
  type.hIcon = nullptr;
  type.lpszClassName = kPageClass;
  RegisterClassA(&type);
  type.lpfnWndProc = DefWindowProcA;
  type.lpszClassName = kApplicationClass;
  RegisterClassA(&type);
  RegisterAnimationClass(instance);

  // The application's own window carries its title, as a taskbar entry would.
  application_ = CreateWindowExA(0, kApplicationClass, "Quorvane Ombrell Wizard", WS_POPUP, 0, 0, 0,
                                 0, nullptr, nullptr, instance, nullptr);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT frame{0, 0, kWidth, kHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT | WS_EX_APPWINDOW);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  window_ = CreateWindowExA(WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kWindowClass, "Ombrell Wizard",
                            style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                            (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                            nullptr, instance, this);
  if (window_ == nullptr) return false;
  SetBoxOwner(window_);

  const HWND heading = Add(window_, "STATIC", "", SS_LEFT | SS_NOPREFIX, 16, 9, 460, 16, kHeading);
  SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(bold_), FALSE);
  Add(window_, "STATIC", "", SS_LEFT | SS_NOPREFIX, 32, 27, 450, 28, kExplanation);
  Add(window_, "BUTTON", "&Pause", BS_PUSHBUTTON | WS_TABSTOP, 10, kButtonTop, 75, 23,
      kPauseButton);
  Add(window_, "BUTTON", "< &Back", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 241, kButtonTop, 75, 23,
      kBackButton);
  Add(window_, "BUTTON", "&Next >", BS_DEFPUSHBUTTON | WS_TABSTOP, 316, kButtonTop, 75, 23,
      kNextButton);
  Add(window_, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 410, kButtonTop, 75, 23,
      kCancelButton);
  ShowWindow(Control(kPauseButton), SW_HIDE);
  CreatePages();

  // The welcome page needs nothing of the others: it goes on screen first,
  // and the other pages are made while the author reads it (the messages
  // that come meanwhile wait in the queue).
  const bool welcomeFirst = start_.page == kWelcomePage;
  if (!welcomeFirst) Populate();
  flow_.StartAt(start_.page);
  ShowPage(start_.page);
  UpdateCaption();
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  if (welcomeFirst) {
    Populate();
    ShowDependentControls();
  }
  return true;
}

void Ombrell::Populate() {
  CreatePageControls();
  if (start_.project) flow_.Settings() = *start_.project;
  for (const FileEntry& entry : start_.addedFiles) flow_.Settings().files.push_back(entry);
  if (start_.holdProjectLoads) flow_.HoldProjectLoads();
  FillNames();
  FillLanguages(flow_.Settings().language);
  Scatter();
  if (start_.project || start_.holdProjectLoads) {
    // What the name box shows now is not a name the author typed.
    flow_.WatchName(flow_.Settings().packageName);
    lastTypedName_ = flow_.Settings().packageName;
  }
}

void Ombrell::CreatePages() {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  for (int page = 1; page <= kPageCount; ++page) {
    const bool startPage = IsStartPage(page);
    const int x = startPage ? kPictureWidth : 0;
    const int y = startPage ? 0 : kBandHeight + 1;
    const HWND panel =
        CreateWindowExA(WS_EX_CONTROLPARENT, kPageClass, "", WS_CHILD | WS_CLIPSIBLINGS, x, y,
                        kWidth - x, kButtonLine - y, window_, nullptr, instance, nullptr);
    SetWindowLongPtrA(panel, GWLP_USERDATA, startPage ? 1 : 0);
    pages_[static_cast<std::size_t>(page - 1)] = panel;
    if (startPage) {
      const PageText& text = kPageTexts[static_cast<std::size_t>(page - 1)];
      const HWND heading =
          Add(panel, "STATIC", text.heading, SS_LEFT | SS_NOPREFIX, 16, 18, 300, 44);
      SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(title_), FALSE);
      Add(panel, "STATIC", text.explanation, SS_LEFT | SS_NOPREFIX, 16, 72, 300, 110);
    }
  }

  // 1: welcome.
  Label(Page(kWelcomePage), FileVersionText().c_str(), 16, 284, 300, 14, kVersionLabel);
}

void Ombrell::CreatePageControls() {
  // 2: the package name.
  HWND p = Page(kNamePage);
  Label(p,
        "&Type the package name below. If you previously created a package with the same "
        "name, its settings will be loaded automatically.",
        40, 16, 420, 30);
  Add(p, "COMBOBOX", "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 40, 54, 300, 200,
      kNameCombo);
  SendMessageA(Control(kNameCombo), CB_LIMITTEXT, 200, 0);
  Check(p, "Build Package &Immediately", 40, 92, 300, kDirectCheck);
  Label(p, "(use stored settings, do not display any steps)", 58, 112, 380, 14, kDirectHint);

  // 3: basic settings.
  p = Page(kBasicPage);
  Label(p, "Package &Language:", 40, 8, 180);
  Add(p, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 40, 24, 180, 200,
      kLanguageCombo);
  Add(p, "BUTTON", "&Customize Languages...", BS_PUSHBUTTON | WS_TABSTOP, 232, 23, 150, 23,
      kCustomizeButton);
  Label(p, "Package &Password:", 40, 54, 180);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 70, 180, 21, kPasswordEdit, WS_EX_CLIENTEDGE);
  Check(p, "&Hide typed characters.", 232, 72, 220, kPasswordHideCheck);
  Label(p, "Package &Welcome Text:", 40, 100, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 116, 420, 21, kStartTextEdit,
      WS_EX_CLIENTEDGE);
  Label(p, "Package &Finished Text:", 40, 146, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 162, 420, 21, kEndTextEdit, WS_EX_CLIENTEDGE);
  Label(p, "Package License &Agreement File:", 40, 192, 190);
  Label(p, "(plain text file, optional)", 236, 192, 180);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 208, 330, 21, kLicenseEdit, WS_EX_CLIENTEDGE);
  Add(p, "BUTTON", "B&rowse...", BS_PUSHBUTTON | WS_TABSTOP, 380, 207, 80, 23, kLicenseBrowse);

  // 4: files and folders.
  p = Page(kFilesPage);
  Label(p, "Drag and drop items, right click &below for more options, or:", 20, 6, 270, 28);
  Add(p, "BUTTON", "&Add File(s)...", BS_PUSHBUTTON | WS_TABSTOP, 300, 8, 86, 23, kAddFilesButton);
  Add(p, "BUTTON", "Add &Folder...", BS_PUSHBUTTON | WS_TABSTOP, 391, 8, 86, 23, kAddFolderButton);
  fileList_.Create(p, kFileListView, RECT{20, 38, 477, 222}, preferences_);
  Label(p, "Checked items in the list will be packaged with their subfolders (recursively).", 20,
        230, 457);

  // 5: advanced or not.
  p = Page(kAdvancedChoicePage);
  Add(p, "BUTTON", "Skip &advanced package settings.", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP,
      40, 34, 400, 18, kNoAdvancedRadio);
  Add(p, "BUTTON", "&Configure advanced package settings.", BS_AUTORADIOBUTTON, 40, 62, 400, 18,
      kAdvancedRadio);

  // 6: multi-part.
  p = Page(kMultiPartPage);
  Check(p, "Create a &Multi-Part Package.", 40, 24, 300, kMultiPartCheck);
  Label(p, "Please &specify in megabytes the size for each part:", 58, 56, 330, 14, kSplitLabel);
  Add(p, "EDIT", "", ES_NUMBER | WS_TABSTOP, 58, 74, 70, 21, kSplitEdit, WS_EX_CLIENTEDGE);
  SendMessageA(Control(kSplitEdit), EM_LIMITTEXT, 4, 0);

  // 7: silent.
  Check(Page(kSilentPage), "Make Package &Silent", 40, 24, 300, kSilentCheck);

  // 8: space.
  p = Page(kSpacePage);
  Label(p, "&Required free space in megabytes (0 skips the check):", 40, 24, 400);
  Add(p, "EDIT", "", ES_NUMBER | WS_TABSTOP, 40, 42, 70, 21, kSpaceEdit, WS_EX_CLIENTEDGE);
  SendMessageA(Control(kSpaceEdit), EM_LIMITTEXT, 4, 0);

  // 9: delivery folder.
  p = Page(kDeliveryPage);
  for (std::size_t i = 0; i < kTargetButtons.size(); ++i) {
    Add(p, "BUTTON", kTargetButtons[i].text,
        BS_AUTORADIOBUTTON | (i == 0 ? WS_TABSTOP | WS_GROUP : 0), 40,
        10 + static_cast<int>(i) * 26, 300, 18, kTargetRadio + static_cast<int>(i));
  }
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, 58, 192, 402, 21, kTargetDirEdit,
      WS_EX_CLIENTEDGE);

  // 10: signing.
  p = Page(kSignPage);
  Check(p, "Sign the package with &Authenticode.", 40, 8, 300, kCodeSignCheck);
  Label(p, "Software Publishing &Certificate File:", 40, 36, 300, 14, kSpcLabel);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 52, 330, 21, kSpcEdit, WS_EX_CLIENTEDGE);
  Add(p, "BUTTON", "Br&owse...", BS_PUSHBUTTON | WS_TABSTOP, 380, 51, 80, 23, kSpcBrowse);
  Label(p, "Private &Key File:", 40, 82, 300, 14, kPvkLabel);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 98, 330, 21, kPvkEdit, WS_EX_CLIENTEDGE);
  Add(p, "BUTTON", "Bro&wse...", BS_PUSHBUTTON | WS_TABSTOP, 380, 97, 80, 23, kPvkBrowse);
  Label(p, "&Time Stamp URL:", 40, 128, 300, 14, kTimeStampLabel);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 144, 420, 21, kTimeStampEdit,
      WS_EX_CLIENTEDGE);
  Label(p, "Package &Information URL:", 40, 174, 300, 14, kInfoUrlLabel);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 190, 420, 21, kInfoUrlEdit, WS_EX_CLIENTEDGE);

  // 11: open command.
  p = Page(kOpenCommandPage);
  Label(p, "File to &Open:", 40, 20, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 36, 420, 21, kRunAppEdit, WS_EX_CLIENTEDGE);
  Label(p, "(example: setup.exe, readme.txt; or try special value $EXPLORE$)", 40, 61, 420);
  Label(p, "&Parameters:", 40, 94, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 110, 200, 21, kRunParmsEdit,
      WS_EX_CLIENTEDGE);
  Label(p, "(example: /s)", 40, 135, 300);

  // 12: output files.
  p = Page(kOutputPage);
  Label(p, "&Package File:", 40, 18, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 34, 330, 21, kSaveAsEdit, WS_EX_CLIENTEDGE);
  Add(p, "BUTTON", "&Save As...", BS_PUSHBUTTON | WS_TABSTOP, 380, 33, 80, 23, kSaveAsBrowse);
  Label(p, "Pro&ject File:", 40, 72, 300);
  Add(p, "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, 40, 88, 330, 21, kProjectEdit, WS_EX_CLIENTEDGE);
  Add(p, "BUTTON", "Save &As...", BS_PUSHBUTTON | WS_TABSTOP, 380, 87, 80, 23, kProjectBrowse);
  Label(p,
        "You may leave the fields blank if you do not wish to create the corresponding output "
        "files at this time.",
        40, 130, 420, 30);

  // 13: ready.
  p = Page(kReadyPage);
  Check(p, "&Make the package now.", 16, 196, 300, kMakeCheck);
  Check(p, "&Save package settings for later re-use.", 16, 222, 300, kSaveCheck);

  // 14: building.
  p = Page(kBuildingPage);
  Add(p, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 40, 14, 420, 14, kStatusLabel);
  Add(p, PROGRESS_CLASSA, "", PBS_SMOOTH, 40, 32, 420, 18, kStepBar);
  Label(p, "Overall Progress", 40, 64, 420);
  Add(p, PROGRESS_CLASSA, "", PBS_SMOOTH, 40, 82, 420, 18, kOverallBar);
  CreateAnimation(p, kBuildAnimation, Animation::kBuild, 130, 124, 240, 64);

  // 15: finish.
  p = Page(kFinishPage);
  Check(p, "&Test the package now.", 16, 136, 220, kTestCheck);
  CreateAnimation(p, kTestAnimation, Animation::kTest, 250, 127, 56, 36);
  Check(p, "&Explore the package folder.", 16, 180, 220, kExploreCheck);
  CreateAnimation(p, kExploreAnimation, Animation::kExplore, 250, 171, 56, 36);
  Check(p, "E-&mail the package now.", 16, 224, 220, kEmailCheck);
  CreateAnimation(p, kEmailAnimation, Animation::kEmail, 250, 215, 56, 36);

  SetChecked(kDirectCheck, preferences_.direct);
  SetChecked(kPasswordHideCheck, preferences_.passwordHide);
  SetChecked(kTestCheck, preferences_.test);
  SetChecked(kExploreCheck, preferences_.explore);
  SetChecked(kEmailCheck, preferences_.email);
  SendMessageA(Control(kPasswordEdit), EM_SETPASSWORDCHAR, preferences_.passwordHide ? '*' : 0, 0);
}

void Ombrell::FillNames() {
  const HWND combo = Control(kNameCombo);
  const std::string text = Text(kNameCombo);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  const auto names = KnownPackageNames(
      files_.KnownPackages(), [](const std::string& path) { return ombrwiz::FileExists(path); });
  for (const std::string& name : names) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SetWindowTextA(combo, text.c_str());
}

void Ombrell::FillLanguages(const std::string& keep) {
  const HWND combo = Control(kLanguageCombo);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& language : languages_) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(language.c_str()));
  }
  const LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(keep.c_str()));
  SendMessageA(combo, CB_SETCURSEL, keep.empty() ? static_cast<WPARAM>(-1) : index, 0);
  flow_.SetFirstLanguage(languages_.empty() ? std::string() : languages_.front());
}

// Controls -> settings.
void Ombrell::Gather() {
  ProjectSettings& s = flow_.Settings();
  s.packageName = Text(kNameCombo);
  const LRESULT language = SendMessageA(Control(kLanguageCombo), CB_GETCURSEL, 0, 0);
  s.language = language >= 0 && static_cast<std::size_t>(language) < languages_.size()
                   ? languages_[static_cast<std::size_t>(language)]
                   : std::string();
  for (const TextBinding& binding : kTextBindings) s.*binding.setting = Text(binding.id);
  for (const TickBinding& binding : kTickBindings) s.*binding.setting = Checked(binding.id);
  s.files = fileList_.Entries();
  for (std::size_t i = 0; i < kTargetButtons.size(); ++i) {
    if (Checked(kTargetRadio + static_cast<int>(i))) s.target = kTargetButtons[i].choice;
  }
  flow_.direct = Checked(kDirectCheck);
  // The Ready page's ticks count only as the author left them there.
  if (flow_.Page() == kReadyPage) {
    if (IsWindowEnabled(Control(kMakeCheck))) flow_.make = Checked(kMakeCheck);
    if (IsWindowEnabled(Control(kSaveCheck))) flow_.save = Checked(kSaveCheck);
  }
}

// Settings -> controls.
void Ombrell::Scatter() {
  scattering_ = true;
  const ProjectSettings& s = flow_.Settings();
  if (Text(kNameCombo) != s.packageName) SetText(kNameCombo, s.packageName);
  const auto language = std::find(languages_.begin(), languages_.end(), s.language);
  SendMessageA(Control(kLanguageCombo), CB_SETCURSEL,
               language == languages_.end() ? static_cast<WPARAM>(-1)
                                            : static_cast<WPARAM>(language - languages_.begin()),
               0);
  for (const TextBinding& binding : kTextBindings) SetText(binding.id, s.*binding.setting);
  for (const TickBinding& binding : kTickBindings) SetChecked(binding.id, s.*binding.setting);
  SetChecked(kNoAdvancedRadio, !s.advanced);
  fileList_.Assign(s.files);
  for (std::size_t i = 0; i < kTargetButtons.size(); ++i) {
    SetChecked(kTargetRadio + static_cast<int>(i), s.target == kTargetButtons[i].choice);
  }
  SetChecked(kDirectCheck, flow_.direct);
  ShowDependentControls();
  scattering_ = false;
}

// Controls that show only while a tick asks for them.
void Ombrell::ShowDependentControls() {
  const int multi = Checked(kMultiPartCheck) ? SW_SHOW : SW_HIDE;
  ShowWindow(Control(kSplitLabel), multi);
  ShowWindow(Control(kSplitEdit), multi);
  const int sign = Checked(kCodeSignCheck) ? SW_SHOW : SW_HIDE;
  for (const int id : {kSpcLabel, kSpcEdit, kSpcBrowse, kPvkLabel, kPvkEdit, kPvkBrowse,
                       kTimeStampLabel, kTimeStampEdit, kInfoUrlLabel, kInfoUrlEdit}) {
    ShowWindow(Control(id), sign);
  }
  const int direct = flow_.DirectOffered() ? SW_SHOW : SW_HIDE;
  ShowWindow(Control(kDirectCheck), direct);
  ShowWindow(Control(kDirectHint), direct);
  EnableWindow(Control(kTargetDirEdit), Checked(kTargetRadio + 6));
  PlayAnimation(Control(kTestAnimation), Checked(kTestCheck) && flow_.Page() == kFinishPage);
  PlayAnimation(Control(kExploreAnimation), Checked(kExploreCheck) && flow_.Page() == kFinishPage);
  PlayAnimation(Control(kEmailAnimation), Checked(kEmailCheck) && flow_.Page() == kFinishPage);
}

void Ombrell::UpdateCaption() {
  const std::string name = Text(kNameCombo);
  const std::string caption = name.empty() ? "Ombrell Wizard" : "Ombrell Wizard - " + name;
  const std::string title =
      name.empty() ? "Quorvane Ombrell Wizard" : "Quorvane Ombrell Wizard - " + name;
  if (TextOf(window_) != caption) SetWindowTextA(window_, caption.c_str());
  if (TextOf(application_) != title) SetWindowTextA(application_, title.c_str());
}

void Ombrell::ShowPage(int page) {
  KillTimer(window_, kNameTimer);
  const HWND back = Control(kBackButton);
  const HWND next = Control(kNextButton);
  ShowWindow(back, SW_SHOW);
  ShowWindow(next, SW_SHOW);
  SetWindowTextA(next, page == kReadyPage || page == kFinishPage ? "&Finish" : "&Next >");
  EnableWindow(back, page != kWelcomePage);
  // Enter in the file list edits nothing: there Next is no default button.
  SendMessageA(next, BM_SETSTYLE, page == kFilesPage ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON, TRUE);
  DragAcceptFiles(window_, page == kFilesPage);

  const PageText& text = kPageTexts[static_cast<std::size_t>(page - 1)];
  const bool startPage = IsStartPage(page);
  ShowWindow(Control(kHeading), startPage ? SW_HIDE : SW_SHOW);
  ShowWindow(Control(kExplanation), startPage ? SW_HIDE : SW_SHOW);
  SetText(kHeading, text.heading);
  SetText(kExplanation, text.explanation);

  if (page == kReadyPage) {
    const bool makeAllowed = !Text(kSaveAsEdit).empty();
    const bool saveAllowed = !Text(kProjectEdit).empty();
    EnableWindow(Control(kMakeCheck), makeAllowed);
    EnableWindow(Control(kSaveCheck), saveAllowed);
    SetChecked(kMakeCheck, makeAllowed && flow_.make);
    SetChecked(kSaveCheck, saveAllowed && flow_.save);
  }
  if (page == kBuildingPage) {
    ShowWindow(back, SW_HIDE);
    ShowWindow(next, SW_HIDE);
  }
  if (page == kFinishPage && !MailAvailable()) {
    SetChecked(kEmailCheck, false);
    ShowWindow(Control(kEmailCheck), SW_HIDE);
    ShowWindow(Control(kEmailAnimation), SW_HIDE);
  }
  for (int other = 1; other <= kPageCount; ++other) {
    ShowWindow(Page(other), other == page ? SW_SHOW : SW_HIDE);
  }
  PlayAnimation(Control(kBuildAnimation), page == kBuildingPage);
  ShowDependentControls();
  InvalidateRect(window_, nullptr, TRUE);
  if (page == kNamePage) {
    SetTimer(window_, kNameTimer, kNameTimerMs, nullptr);
    SetFocus(Control(kNameCombo));
  } else if (page != kBuildingPage) {
    SetFocus(next);
  }
}

void Ombrell::Follow(FlowResult result) {
  switch (result) {
    case FlowResult::kStay:
      break;
    case FlowResult::kShowPage:
    case FlowResult::kBuilding:
      Scatter();
      ShowPage(flow_.Page());
      break;
    case FlowResult::kEnd:
      EndWizard(exitCode);
      break;
  }
}

void Ombrell::SavePreferences() {
  preferences_.direct = Checked(kDirectCheck);
  preferences_.make = flow_.make;
  preferences_.save = flow_.save;
  preferences_.test = Checked(kTestCheck);
  preferences_.explore = Checked(kExploreCheck);
  preferences_.passwordHide = Checked(kPasswordHideCheck);
  preferences_.email = Checked(kEmailCheck);
  files_.SavePreferences(preferences_);
}

void Ombrell::EndWizard(int code) {
  if (ending_) return;
  ending_ = true;
  exitCode = code;
  Gather();
  ShowWindow(window_, SW_HIDE);  // saves the preferences
  PostQuitMessage(code);
}

std::optional<ProjectSettings> Ombrell::LoadProject(const std::string& path) {
  const auto text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  return ParseProjectFile(*text, languages_);
}

bool Ombrell::SaveProject(const ProjectSettings& settings) {
  return WriteWholeFile(settings.project, ProjectFileText(settings));
}

void Ombrell::RecordKnownPackage(const std::string& name, const std::string& project) {
  files_.RecordKnownPackage(name, project);
  FillNames();
}

bool Ombrell::StartBuild(const ProjectSettings& settings) {
  buildSettings_ = MakeBuildSettings(settings, files_.Folder());
  // Named functions, not lambdas: the 32-bit build was seen calling the wrong one of three
  // lambdas of the same signature held in the queries.
  const PathQueries queries{&ombrwiz::FileExists, &ombrwiz::FolderExists, &FreeBytesOf};
  if (!BuildSettingsAreValid(buildSettings_, settings, queries)) return false;
  build_ = std::make_unique<BuildRun>(buildSettings_, true);
  if (!build_->Started()) {
    build_.reset();
    return false;
  }
  const HWND pause = Control(kPauseButton);
  SetWindowTextA(pause, "&Pause");
  ShowWindow(pause, SW_SHOW);
  SetFocus(pause);
  SendMessageA(Control(kStepBar), PBM_SETPOS, 0, 0);
  SendMessageA(Control(kOverallBar), PBM_SETPOS, 0, 0);
  SetText(kStatusLabel, "Initializing");
  SetTimer(window_, kBuildTimer, kBuildTimerMs, nullptr);
  return true;
}

void Ombrell::OnBuildTimer() {
  if (!build_) return;
  BuildProgress& progress = build_->Progress();
  const std::string status = progress.Status();
  if (Text(kStatusLabel) != status) SetText(kStatusLabel, status);
  if (status == "Checking Package" && Text(kPauseButton) == "&Pause") {
    // The cabinet is being flushed: keep the bar moving.
    progress.step = (progress.step.load() + 1) % 101;
  }
  SendMessageA(Control(kStepBar), PBM_SETPOS, static_cast<WPARAM>(progress.step.load()), 0);
  SendMessageA(Control(kOverallBar), PBM_SETPOS, static_cast<WPARAM>(progress.overall.load()), 0);
  if (progress.stop.load()) EndOfBuild();
}

void Ombrell::EndOfBuild() {
  KillTimer(window_, kBuildTimer);
  const bool cancelled = build_->Progress().userCancel.load();
  const bool succeeded = build_->Finish();
  build_.reset();
  EnableWindow(Control(kCancelButton), TRUE);
  ShowWindow(Control(kPauseButton), SW_HIDE);
  PlayAnimation(Control(kBuildAnimation), false);
  Follow(flow_.BuildEnded(succeeded, cancelled));
}

void Ombrell::TogglePause() {
  if (!build_) return;
  BuildProgress& progress = build_->Progress();
  if (!progress.Paused()) {
    EnableWindow(Control(kCancelButton), FALSE);
    progress.Pause();
    SetText(kPauseButton, "&Resume");
    PlayAnimation(Control(kBuildAnimation), false);
    Trace("build paused");
  } else {
    EnableWindow(Control(kCancelButton), TRUE);
    progress.Resume();
    SetText(kPauseButton, "&Pause");
    PlayAnimation(Control(kBuildAnimation), true);
    Trace("build resumed");
  }
}

void Ombrell::CancelOrQuit() {
  if (build_) {
    if (build_->Progress().Paused()) {
      ombrwiz::ShowError("Unable to quit while paused. Please resume first.");
      return;
    }
    if (AskYesNo("Are you sure you want to quit?") && build_) {
      build_->Progress().userCancel = true;
      build_->Progress().stop = true;
    }
    return;
  }
  if (AskYesNo("Are you sure you want to quit?")) EndWizard(exitCode);
}

void Ombrell::RunAfterBuildActions() {
  AfterBuild after;
  after.test = Checked(kTestCheck);
  after.email = Checked(kEmailCheck) && MailAvailable();
  after.explore = Checked(kExploreCheck);
  ombrwiz::RunAfterBuildActions(buildSettings_.packagePath, buildSettings_.packageName, after,
                                window_);
}

void Ombrell::Browse(int edit, const char* title, const char* filter, std::string& folder) {
  if (const auto path = ChooseFileToOpen(window_, title, filter, folder)) SetText(edit, *path);
}

void Ombrell::BrowseSave(int edit, const char* title, const char* filter, const char* extension,
                         std::string& folder, bool recordProject) {
  const auto path = ChooseFileToSave(window_, title, filter, extension, folder, Text(edit));
  if (!path) return;
  SetText(edit, *path);
  if (recordProject) RecordKnownPackage(Text(kNameCombo), *path);
}

// Completes a name typed into the name box from the known names: the rest
// of the first one it begins, selected so that typing on replaces it.
void Ombrell::CompleteName() {
  const HWND combo = Control(kNameCombo);
  const std::string typed = Text(kNameCombo);
  const bool grew = typed.size() > lastTypedName_.size() &&
                    typed.compare(0, lastTypedName_.size(), lastTypedName_) == 0;
  lastTypedName_ = typed;
  if (!grew || typed.empty()) return;
  const LRESULT found = SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(typed.c_str()));
  if (found < 0) return;
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(found), 0);
  std::string name(static_cast<std::size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(found),
               reinterpret_cast<LPARAM>(name.data()));
  name.resize(static_cast<std::size_t>(length));
  if (name.size() <= typed.size()) return;
  const std::string completed = typed + name.substr(typed.size());
  SetWindowTextA(combo, completed.c_str());
  SendMessageA(combo, CB_SETEDITSEL, 0,
               MAKELPARAM(static_cast<WORD>(typed.size()), static_cast<WORD>(-1)));
}

void Ombrell::OnCommand(int id, int code, HWND) {
  if (fileList_.Command(id)) return;
  switch (id) {
    case kNextButton:
      if (code != BN_CLICKED || !IsWindowVisible(Control(kNextButton))) return;
      Gather();
      Follow(flow_.Next());
      return;
    case kBackButton:
      if (!IsWindowEnabled(Control(kBackButton)) || !IsWindowVisible(Control(kBackButton))) return;
      Gather();
      Follow(flow_.Back());
      return;
    case kCancelButton:
    case IDCANCEL:
      if (IsWindowEnabled(Control(kCancelButton))) CancelOrQuit();
      return;
    case kPauseButton:
      TogglePause();
      return;
    case kNameCombo:
      if (code == CBN_EDITUPDATE && !scattering_) CompleteName();
      if (code == CBN_EDITCHANGE || code == CBN_SELCHANGE) UpdateCaption();
      return;
    case kPasswordHideCheck:
      SendMessageA(Control(kPasswordEdit), EM_SETPASSWORDCHAR,
                   Checked(kPasswordHideCheck) ? '*' : 0, 0);
      InvalidateRect(Control(kPasswordEdit), nullptr, TRUE);
      return;
    case kCustomizeButton: {
      const std::string program = files_.Folder() + "ombrtrans.exe";
      if (WinExec(program.c_str(), SW_SHOWNORMAL) <= 31) {
        ombrwiz::ShowError("Unable to start Ombrell Translator. Please re-install Ombrell.");
      }
      return;
    }
    case kLicenseBrowse:
      Browse(kLicenseEdit, "Select License Agreement File", "Text Files|*.txt|All Files|*.*",
             preferences_.licenseFileFolder);
      return;
    case kSpcBrowse:
      Browse(kSpcEdit, "Select Software Publishing Certificate File",
             "Software Publishing Certificate Files|*.spc|All Files|*.*",
             preferences_.certificateFolder);
      return;
    case kPvkBrowse:
      Browse(kPvkEdit, "Select Private Key File", "Private Key Files|*.pvk|All Files|*.*",
             preferences_.privateKeyFolder);
      return;
    case kSaveAsBrowse:
      BrowseSave(kSaveAsEdit, "Save Package As", "Executable Files|*.exe", "exe",
                 preferences_.savePackageFolder, false);
      return;
    case kProjectBrowse:
      BrowseSave(kProjectEdit, "Save Project As", "Ombrell Projects|*.ombr", "ombr",
                 preferences_.saveProjectFolder, true);
      return;
    case kAddFilesButton:
      fileList_.Command(kAddFilesCommand);
      return;
    case kAddFolderButton:
      fileList_.Command(kAddFolderCommand);
      return;
    default:
      if (code == BN_CLICKED) ShowDependentControls();
      return;
  }
}

LRESULT Ombrell::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (fileList_.Notify(*reinterpret_cast<const NMHDR*>(lParam), &result)) return result;
      break;
    }
    case kRefillFileListMessage:
      fileList_.RefillAfterEdit();
      return 0;
    case WM_DROPFILES:
      fileList_.Drop(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_TIMER:
      if (wParam == kNameTimer) {
        const std::string typed = Text(kNameCombo);
        if (flow_.WatchName(typed)) {
          Scatter();
        } else {
          ShowDependentControls();
        }
        UpdateCaption();
      } else if (wParam == kBuildTimer) {
        OnBuildTimer();
      }
      return 0;
    case DM_GETDEFID:
      if (flow_.Page() == kFilesPage || !IsWindowVisible(Control(kNextButton))) return 0;
      return MAKELRESULT(kNextButton, DC_HASDEFID);
    case kReloadLanguagesMessage: {
      const LRESULT index = SendMessageA(Control(kLanguageCombo), CB_GETCURSEL, 0, 0);
      const std::string chosen = index >= 0 && static_cast<std::size_t>(index) < languages_.size()
                                     ? languages_[static_cast<std::size_t>(index)]
                                     : std::string();
      languages_ = files_.Languages();
      const bool kept = std::find(languages_.begin(), languages_.end(), chosen) != languages_.end();
      FillLanguages(kept ? chosen : (languages_.empty() ? std::string() : languages_.front()));
      return 0;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == kHeading || id == kExplanation) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(white_);
      }
      break;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      if (IsStartPage(flow_.Page())) {
        DrawStartPicture(dc, RECT{0, 0, kPictureWidth, kButtonLine});
      } else {
        RECT band{0, 0, kWidth, kBandHeight};
        FillRect(dc, &band, white_);
        RECT line{0, kBandHeight - 1, kWidth, kBandHeight + 1};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
      }
      RECT bottom{0, kButtonLine, kWidth, kButtonLine + 2};
      DrawEdge(dc, &bottom, EDGE_ETCHED, BF_TOP);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_SHOWWINDOW:
      if (wParam == FALSE) SavePreferences();
      break;
    case WM_CLOSE:
      CancelOrQuit();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

bool Ombrell::PreTranslate(MSG& message) {
  // Enter in the name box while its list is open presses Next.
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN && flow_.Page() == kNamePage &&
      SendMessageA(Control(kNameCombo), CB_GETDROPPEDSTATE, 0, 0) != 0) {
    SendMessageA(Control(kNameCombo), CB_SHOWDROPDOWN, FALSE, 0);
    PostMessageA(Control(kNextButton), BM_CLICK, 0, 0);
    return true;
  }
  // F2 and the list's own keys reach the list view, not the dialog manager.
  if (message.message == WM_KEYDOWN && message.hwnd == fileList_.Handle()) return false;
  return IsDialogMessageA(window_, &message) != FALSE;
}

LRESULT CALLBACK Ombrell::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Ombrell*>(create->lpCreateParams)->window_ = window;
  }
  auto* self = reinterpret_cast<Ombrell*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || message == WM_NCCREATE) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
  }
  return self->Handle(message, wParam, lParam);
}

// A page panel: its controls' messages go to the window; start pages are white.
LRESULT CALLBACK Ombrell::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool white = GetWindowLongPtrA(window, GWLP_USERDATA) != 0;
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
      return SendMessageA(GetParent(window), message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (white) {
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      }
      break;
    case WM_ERASEBKGND:
      if (white) {
        RECT area;
        GetClientRect(window, &area);
        FillRect(reinterpret_cast<HDC>(wParam), &area,
                 static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return 1;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int RunWizardWindow(ProgramFiles& files, const WizardStart& start) {
  Ombrell wizard(files, start);
  if (!wizard.Create()) return 1;
  MSG message;
  int code = 0;
  for (;;) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (wizard.Window() != nullptr && wizard.PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  SetBoxOwner(nullptr);
  return code;
}

}  // namespace ombrwiz
