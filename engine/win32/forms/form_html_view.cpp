// ThtmlLite: a read-only display of an HTML page's text.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/ascii_case.h"
#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::optional<int> EntityNumber(std::string_view digits) {
  int base = 10;
  if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
    base = 16;
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  int value = 0;
  for (const char c : digits) {
    int digit = 0;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (base == 16 && common::ToLowerAscii(c) >= 'a' && common::ToLowerAscii(c) <= 'f') {
      digit = common::ToLowerAscii(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > 0x10FFFF) return std::nullopt;
  }
  return value;
}

// The plain text an HTML page shows: tags dropped, white space collapsed,
// <br> and the end of a paragraph or block as line breaks, the common
// entities decoded. Characters past the 8-bit range become '?'.
std::string HtmlToText(std::string_view html) {
  std::string out;
  bool pendingSpace = false;
  const auto atLineStart = [&] { return out.empty() || out.back() == '\n'; };
  const auto trimSpaces = [&] {
    while (!out.empty() && out.back() == ' ') out.pop_back();
  };
  const auto lineBreak = [&] {
    trimSpaces();
    out += "\r\n";
    pendingSpace = false;
  };
  const auto emit = [&](char c) {
    if (pendingSpace && !atLineStart()) out += ' ';
    pendingSpace = false;
    out += c;
  };
  std::size_t i = 0;
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<' && i + 1 < html.size() &&
        (common::IsAsciiLetter(html[i + 1]) || html[i + 1] == '/' || html[i + 1] == '!')) {
      if (html.substr(i, 4) == "<!--") {
        const auto end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      const auto close = html.find('>', i + 1);
      if (close == std::string_view::npos) break;  // an unfinished tag shows nothing
      std::string_view tag = html.substr(i + 1, close - i - 1);
      i = close + 1;
      const bool closing = !tag.empty() && tag[0] == '/';
      if (closing) tag.remove_prefix(1);
      std::string name;
      for (const char t : tag) {
        if (!common::IsAsciiLetter(t) && !IsDigit(t)) break;
        name += common::ToLowerAscii(t);
      }
      if (!closing && (name == "script" || name == "style" || name == "title")) {
        const auto end = common::FindIgnoringAsciiCase(html, "</" + name, i);
        const auto after = end == std::string_view::npos ? end : html.find('>', end);
        i = after == std::string_view::npos ? html.size() : after + 1;
        continue;
      }
      if (name == "br" || (closing && name == "p")) {
        lineBreak();
      } else if (name == "p" || name == "div" || name == "li" || name == "tr" || name == "table" ||
                 name == "ul" || name == "ol" || name == "hr" || name == "blockquote" ||
                 name == "pre" ||
                 (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')) {
        if (!atLineStart()) lineBreak();
      }
      continue;
    }
    if (c == '&') {
      const auto semi = html.find(';', i + 1);
      if (semi != std::string_view::npos && semi - i <= 10) {
        const std::string_view entity = html.substr(i + 1, semi - i - 1);
        std::optional<int> code;
        if (Is(entity, "amp"))
          code = '&';
        else if (Is(entity, "lt"))
          code = '<';
        else if (Is(entity, "gt"))
          code = '>';
        else if (Is(entity, "quot"))
          code = '"';
        else if (Is(entity, "apos"))
          code = '\'';
        else if (Is(entity, "nbsp"))
          code = 0xA0;
        else if (Is(entity, "copy"))
          code = 0xA9;
        else if (!entity.empty() && entity[0] == '#')
          code = EntityNumber(entity.substr(1));
        if (code) {
          i = semi + 1;
          if (*code == 0xA0) {
            // A hard space: shown, never collapsed.
            if (pendingSpace && !atLineStart()) out += ' ';
            pendingSpace = false;
            out += ' ';
          } else if (*code == '\n' || *code == '\r' || *code == '\t' || *code == ' ') {
            pendingSpace = true;
          } else if (*code > 0 && *code <= 0xFF) {
            emit(static_cast<char>(static_cast<unsigned char>(*code)));
          } else {
            emit('?');
          }
          continue;
        }
      }
    }
    if (IsSpace(c)) {
      pendingSpace = true;
    } else {
      emit(c);
    }
    ++i;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\r' || out.back() == '\n')) {
    out.pop_back();
  }
  return out;
}

class HtmlLite final : public StandardControl {
 public:
  HtmlLite(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"ThtmlLite"}, site) {
    background_.Set("clWhite");
    fontColor_.Set("clWindowText");
  }

  HBRUSH OnColor(HDC dc) override {
    const COLORREF color = background_.value;
    if (!brush_ || brushColor_ != color) {
      brush_.Reset(CreateSolidBrush(color));
      brushColor_ = color;
    }
    SetBkColor(dc, color);
    SetTextColor(dc, fontColor_.value);
    return ColorOver(dc, brush_.Get());
  }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = "EDIT";
    params.style = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
    params.exStyle = WS_EX_CLIENTEDGE;
    return params;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "DocumentSource")) return source_;
    if (Is(name, "DefBackground")) return background_.text;
    if (Is(name, "DefFontColor")) return fontColor_.text;
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "DocumentSource")) {
      source_ = text;
      SetWindowTextTo(HtmlToText(text));
      return true;
    }
    if (Is(name, "DefBackground") || Is(name, "DefFontColor")) {
      if (!(Is(name, "DefBackground") ? background_ : fontColor_).Set(text)) return false;
      Repaint();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  std::string source_;
  ColorProperty background_;
  ColorProperty fontColor_;
  common::GdiObject<HBRUSH> brush_;
  COLORREF brushColor_ = 0;
};

}  // namespace

std::unique_ptr<FormControl> CreateHtmlViewControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "ThtmlLite")) return std::make_unique<HtmlLite>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
