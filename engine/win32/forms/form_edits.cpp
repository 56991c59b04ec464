// The text fields: TEdit, TMaskEdit, TMemo and TRichEdit.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/text_lines.h"
#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

enum class EditKind { kEdit, kMaskEdit, kMemo, kRichEdit };

constexpr const char* kScrollBars[] = {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
constexpr const char* kCharCases[] = {"ecNormal", "ecUpperCase", "ecLowerCase"};
constexpr LPARAM kNoTextLimit = 0x7FFFFFFE;

// Line breaks as a multi-line edit needs them: CR LF, whatever the text had.
std::string CrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

struct StreamSource {
  std::string_view data;
  std::size_t position = 0;
};

DWORD CALLBACK ReadStreamSource(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
  auto& source = *reinterpret_cast<StreamSource*>(cookie);
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(std::max<LONG>(size, 0)),
                                                  source.data.size() - source.position);
  std::memcpy(buffer, source.data.data() + source.position, count);
  source.position += count;
  *done = static_cast<LONG>(count);
  return 0;
}

class Edit final : public StandardControl {
 public:
  Edit(const FormObject& object, ControlSite& site, EditKind kind)
      : StandardControl(object, {ClassFor(kind)}, site),
        kind_(kind),
        scrollBars_(FileChoice("ScrollBars", kScrollBars, 0)),
        wordWrap_(FileBool("WordWrap", true)),
        charCase_(FileChoice("CharCase", kCharCases, 0)) {
    if (kind == EditKind::kMaskEdit) Keep("EditMask", Kind::kText, "");
    if (kind == EditKind::kRichEdit) Keep("PlainText", Kind::kBool, "False");
    Keep("AutoSelect", Kind::kBool, "True");
    if (Multiline()) {
      Keep("WantReturns", Kind::kBool, "True");
      Keep("WantTabs", Kind::kBool, "False");
      Keep("Alignment", Kind::kChoice, FileChoiceText("Alignment", kAlignments, 0),
           {kAlignments[0], kAlignments[1], kAlignments[2]});
    }
    Keep("BorderStyle", Kind::kChoice, FileChoiceText("BorderStyle", kBorderStyles, 1),
         {"bsNone", "bsSingle"});
  }

  void OnCommand(WORD notification) override {
    if (notification == EN_CHANGE && !quiet_) Fire(ControlEvent::kChange);
  }

  // Read-only and disabled edits keep the window colour, as an editable one.
  HBRUSH OnColor(HDC dc) override {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return ColorOver(dc, GetSysColorBrush(COLOR_WINDOW));
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kind_ == EditKind::kRichEdit ? RICHEDIT_CLASSA : "EDIT";
    params.style = WS_TABSTOP;
    if (Multiline()) {
      params.style |= ES_MULTILINE | ES_AUTOVSCROLL | ScrollStyle(scrollBars_);
      if (FileBool("WantReturns", true)) params.style |= ES_WANTRETURN;
      if (!wordWrap_) params.style |= ES_AUTOHSCROLL;
      const int alignment = FileChoice("Alignment", kAlignments, 0);
      params.style |= alignment == 1 ? ES_RIGHT : alignment == 2 ? ES_CENTER : ES_LEFT;
    } else {
      params.style |= ES_AUTOHSCROLL;
    }
    params.style |= CaseStyle(charCase_);
    if (FileChoice("BorderStyle", kBorderStyles, 1) == 1) params.exStyle |= WS_EX_CLIENTEDGE;
    return params;
  }

  void Created() override {
    if (kind_ == EditKind::kRichEdit) {
      Send(EM_SETEVENTMASK, 0, ENM_CHANGE);
      Send(EM_EXLIMITTEXT, 0, kNoTextLimit);
      if (!wordWrap_) Send(EM_SETTARGETDEVICE, 0, 1);
    } else {
      Send(EM_SETLIMITTEXT, 0, 0);
    }
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Text")) return WindowText();
    if (Is(name, "ReadOnly")) return BoolText((Style() & ES_READONLY) != 0);
    if (Is(name, "MaxLength")) return std::to_string(maxLength_);
    if (Is(name, "CharCase")) return kCharCases[charCase_];
    if (Multiline()) {
      if (Is(name, "Lines")) return common::JoinLines(common::SplitLines(WindowText()));
      if (Is(name, "ScrollBars")) return kScrollBars[scrollBars_];
      if (Is(name, "WordWrap")) return BoolText(wordWrap_);
      if (kind_ == EditKind::kRichEdit && Is(name, "RichText")) return std::string();
    } else if (Is(name, "PasswordChar")) {
      return passwordChar_ == '\0' ? std::string("#0") : std::string(1, passwordChar_);
    }
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Text")) return SetText(text);
    if (Multiline() && Is(name, "Lines"))
      return SetText(common::JoinLines(common::SplitLines(text)));
    if (Is(name, "ReadOnly")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      Send(EM_SETREADONLY, *value ? TRUE : FALSE);
      Repaint();
      return true;
    }
    if (Is(name, "MaxLength")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      maxLength_ = *value;
      const LPARAM limit = maxLength_ == 0 ? kNoTextLimit : maxLength_;
      if (kind_ == EditKind::kRichEdit) {
        Send(EM_EXLIMITTEXT, 0, limit);
      } else {
        Send(EM_SETLIMITTEXT, static_cast<WPARAM>(maxLength_));
      }
      return true;
    }
    if (Is(name, "CharCase")) {
      const auto value = ChoiceOf(kCharCases, text);
      if (!value) return false;
      charCase_ = *value;
      ChangeStyle(ES_UPPERCASE | ES_LOWERCASE, CaseStyle(charCase_));
      return true;
    }
    if (!Multiline() && Is(name, "PasswordChar")) {
      const auto value = ParsePasswordChar(text);
      if (!value) return false;
      passwordChar_ = *value;
      Send(EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_));
      Repaint();
      return true;
    }
    if (Multiline() && Is(name, "ScrollBars")) {
      const auto value = ChoiceOf(kScrollBars, text);
      if (!value) return false;
      scrollBars_ = *value;
      ChangeStyle(WS_HSCROLL | WS_VSCROLL, ScrollStyle(scrollBars_));
      return true;
    }
    if (Multiline() && Is(name, "WordWrap")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      wordWrap_ = *value;
      // A plain edit decides on wrapping when it is made; a rich edit can
      // change it at any time.
      if (kind_ == EditKind::kRichEdit) Send(EM_SETTARGETDEVICE, 0, wordWrap_ ? 0 : 1);
      return true;
    }
    if (kind_ == EditKind::kRichEdit && Is(name, "RichText")) return SetRichText(text);
    return StandardControl::SetOwn(name, text);
  }

 private:
  static const char* ClassFor(EditKind kind) {
    switch (kind) {
      case EditKind::kEdit:
        return "TEdit";
      case EditKind::kMaskEdit:
        return "TMaskEdit";
      case EditKind::kMemo:
        return "TMemo";
      case EditKind::kRichEdit:
        return "TRichEdit";
    }
    return "TEdit";
  }
  static DWORD ScrollStyle(int scrollBars) {
    return (scrollBars == 1 || scrollBars == 3 ? DWORD{WS_HSCROLL} : 0) |
           (scrollBars == 2 || scrollBars == 3 ? DWORD{WS_VSCROLL} : 0);
  }
  static DWORD CaseStyle(int charCase) {
    return charCase == 1 ? ES_UPPERCASE : charCase == 2 ? ES_LOWERCASE : 0;
  }
  // "#0" or nothing for none, one character, or "#nn".
  static std::optional<char> ParsePasswordChar(const std::string& text) {
    if (text.empty()) return '\0';
    if (text.size() == 1) return text[0];
    if (text[0] == '#') {
      const auto code = ParseInt(std::string_view(text).substr(1));
      if (code && *code >= 0 && *code <= 255) {
        return static_cast<char>(static_cast<unsigned char>(*code));
      }
    }
    return std::nullopt;
  }

  bool Multiline() const { return kind_ == EditKind::kMemo || kind_ == EditKind::kRichEdit; }

  bool SetText(const std::string& text) {
    const std::string wanted = Multiline() ? CrLf(text) : text;
    const std::string before = WindowText();
    if (wanted == before) return true;
    quiet_ = true;
    if (kind_ == EditKind::kRichEdit) {
      // Streamed as plain text: set as window text, text that happens to
      // start like RTF would be read as RTF.
      StreamIn(wanted, SF_TEXT);
    } else {
      SetWindowTextTo(wanted);
    }
    quiet_ = false;
    if (WindowText() != before) Fire(ControlEvent::kChange);
    return true;
  }

  bool SetRichText(const std::string& text) {
    const std::string before = WindowText();
    std::size_t start = 0;
    while (start < text.size() && IsSpace(text[start])) ++start;
    const bool rtf = text.compare(start, 5, "{\\rtf") == 0;
    quiet_ = true;
    StreamIn(std::string_view(text).substr(rtf ? start : 0), rtf ? SF_RTF : SF_TEXT);
    quiet_ = false;
    if (WindowText() != before) Fire(ControlEvent::kChange);
    return true;
  }

  void StreamIn(std::string_view data, UINT format) {
    StreamSource source{data};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = ReadStreamSource;
    Send(EM_STREAMIN, format, reinterpret_cast<LPARAM>(&stream));
  }

  EditKind kind_;
  int scrollBars_;
  bool wordWrap_;
  int charCase_;
  int maxLength_ = 0;
  char passwordChar_ = '\0';
  bool quiet_ = false;  // a change made here reports its event itself
};

// The rich edit library stays loaded for the life of the process: its window
// class must outlive every rich edit.
void LoadRichEdit() {
  static const HMODULE library = LoadLibraryA("riched20.dll");
  (void)library;
}

}  // namespace

std::unique_ptr<FormControl> CreateEditControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "TEdit")) return std::make_unique<Edit>(object, site, EditKind::kEdit);
  if (Is(name, "TMaskEdit")) return std::make_unique<Edit>(object, site, EditKind::kMaskEdit);
  if (Is(name, "TMemo")) return std::make_unique<Edit>(object, site, EditKind::kMemo);
  if (Is(name, "TRichEdit")) {
    LoadRichEdit();
    return std::make_unique<Edit>(object, site, EditKind::kRichEdit);
  }
  return nullptr;
}

}  // namespace tavrel::standard_controls
