// The standard controls of wizard dialogs: labels, edits, buttons, check
// boxes, lists, combo boxes, group boxes and panels, pictures, shapes, bevels
// and the bars. Each sits on a real Windows control or, where no Windows
// control paints the way a dialog expects, on a small painted window of its
// own.
//
// Changing a value through SetPropertyText reports the same event a user's
// change reports, and only when the value really changed.
#include <windows.h>
// after windows.h
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/win32/form_control.h"

namespace tavrel {
namespace {

// ---------------------------------------------------------------------------
// Text helpers

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Is(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
  for (std::size_t i = from; i + what.size() <= text.size(); ++i) {
    if (Is(text.substr(i, what.size()), what)) return i;
  }
  return std::string_view::npos;
}

using Choices = std::span<const char* const>;

std::optional<int> ChoiceOf(Choices choices, std::string_view text) {
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (Is(choices[i], text)) return static_cast<int>(i);
  }
  return std::nullopt;
}

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

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
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
    } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
      digit = Lower(c) - 'a' + 10;
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
        (IsAlpha(html[i + 1]) || html[i + 1] == '/' || html[i + 1] == '!')) {
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
        if (!IsAlpha(t) && !IsDigit(t)) break;
        name += Lower(t);
      }
      if (!closing && (name == "script" || name == "style" || name == "title")) {
        const auto end = FindNoCase(html, "</" + name, i);
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

// A colour property: the text as last set (read back unchanged) and its value.
struct ColorProperty {
  std::string text;
  COLORREF value = 0;

  bool Set(const std::string& newText) {
    const auto parsed = FormControl::ParseColor(newText);
    if (!parsed) return false;
    text = newText;
    value = *parsed;
    return true;
  }
};

// ---------------------------------------------------------------------------
// GDI helpers

struct GdiDeleter {
  void operator()(void* object) const {
    if (object != nullptr) DeleteObject(static_cast<HGDIOBJ>(object));
  }
};
template <typename Handle>
using Gdi = std::unique_ptr<std::remove_pointer_t<Handle>, GdiDeleter>;

class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

HGDIOBJ FontOrDefault(HFONT font) {
  return font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
}

// What shows behind a control that has no background of its own: the
// nearest enclosing control's background, else the window class brush of
// the form, else the face colour.
HBRUSH ParentBrush(HWND window, HDC dc) {
  HWND parent = GetParent(window);
  for (int depth = 0; parent != nullptr && depth < 32; ++depth) {
    if (FormControl* control = FormControl::FromWindow(parent)) {
      if (const HBRUSH brush = control->OnColor(dc)) return brush;
      if ((GetWindowLongPtrA(parent, GWL_STYLE) & WS_CHILD) == 0) break;
      parent = GetParent(parent);
      continue;
    }
    const auto classBrush = static_cast<ULONG_PTR>(GetClassLongPtrA(parent, GCLP_HBRBACKGROUND));
    if (classBrush >= 1 && classBrush <= COLOR_MENUBAR + 1) {
      const int index = static_cast<int>(classBrush) - 1;
      SetBkColor(dc, GetSysColor(index));
      return GetSysColorBrush(index);
    }
    if (classBrush != 0) {
      const auto brush = reinterpret_cast<HBRUSH>(classBrush);
      LOGBRUSH info{};
      if (GetObjectA(brush, sizeof info, &info) == sizeof info && info.lbStyle == BS_SOLID) {
        SetBkColor(dc, info.lbColor);
      }
      return brush;
    }
    break;
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return GetSysColorBrush(COLOR_BTNFACE);
}

constexpr char kPanelClass[] = "TavrelPanel";
constexpr char kImageClass[] = "TavrelImage";
constexpr char kShapeClass[] = "TavrelShape";
constexpr char kBevelClass[] = "TavrelBevel";

void PrepareWindowClasses() {
  static const bool prepared = [] {
    for (const char* name : {kPanelClass, kImageClass, kShapeClass, kBevelClass}) {
      WNDCLASSA windowClass{};
      // Global, so that the class is found whichever module handle the
      // window is created with.
      windowClass.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
      windowClass.lpfnWndProc = DefWindowProcA;
      windowClass.hInstance = GetModuleHandleA(nullptr);
      windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
      windowClass.lpszClassName = name;
      RegisterClassA(&windowClass);
    }
    INITCOMMONCONTROLSEX controls{
        static_cast<DWORD>(sizeof(INITCOMMONCONTROLSEX)),
        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_ANIMATE_CLASS};
    InitCommonControlsEx(&controls);
    return true;
  }();
  (void)prepared;
}

// The rich edit library stays loaded for the life of the process: its window
// class must outlive every rich edit.
void LoadRichEdit() {
  static const HMODULE library = LoadLibraryA("riched20.dll");
  (void)library;
}

HMODULE Shell32() {
  static const HMODULE module = [] {
    const HMODULE loaded = GetModuleHandleA("shell32.dll");
    return loaded != nullptr ? loaded : LoadLibraryA("shell32.dll");
  }();
  return module;
}

// ---------------------------------------------------------------------------
// Pictures: "Picture.Data" holds a length-prefixed class name, then for a
// TBitmap a 32-bit little-endian size and a whole BMP file.

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::int64_t kMaxSide = 32768;
constexpr std::uint64_t kMaxPixelBytes = 256ull << 20;

// nullptr for anything that is not a sound BMP file; never reads outside bmp.
HBITMAP BitmapFromBmp(std::span<const unsigned char> bmp) {
  if (bmp.size() < kFileHeaderSize + 12 || bmp[0] != 'B' || bmp[1] != 'M') return nullptr;
  const std::uint32_t offBits = Le32(bmp.data() + 10);
  const std::span<const unsigned char> dib = bmp.subspan(kFileHeaderSize);
  const std::uint32_t headerSize = Le32(dib.data());

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  std::size_t paletteEntrySize = 4;
  if (headerSize == 12) {  // the old OS/2 header
    header.biWidth = Le16(dib.data() + 4);
    header.biHeight = Le16(dib.data() + 6);
    header.biPlanes = Le16(dib.data() + 8);
    header.biBitCount = Le16(dib.data() + 10);
    header.biCompression = BI_RGB;
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 1024 && headerSize <= dib.size()) {
    std::memcpy(&header, dib.data(), sizeof header);
    header.biSize = sizeof header;
  } else {
    return nullptr;
  }
  const std::int64_t width = header.biWidth;
  const std::int64_t height =
      header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight;
  const unsigned bits = header.biBitCount;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || header.biPlanes != 1) {
    return nullptr;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
  const DWORD compression = header.biCompression;
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  if (compression == BI_BITFIELDS) {
    if (bits != 16 && bits != 32) return nullptr;
  } else if (compression == BI_RLE8) {
    if (bits != 8 || header.biHeight < 0) return nullptr;
  } else if (compression == BI_RLE4) {
    if (bits != 4 || header.biHeight < 0) return nullptr;
  } else if (compression != BI_RGB) {
    return nullptr;
  }

  // Colour masks sit 40 bytes into the header block, inside the larger
  // headers and right after the basic one.
  const bool masks = compression == BI_BITFIELDS;
  if (masks && dib.size() < 52) return nullptr;
  std::size_t paletteCount = 0;
  if (bits <= 8) {
    const std::size_t full = std::size_t{1} << bits;
    paletteCount = header.biClrUsed == 0 ? full : header.biClrUsed;
    if (paletteCount > full) return nullptr;
  }
  const std::size_t paletteStart =
      static_cast<std::size_t>(headerSize) + (masks && headerSize == 40 ? 12 : 0);
  if (paletteStart > dib.size() || paletteCount * paletteEntrySize > dib.size() - paletteStart) {
    return nullptr;
  }

  std::vector<unsigned char> info(sizeof header + (masks ? 12 : 0) + paletteCount * 4);
  header.biClrUsed = static_cast<DWORD>(paletteCount);
  header.biClrImportant = 0;
  std::size_t at = sizeof header;
  if (masks) {
    std::memcpy(info.data() + at, dib.data() + 40, 12);
    at += 12;
  }
  for (std::size_t i = 0; i < paletteCount; ++i) {
    const unsigned char* entry = dib.data() + paletteStart + i * paletteEntrySize;
    info[at + i * 4] = entry[0];
    info[at + i * 4 + 1] = entry[1];
    info[at + i * 4 + 2] = entry[2];
    info[at + i * 4 + 3] = 0;
  }

  const std::size_t pixelsStart =
      offBits != 0 ? offBits : kFileHeaderSize + paletteStart + paletteCount * paletteEntrySize;
  if (pixelsStart < kFileHeaderSize + paletteStart || pixelsStart >= bmp.size()) return nullptr;
  const std::size_t available = bmp.size() - pixelsStart;
  if (rle) {
    if (header.biSizeImage == 0 || header.biSizeImage > available) return nullptr;
  } else {
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
    const std::uint64_t needed = stride * static_cast<std::uint64_t>(height);
    if (needed > kMaxPixelBytes || needed > available) return nullptr;
    header.biSizeImage = 0;
  }
  std::memcpy(info.data(), &header, sizeof header);

  const HDC screen = GetDC(nullptr);
  const HBITMAP bitmap =
      CreateDIBitmap(screen, &header, CBM_INIT, bmp.data() + pixelsStart,
                     reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return bitmap;
}

HBITMAP BitmapFromPictureData(std::span<const unsigned char> data) {
  if (data.empty()) return nullptr;
  const std::size_t nameLength = data[0];
  if (1 + nameLength > data.size()) return nullptr;
  const std::string_view className(reinterpret_cast<const char*>(data.data() + 1), nameLength);
  if (!Is(className, "TBitmap")) return nullptr;
  const std::span<const unsigned char> rest = data.subspan(1 + nameLength);
  if (rest.size() < 4) return nullptr;
  const std::uint32_t size = Le32(rest.data());
  if (size > rest.size() - 4) return nullptr;
  return BitmapFromBmp(rest.subspan(4, size));
}

// ---------------------------------------------------------------------------
// The common part of the classes here: properties the control only keeps
// (validated, read back as set) and helpers for styles and the file.

class StandardControl : public FormControl {
 public:
  using FormControl::FormControl;

 protected:
  enum class Kind { kText, kBool, kInt, kCount, kChoice };

  void Keep(std::string name, Kind kind, std::string value, std::vector<std::string> choices = {}) {
    stored_.push_back({std::move(name), kind, std::move(value), std::move(choices)});
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    for (const Stored& stored : stored_) {
      if (Is(stored.name, name)) return stored.value;
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    for (Stored& stored : stored_) {
      if (!Is(stored.name, name)) continue;
      switch (stored.kind) {
        case Kind::kText:
          stored.value = text;
          return true;
        case Kind::kBool: {
          const auto value = ParseBool(text);
          if (!value) return false;
          stored.value = BoolText(*value);
          return true;
        }
        case Kind::kInt:
        case Kind::kCount: {
          const auto value = ParseInt(text);
          if (!value || (stored.kind == Kind::kCount && *value < 0)) return false;
          stored.value = std::to_string(*value);
          return true;
        }
        case Kind::kChoice:
          for (const std::string& choice : stored.choices) {
            if (Is(choice, text)) {
              stored.value = choice;
              return true;
            }
          }
          return false;
      }
    }
    return std::nullopt;
  }

  bool StoredBool(std::string_view name) {
    return ParseBool(StandardControl::GetOwn(name).value_or("")).value_or(false);
  }

  bool FileBool(std::string_view name, bool fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ParseBool(property->text).value_or(fallback) : fallback;
  }
  int FileInt(std::string_view name, int fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ParseInt(property->text).value_or(fallback) : fallback;
  }
  int FileChoice(std::string_view name, Choices choices, int fallback) const {
    const FormProperty* property = FileProperty(name);
    return property != nullptr ? ChoiceOf(choices, property->text).value_or(fallback) : fallback;
  }
  std::string FileChoiceText(std::string_view name, Choices choices, int fallback) const {
    return choices[static_cast<std::size_t>(FileChoice(name, choices, fallback))];
  }
  std::vector<std::string> FileItems(std::string_view name) const {
    const FormProperty* property = FileProperty(name);
    if (property == nullptr) return {};
    if (property->kind == FormProperty::Kind::kList) return property->items;
    return property->text.empty() ? std::vector<std::string>{} : SplitItems(property->text);
  }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return SendMessageA(Window(), message, wParam, lParam);
  }
  DWORD Style() const { return static_cast<DWORD>(GetWindowLongPtrA(Window(), GWL_STYLE)); }
  void ChangeStyle(DWORD clear, DWORD set) {
    const DWORD style = (Style() & ~clear) | set;
    SetWindowLongPtrA(Window(), GWL_STYLE, static_cast<LONG_PTR>(style));
    FrameChanged();
  }
  void ChangeExStyle(DWORD clear, DWORD set) {
    const auto old = static_cast<DWORD>(GetWindowLongPtrA(Window(), GWL_EXSTYLE));
    SetWindowLongPtrA(Window(), GWL_EXSTYLE, static_cast<LONG_PTR>((old & ~clear) | set));
    FrameChanged();
  }
  void FrameChanged() {
    SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    Repaint();
  }
  void Repaint() const { InvalidateRect(Window(), nullptr, TRUE); }

  // Whether the control has a Color of its own.
  bool HasColor() {
    const auto color = Kept().find("Color");
    return color != Kept().end() && ParseColor(color->second).has_value();
  }
  // For controls whose background without a Color of their own is not the
  // face colour: the caller has set up the DC for background; the base adds
  // Font.Color, and Color when there is one.
  HBRUSH ColorOver(HDC dc, HBRUSH background) {
    const COLORREF backgroundColor = GetBkColor(dc);
    const HBRUSH own = FormControl::OnColor(dc);
    if (HasColor()) return own;
    SetBkColor(dc, backgroundColor);
    return background;
  }

 private:
  struct Stored {
    std::string name;
    Kind kind;
    std::string value;
    std::vector<std::string> choices;
  };
  std::vector<Stored> stored_;
};

constexpr const char* kAlignments[] = {"taLeftJustify", "taRightJustify", "taCenter"};
constexpr const char* kBorderStyles[] = {"bsNone", "bsSingle"};

// ---------------------------------------------------------------------------
// TLabel, TStaticText

constexpr const char* kStaticBorders[] = {"sbsNone", "sbsSingle", "sbsSunken"};

class Label final : public StandardControl {
 public:
  Label(const FormObject& object, ControlSite& site, bool staticText)
      : StandardControl(object, {staticText ? "TStaticText" : "TLabel"}, site),
        staticText_(staticText),
        alignment_(FileChoice("Alignment", kAlignments, 0)),
        wordWrap_(FileBool("WordWrap", false)),
        showAccelChar_(FileBool("ShowAccelChar", true)),
        border_(staticText ? FileChoice("BorderStyle", kStaticBorders, 0) : 0) {
    Keep("AutoSize", Kind::kBool, "True");
    Keep("FocusControl", Kind::kText, "");
    if (!staticText) Keep("Layout", Kind::kChoice, "tlTop", {"tlTop", "tlCenter", "tlBottom"});
  }

  void OnCommand(WORD notification) override {
    if (notification == STN_CLICKED) Fire(ControlEvent::kClick);
  }

  HBRUSH OnColor(HDC dc) override {
    if (!transparent_) return FormControl::OnColor(dc);
    const HBRUSH brush = ParentBrush(Window(), dc);
    const COLORREF background = GetBkColor(dc);
    FormControl::OnColor(dc);  // the label's own font colour, if it has one
    SetBkColor(dc, background);
    SetBkMode(dc, TRANSPARENT);
    return brush;
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "STATIC";
    spec.style = SS_NOTIFY | TextStyle();
    if (border_ == 1) spec.style |= WS_BORDER;
    if (border_ == 2) spec.exStyle |= WS_EX_STATICEDGE;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Alignment")) return kAlignments[alignment_];
    if (Is(name, "ShowAccelChar")) return BoolText(showAccelChar_);
    if (Is(name, "Transparent")) return BoolText(transparent_);
    if (!staticText_ && Is(name, "WordWrap")) return BoolText(wordWrap_);
    if (staticText_ && Is(name, "BorderStyle")) return kStaticBorders[border_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Alignment")) {
      const auto value = ChoiceOf(kAlignments, text);
      if (!value) return false;
      alignment_ = *value;
      ApplyTextStyle();
      return true;
    }
    if (Is(name, "Transparent") || Is(name, "ShowAccelChar") ||
        (!staticText_ && Is(name, "WordWrap"))) {
      const auto value = ParseBool(text);
      if (!value) return false;
      if (Is(name, "Transparent")) {
        transparent_ = *value;
        Repaint();
      } else {
        (Is(name, "WordWrap") ? wordWrap_ : showAccelChar_) = *value;
        ApplyTextStyle();
      }
      return true;
    }
    if (staticText_ && Is(name, "BorderStyle")) {
      const auto value = ChoiceOf(kStaticBorders, text);
      if (!value) return false;
      border_ = *value;
      SetWindowLongPtrA(Window(), GWL_STYLE,
                        static_cast<LONG_PTR>((Style() & ~DWORD{WS_BORDER}) |
                                              (border_ == 1 ? DWORD{WS_BORDER} : 0)));
      ChangeExStyle(WS_EX_STATICEDGE, border_ == 2 ? WS_EX_STATICEDGE : 0);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  DWORD TextStyle() const {
    DWORD style = SS_LEFT;
    if (alignment_ == 1) {
      style = SS_RIGHT;
    } else if (alignment_ == 2) {
      style = SS_CENTER;
    } else if (!wordWrap_ && !staticText_) {
      style = SS_LEFTNOWORDWRAP;
    }
    if (!showAccelChar_) style |= SS_NOPREFIX;
    return style;
  }
  void ApplyTextStyle() { ChangeStyle(SS_TYPEMASK | SS_NOPREFIX, TextStyle()); }

  bool staticText_;
  int alignment_;
  bool wordWrap_;
  bool showAccelChar_;
  int border_;
  bool transparent_ = false;
};

// ---------------------------------------------------------------------------
// TEdit, TMaskEdit, TMemo, TRichEdit

enum class EditKind { kEdit, kMaskEdit, kMemo, kRichEdit };

constexpr const char* kScrollBars[] = {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"};
constexpr const char* kCharCases[] = {"ecNormal", "ecUpperCase", "ecLowerCase"};
constexpr LPARAM kNoTextLimit = 0x7FFFFFFE;

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
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = kind_ == EditKind::kRichEdit ? RICHEDIT_CLASSA : "EDIT";
    spec.style = WS_TABSTOP;
    if (Multiline()) {
      spec.style |= ES_MULTILINE | ES_AUTOVSCROLL | ScrollStyle(scrollBars_);
      if (FileBool("WantReturns", true)) spec.style |= ES_WANTRETURN;
      if (!wordWrap_) spec.style |= ES_AUTOHSCROLL;
      const int alignment = FileChoice("Alignment", kAlignments, 0);
      spec.style |= alignment == 1 ? ES_RIGHT : alignment == 2 ? ES_CENTER : ES_LEFT;
    } else {
      spec.style |= ES_AUTOHSCROLL;
    }
    spec.style |= CaseStyle(charCase_);
    if (FileChoice("BorderStyle", kBorderStyles, 1) == 1) spec.exStyle |= WS_EX_CLIENTEDGE;
    return spec;
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
      if (Is(name, "Lines")) return JoinItems(SplitItems(WindowText()));
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
    if (Multiline() && Is(name, "Lines")) return SetText(JoinItems(SplitItems(text)));
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

// ---------------------------------------------------------------------------
// TButton, TBitBtn, TSpeedButton

enum class ButtonKind { kButton, kBitBtn, kSpeedButton };

void SetButtonType(HWND button, DWORD type) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(button, GWL_STYLE));
  SendMessageA(button, BM_SETSTYLE, (style & 0xFFFFu & ~DWORD{BS_TYPEMASK}) | type, TRUE);
}

class Button final : public StandardControl {
 public:
  Button(const FormObject& object, ControlSite& site, ButtonKind kind)
      : StandardControl(object, Classes(kind), site), kind_(kind) {
    if (kind == ButtonKind::kSpeedButton) {
      Keep("Flat", Kind::kBool, "False");
      Keep("Down", Kind::kBool, "False");
      Keep("AllowAllUp", Kind::kBool, "False");
      Keep("GroupIndex", Kind::kInt, "0");
    } else {
      Keep("Cancel", Kind::kBool, "False");
      Keep("ModalResult", Kind::kText, "mrNone");
    }
    if (kind == ButtonKind::kBitBtn) {
      Keep("Kind", Kind::kChoice, "bkCustom",
           {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort",
            "bkRetry", "bkIgnore", "bkAll"});
    }
    default_ = kind != ButtonKind::kSpeedButton && FileBool("Default", false);
  }

  void OnCommand(WORD notification) override {
    if (notification == BN_CLICKED) Fire(ControlEvent::kClick);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "BUTTON";
    spec.style = default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if (kind_ != ButtonKind::kSpeedButton) spec.style |= WS_TABSTOP;
    if (FileBool("WordWrap", false)) spec.style |= BS_MULTILINE;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (kind_ != ButtonKind::kSpeedButton && Is(name, "Default")) return BoolText(default_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (kind_ != ButtonKind::kSpeedButton && Is(name, "Default")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      default_ = *value;
      SetButtonType(Window(), default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  static std::vector<std::string> Classes(ButtonKind kind) {
    switch (kind) {
      case ButtonKind::kBitBtn:
        return {"TBitBtn", "TButton"};
      case ButtonKind::kSpeedButton:
        return {"TSpeedButton"};
      case ButtonKind::kButton:
        break;
    }
    return {"TButton"};
  }

  ButtonKind kind_;
  bool default_ = false;
};

// ---------------------------------------------------------------------------
// TRzCheckBox

constexpr const char* kCheckStates[] = {"cbUnchecked", "cbChecked", "cbGrayed"};

class CheckBox final : public StandardControl {
 public:
  CheckBox(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TRzCheckBox"}, site),
        allowGrayed_(FileBool("AllowGrayed", false)) {}

  // The button has already moved on by itself; the order of states is
  // unchecked, (grayed when allowed,) checked, unchecked; grayed goes to
  // checked.
  void OnCommand(WORD notification) override {
    if (notification != BN_CLICKED) return;
    int next = CurrentState();
    if (IsThreeState()) {
      next = last_ == 0 ? (allowGrayed_ ? 2 : 1) : last_ == 1 ? 0 : 1;
    }
    Apply(next);
    Fire(ControlEvent::kClick);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "BUTTON";
    spec.style = (allowGrayed_ ? BS_AUTO3STATE : BS_AUTOCHECKBOX) | WS_TABSTOP;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Checked")) return BoolText(CurrentState() == 1);
    if (Is(name, "State")) return kCheckStates[CurrentState()];
    if (Is(name, "AllowGrayed")) return BoolText(allowGrayed_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Checked")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      ChangeState(*value ? 1 : 0);
      return true;
    }
    if (Is(name, "State")) {
      const auto value = ChoiceOf(kCheckStates, text);
      if (!value) return false;
      ChangeState(*value);
      return true;
    }
    if (Is(name, "AllowGrayed")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      allowGrayed_ = *value;
      Apply(CurrentState());
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  int CurrentState() const {
    const LRESULT state = Send(BM_GETCHECK);
    return state == BST_CHECKED ? 1 : state == BST_INDETERMINATE ? 2 : 0;
  }
  bool IsThreeState() const {
    const DWORD type = Style() & BS_TYPEMASK;
    return type == BS_AUTO3STATE || type == BS_3STATE;
  }
  void Apply(int state) {
    // A grayed box needs the three-state kind of button.
    SetButtonType(Window(), allowGrayed_ || state == 2 ? BS_AUTO3STATE : BS_AUTOCHECKBOX);
    Send(BM_SETCHECK, state == 1 ? BST_CHECKED : state == 2 ? BST_INDETERMINATE : BST_UNCHECKED);
    last_ = state;
  }
  void ChangeState(int state) {
    if (state == CurrentState()) return;
    Apply(state);
    Fire(ControlEvent::kClick);
  }

  bool allowGrayed_;
  int last_ = 0;
};

// ---------------------------------------------------------------------------
// TRzRadioButton

class RadioButton final : public StandardControl {
 public:
  RadioButton(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TRzRadioButton"}, site) {}

  void OnCommand(WORD notification) override {
    if (notification == BN_CLICKED) SetChecked(true);
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "BUTTON";
    spec.style = BS_RADIOBUTTON | WS_TABSTOP;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Checked")) return BoolText(Checked());
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Checked")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      SetChecked(*value);
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  bool Checked() const { return Send(BM_GETCHECK) == BST_CHECKED; }

  // Checking one clears the others of the same parent window, quietly: only
  // the one that became checked reports a click.
  void SetChecked(bool value) {
    if (value == Checked()) return;
    Send(BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED);
    if (!value) return;
    const HWND parent = GetParent(Window());
    for (HWND sibling = GetWindow(parent, GW_CHILD); sibling != nullptr;
         sibling = GetWindow(sibling, GW_HWNDNEXT)) {
      if (sibling == Window()) continue;
      if (auto* radio = dynamic_cast<RadioButton*>(FormControl::FromWindow(sibling))) {
        radio->Send(BM_SETCHECK, BST_UNCHECKED);
      }
    }
    Fire(ControlEvent::kClick);
  }
};

// ---------------------------------------------------------------------------
// Lists: TListBox, TCheckListBox, TComboBox. Items are sorted here rather
// than by the window, so that Sorted can change at any time and an item's
// check state moves with it.

struct ListMessages {
  UINT reset, add, count, textLength, text, setData, getData, getSelection, setSelection;
};
constexpr ListMessages kListBoxMessages{LB_RESETCONTENT, LB_ADDSTRING, LB_GETCOUNT,
                                        LB_GETTEXTLEN,   LB_GETTEXT,   LB_SETITEMDATA,
                                        LB_GETITEMDATA,  LB_GETCURSEL, LB_SETCURSEL};
constexpr ListMessages kComboMessages{CB_RESETCONTENT, CB_ADDSTRING, CB_GETCOUNT,
                                      CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_SETITEMDATA,
                                      CB_GETITEMDATA,  CB_GETCURSEL, CB_SETCURSEL};

struct ListItem {
  std::string text;
  LPARAM data = 0;
};

bool ItemLess(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) < 0;
}

class ItemsControl : public StandardControl {
 public:
  ItemsControl(const FormObject& object, std::vector<std::string> classes, ControlSite& site,
               const ListMessages& messages)
      : StandardControl(object, std::move(classes), site),
        messages_(messages),
        sorted_(FileBool("Sorted", false)) {}

 protected:
  // The file's items go in before its other properties: files write
  // ItemIndex and Text ahead of the items they refer to.
  void Created() override {
    std::vector<std::string> items = FileItems("Items.Strings");
    if (items.empty()) items = FileItems("Items");
    std::vector<ListItem> list;
    for (std::string& item : items) list.push_back({std::move(item), 0});
    WriteItems(std::move(list), -1);
  }

  int Count() const {
    const LRESULT count = Send(messages_.count);
    return count < 0 ? 0 : static_cast<int>(count);
  }
  int Selection() const {
    const LRESULT selection = Send(messages_.getSelection);
    return selection < 0 ? -1 : static_cast<int>(selection);
  }
  std::string ItemText(int index) const {
    const LRESULT length = Send(messages_.textLength, static_cast<WPARAM>(index));
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        Send(messages_.text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : std::min(static_cast<std::size_t>(copied), text.size()));
    return text;
  }
  LPARAM ItemData(int index) const {
    const LRESULT data = Send(messages_.getData, static_cast<WPARAM>(index));
    return data == LB_ERR ? 0 : data;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < Count(); ++i) texts.push_back(ItemText(i));
    return texts;
  }

  // Replaces the items, sorting them when Sorted; select is an index into
  // items before sorting.
  void WriteItems(std::vector<ListItem> items, int select) {
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (sorted_) {
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ItemLess(items[a].text, items[b].text);
      });
    }
    Send(WM_SETREDRAW, FALSE);
    Send(messages_.reset);
    int selected = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
      const ListItem& item = items[order[i]];
      const LRESULT index = Send(messages_.add, 0, reinterpret_cast<LPARAM>(item.text.c_str()));
      if (index >= 0) Send(messages_.setData, static_cast<WPARAM>(index), item.data);
      if (static_cast<int>(order[i]) == select) selected = static_cast<int>(i);
    }
    Send(messages_.setSelection, static_cast<WPARAM>(selected));
    Send(WM_SETREDRAW, TRUE);
    Repaint();
  }

  // Items left as they were keep their selection and check marks.
  bool SetItems(const std::string& text) {
    std::vector<std::string> lines = text.empty() ? std::vector<std::string>{} : SplitItems(text);
    if (sorted_) std::stable_sort(lines.begin(), lines.end(), ItemLess);
    if (lines == Texts()) return true;
    std::vector<ListItem> items;
    for (std::string& line : lines) items.push_back({std::move(line), 0});
    WriteItems(std::move(items), -1);
    return true;
  }

  bool SetSorted(const std::string& text) {
    const auto value = ParseBool(text);
    if (!value) return false;
    if (*value == sorted_) return true;
    sorted_ = *value;
    if (sorted_) {
      std::vector<ListItem> items;
      for (int i = 0; i < Count(); ++i) items.push_back({ItemText(i), ItemData(i)});
      const std::string editText = WindowText();
      WriteItems(std::move(items), Selection());
      AfterResort(editText);
    }
    return true;
  }
  virtual void AfterResort(const std::string& /*editText*/) {}

  bool SetSelection(const std::string& text) {
    const auto value = ParseInt(text);
    if (!value || *value < -1 || *value >= Count()) return false;
    Send(messages_.setSelection, static_cast<WPARAM>(*value));
    return true;
  }

  bool Sorted() const { return sorted_; }

 private:
  const ListMessages& messages_;
  bool sorted_;
};

constexpr int kCheckBoxSize = 13;
constexpr int kCheckArea = kCheckBoxSize + 4;

class ListBox final : public ItemsControl {
 public:
  ListBox(const FormObject& object, ControlSite& site, bool checks)
      : ItemsControl(object, {checks ? "TCheckListBox" : "TListBox"}, site, kListBoxMessages),
        checks_(checks) {
    Keep("MultiSelect", Kind::kBool, "False");
    Keep("ExtendedSelect", Kind::kBool, "True");
    Keep("Columns", Kind::kCount, "0");
    Keep("IntegralHeight", Kind::kBool, "False");
    Keep("BorderStyle", Kind::kChoice, FileChoiceText("BorderStyle", kBorderStyles, 1),
         {"bsNone", "bsSingle"});
    if (checks) {
      Keep("Flat", Kind::kBool, "True");
      Keep("AllowGrayed", Kind::kBool, "False");
    }
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_SELCHANGE) Fire(ControlEvent::kClick);
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    if (!checks_) return false;
    const HDC dc = item.hDC;
    const RECT row = item.rcItem;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    FillRect(dc, &row, ColorOver(dc, GetSysColorBrush(COLOR_WINDOW)));
    if (item.itemID == static_cast<UINT>(-1)) {
      if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &row);
      return true;
    }
    const int index = static_cast<int>(item.itemID);
    const bool enabled = IsWindowEnabled(Window()) != FALSE;
    const int top = row.top + (row.bottom - row.top - kCheckBoxSize) / 2;
    RECT box{row.left + 2, top, row.left + 2 + kCheckBoxSize, top + kCheckBoxSize};
    UINT state = DFCS_BUTTONCHECK;
    if (ItemData(index) != 0) state |= DFCS_CHECKED;
    if (!enabled) state |= DFCS_INACTIVE;
    if (StoredBool("Flat")) state |= DFCS_FLAT;
    DrawFrameControl(dc, &box, DFC_BUTTON, state);

    RECT textArea{row.left + kCheckArea, row.top, row.right, row.bottom};
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    if (selected) {
      FillRect(dc, &textArea, GetSysColorBrush(COLOR_HIGHLIGHT));
      SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else if (!enabled) {
      SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    const std::string text = ItemText(index);
    RECT textRect = textArea;
    textRect.left += 2;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    {
      SelectedObject font(dc, FontOrDefault(Font()));
      DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SetBkMode(dc, oldMode);
    if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &textArea);
    return true;
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "LISTBOX";
    spec.style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
    if (checks_) spec.style |= LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    if (FileChoice("BorderStyle", kBorderStyles, 1) == 1) spec.exStyle |= WS_EX_CLIENTEDGE;
    return spec;
  }

  bool WantsOwnMessages() const override { return checks_; }

  void Created() override {
    if (checks_) UpdateItemHeight();
    ItemsControl::Created();
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (!checks_) return false;
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK: {
        const int x = static_cast<short>(LOWORD(lParam));
        const LRESULT hit = Send(LB_ITEMFROMPOINT, 0, lParam);
        const int index = LOWORD(hit);
        if (x >= kCheckArea || HIWORD(hit) != 0 || index >= Count()) return false;
        result = DefSubclassProc(Window(), message, wParam, lParam);
        Toggle(index);
        return true;
      }
      case WM_KEYDOWN:
        if (wParam != VK_SPACE) return false;
        if (Selection() >= 0) Toggle(Selection());
        result = 0;
        return true;
      case WM_CHAR:
        // The space that toggled a box must not also jump to an item.
        if (wParam != ' ') return false;
        result = 0;
        return true;
      case WM_SETFONT:
        result = DefSubclassProc(Window(), message, wParam, lParam);
        UpdateItemHeight();
        return true;
      default:
        return false;
    }
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Items")) return JoinItems(Texts());
    if (Is(name, "ItemIndex")) return std::to_string(Selection());
    if (Is(name, "Sorted")) return BoolText(Sorted());
    if (checks_ && Is(name, "Checked")) {
      std::vector<std::string> states;
      for (int i = 0; i < Count(); ++i) states.push_back(BoolText(ItemData(i) != 0));
      return JoinItems(states);
    }
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Items")) return SetItems(text);
    if (Is(name, "ItemIndex")) return SetSelection(text);
    if (Is(name, "Sorted")) return SetSorted(text);
    if (checks_ && Is(name, "Checked")) return SetChecks(text);
    return StandardControl::SetOwn(name, text);
  }

 private:
  void UpdateItemHeight() {
    const HDC dc = GetDC(Window());
    TEXTMETRICA metrics{};
    {
      SelectedObject font(dc, FontOrDefault(Font()));
      GetTextMetricsA(dc, &metrics);
    }
    ReleaseDC(Window(), dc);
    const int height = std::max<int>(static_cast<int>(metrics.tmHeight) + 2, kCheckBoxSize + 2);
    Send(LB_SETITEMHEIGHT, 0, MAKELPARAM(height, 0));
  }

  void Toggle(int index) {
    Send(LB_SETITEMDATA, static_cast<WPARAM>(index), ItemData(index) != 0 ? 0 : 1);
    RECT rect{};
    if (Send(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) !=
        LB_ERR) {
      InvalidateRect(Window(), &rect, TRUE);
    }
    Fire(ControlEvent::kClickCheck);
  }

  // One True/False line per item.
  bool SetChecks(const std::string& text) {
    std::vector<std::string> lines = text.empty() ? std::vector<std::string>{} : SplitItems(text);
    if (lines.size() == static_cast<std::size_t>(Count()) + 1 && lines.back().empty()) {
      lines.pop_back();  // a closing line break
    }
    if (lines.size() != static_cast<std::size_t>(Count())) return false;
    std::vector<bool> states;
    for (const std::string& line : lines) {
      const auto value = ParseBool(line);
      if (!value) return false;
      states.push_back(*value);
    }
    bool changed = false;
    for (int i = 0; i < Count(); ++i) {
      const bool state = states[static_cast<std::size_t>(i)];
      if ((ItemData(i) != 0) == state) continue;
      Send(LB_SETITEMDATA, static_cast<WPARAM>(i), state ? 1 : 0);
      changed = true;
    }
    if (changed) {
      Repaint();
      Fire(ControlEvent::kClickCheck);
    }
    return true;
  }

  bool checks_;
};

constexpr const char* kComboStyles[] = {"csDropDown", "csSimple", "csDropDownList",
                                        "csOwnerDrawFixed", "csOwnerDrawVariable"};

class ComboBox final : public ItemsControl {
 public:
  ComboBox(const FormObject& object, ControlSite& site)
      : ItemsControl(object, {"TComboBox"}, site, kComboMessages),
        style_(FileChoice("Style", kComboStyles, 0)),
        dropDownCount_(std::max(1, FileInt("DropDownCount", 8))) {
    Keep("CharCase", Kind::kChoice, "ecNormal", {"ecNormal", "ecUpperCase", "ecLowerCase"});
    Keep("ItemHeight", Kind::kCount, "13");
  }

  void OnCommand(WORD notification) override {
    switch (notification) {
      case CBN_EDITCHANGE:
        if (!quiet_) Fire(ControlEvent::kChange);
        break;
      case CBN_SELCHANGE:
        // The edit part still shows the old text now; Text answers with the
        // newly selected item while the events run.
        selecting_ = true;
        Fire(ControlEvent::kChange);
        Fire(ControlEvent::kClick);
        selecting_ = false;
        break;
      case CBN_DROPDOWN:
        AdjustDropDown();
        break;
      default:
        break;
    }
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "COMBOBOX";
    spec.style = WS_VSCROLL | WS_TABSTOP;
    if (style_ == 1) {
      spec.style |= CBS_SIMPLE | CBS_AUTOHSCROLL;
    } else if (IsList()) {
      spec.style |= CBS_DROPDOWNLIST;
    } else {
      spec.style |= CBS_DROPDOWN | CBS_AUTOHSCROLL;
    }
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Items")) return JoinItems(Texts());
    if (Is(name, "ItemIndex")) return std::to_string(Selection());
    if (Is(name, "Sorted")) return BoolText(Sorted());
    if (Is(name, "Style")) return kComboStyles[style_];
    if (Is(name, "DropDownCount")) return std::to_string(dropDownCount_);
    if (Is(name, "MaxLength")) return std::to_string(maxLength_);
    if (Is(name, "Text")) return Text();
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Items")) return SetItems(text);
    if (Is(name, "ItemIndex")) return SetSelection(text);
    if (Is(name, "Sorted")) return SetSorted(text);
    if (Is(name, "Text")) return SetText(text);
    if (Is(name, "Style")) {
      // Made with the window; only the style it has is accepted.
      const auto value = ChoiceOf(kComboStyles, text);
      return value && *value == style_;
    }
    if (Is(name, "DropDownCount")) {
      const auto value = ParseInt(text);
      if (!value || *value < 1) return false;
      dropDownCount_ = *value;
      return true;
    }
    if (Is(name, "MaxLength")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      maxLength_ = *value;
      Send(CB_LIMITTEXT, static_cast<WPARAM>(maxLength_));
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  void AfterResort(const std::string& editText) override {
    if (!IsList() && WindowText() != editText) {
      quiet_ = true;
      SetWindowTextTo(editText);
      quiet_ = false;
    }
  }

 private:
  bool IsList() const { return style_ >= 2; }

  std::string Text() const {
    const int selection = Selection();
    if (IsList() || selecting_) return selection >= 0 ? ItemText(selection) : WindowText();
    return WindowText();
  }

  bool SetText(const std::string& text) {
    if (IsList()) {
      int index = -1;
      if (!text.empty()) {
        const LRESULT found = Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text.c_str()));
        if (found < 0) return false;
        index = static_cast<int>(found);
      }
      if (index == Selection()) return true;
      Send(CB_SETCURSEL, static_cast<WPARAM>(index));
      Fire(ControlEvent::kChange);
      return true;
    }
    if (text == WindowText()) return true;
    quiet_ = true;
    const LRESULT found =
        Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (found >= 0 && ItemText(static_cast<int>(found)) == text) {
      Send(CB_SETCURSEL, static_cast<WPARAM>(found));
    } else {
      Send(CB_SETCURSEL, static_cast<WPARAM>(-1));
      SetWindowTextTo(text);
    }
    quiet_ = false;
    Fire(ControlEvent::kChange);
    return true;
  }

  // A combo box's window height includes its list's; the file gives the
  // closed height, so the list is sized as it opens.
  void AdjustDropDown() {
    if (style_ == 1) return;
    const int rows = std::clamp(Count(), 1, dropDownCount_);
    const LRESULT itemHeight = Send(CB_GETITEMHEIGHT, 0);
    RECT rect{};
    GetWindowRect(Window(), &rect);
    const int height = static_cast<int>(rect.bottom - rect.top) +
                       rows * static_cast<int>(itemHeight > 0 ? itemHeight : 16) + 2;
    SetWindowPos(Window(), nullptr, 0, 0, rect.right - rect.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
  }

  int style_;
  int dropDownCount_;
  int maxLength_ = 0;
  bool quiet_ = false;
  bool selecting_ = false;
};

// ---------------------------------------------------------------------------
// TGroupBox

class GroupBox final : public StandardControl {
 public:
  GroupBox(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TGroupBox"}, site) {}

  bool IsContainer() const override { return true; }

  HBRUSH OnColor(HDC dc) override { return ColorOver(dc, ParentBrush(Window(), dc)); }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "BUTTON";
    spec.style = BS_GROUPBOX | WS_CLIPCHILDREN;
    spec.exStyle = WS_EX_CONTROLPARENT;
    return spec;
  }

  // A group box paints only its frame and caption; as a parent it fills its
  // inside, and gives the children that have no colour of their own its
  // background.
  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, LRESULT& result) override {
    if (message == WM_ERASEBKGND) {
      const auto dc = reinterpret_cast<HDC>(wParam);
      RECT client{};
      GetClientRect(Window(), &client);
      FillRect(dc, &client, OnColor(dc));
      result = 1;
      return true;
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
      result = reinterpret_cast<LRESULT>(OnColor(reinterpret_cast<HDC>(wParam)));
      return true;
    }
    return false;
  }
};

// ---------------------------------------------------------------------------
// Painted windows: panels, flash frames, images, shapes, bevels.

class PaintedControl : public StandardControl {
 public:
  using StandardControl::StandardControl;

 protected:
  virtual void Paint(HDC dc, const RECT& client) = 0;

  bool WantsOwnMessages() const override { return true; }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_ERASEBKGND:
        result = 1;
        return true;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(Window(), &paint);
        RECT client{};
        GetClientRect(Window(), &client);
        PaintBuffered(dc, client);
        EndPaint(Window(), &paint);
        result = 0;
        return true;
      }
      case WM_PRINTCLIENT: {
        RECT client{};
        GetClientRect(Window(), &client);
        Paint(reinterpret_cast<HDC>(wParam), client);
        result = 0;
        return true;
      }
      case WM_SETTEXT:
      case WM_SETFONT:
      case WM_ENABLE:
        result = DefSubclassProc(Window(), message, wParam, lParam);
        Repaint();
        return true;
      default:
        return false;
    }
  }

 private:
  void PaintBuffered(HDC dc, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;
    const HDC memory = CreateCompatibleDC(dc);
    const Gdi<HBITMAP> buffer(CreateCompatibleBitmap(dc, width, height));
    if (memory == nullptr || buffer == nullptr) {
      if (memory != nullptr) DeleteDC(memory);
      Paint(dc, client);
      return;
    }
    {
      SelectedObject selected(memory, buffer.get());
      Paint(memory, client);
      BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    }
    DeleteDC(memory);
  }
};

// TPanel and TFlashFrame (a panel without bevels that shows its caption
// where the movie would play).
constexpr const char* kBevels[] = {"bvNone", "bvLowered", "bvRaised", "bvSpace"};

class Panel final : public PaintedControl {
 public:
  Panel(const FormObject& object, ControlSite& site, bool flash)
      : PaintedControl(object, {flash ? "TFlashFrame" : "TPanel"}, site), flash_(flash) {
    if (flash) {
      bevelOuter_ = 0;
      Keep("AutoSize", Kind::kBool, "False");
      Keep("AutoRegisterFlash", Kind::kBool, "True");
      Keep("AutoScale", Kind::kBool, "True");
      Keep("Loop", Kind::kBool, "False");
    } else {
      Keep("ParentBackground", Kind::kBool, "True");
      Keep("FullRepaint", Kind::kBool, "True");
    }
  }

  bool IsContainer() const override { return !flash_; }

  HBRUSH OnColor(HDC dc) override {
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return ColorOver(dc, GetSysColorBrush(COLOR_BTNFACE));
  }

 protected:
  bool HasCaption() const override { return true; }

  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = kPanelClass;
    spec.style = WS_CLIPCHILDREN;
    if (!flash_) spec.exStyle = WS_EX_CONTROLPARENT;
    if (!flash_ && FileChoice("BorderStyle", kBorderStyles, 0) == 1) {
      spec.exStyle |= WS_EX_CLIENTEDGE;
    }
    return spec;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    // Children without a colour of their own show the panel's.
    if (message == WM_CTLCOLORSTATIC || message == WM_CTLCOLORBTN) {
      result = reinterpret_cast<LRESULT>(OnColor(reinterpret_cast<HDC>(wParam)));
      return true;
    }
    return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
  }

  void Paint(HDC dc, const RECT& client) override {
    const HBRUSH background = OnColor(dc);
    FillRect(dc, &client, background);
    RECT rect = client;
    DrawBevel(dc, rect, bevelOuter_);
    InflateRect(&rect, -borderWidth_, -borderWidth_);
    DrawBevel(dc, rect, bevelInner_);
    const std::string caption = WindowText();
    if (caption.empty()) return;
    if (IsWindowEnabled(Window()) == FALSE) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    SelectedObject font(dc, FontOrDefault(Font()));
    const UINT align = alignment_ == 0 ? DT_LEFT : alignment_ == 1 ? DT_RIGHT : DT_CENTER;
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS | align);
    SetBkMode(dc, oldMode);
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (!flash_) {
      if (Is(name, "BevelOuter")) return kBevels[bevelOuter_];
      if (Is(name, "BevelInner")) return kBevels[bevelInner_];
      if (Is(name, "BevelWidth")) return std::to_string(bevelWidth_);
      if (Is(name, "BorderWidth")) return std::to_string(borderWidth_);
      if (Is(name, "Alignment")) return kAlignments[alignment_];
      if (Is(name, "BorderStyle")) {
        const auto ex = GetWindowLongPtrA(Window(), GWL_EXSTYLE);
        return kBorderStyles[(ex & WS_EX_CLIENTEDGE) != 0 ? 1 : 0];
      }
    }
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (!flash_) {
      if (Is(name, "BevelOuter") || Is(name, "BevelInner")) {
        const auto value = ChoiceOf(kBevels, text);
        if (!value) return false;
        (Is(name, "BevelOuter") ? bevelOuter_ : bevelInner_) = *value;
        Repaint();
        return true;
      }
      if (Is(name, "BevelWidth") || Is(name, "BorderWidth")) {
        const auto value = ParseInt(text);
        const bool bevel = Is(name, "BevelWidth");
        if (!value || *value < (bevel ? 1 : 0) || *value > 1000) return false;
        (bevel ? bevelWidth_ : borderWidth_) = *value;
        Repaint();
        return true;
      }
      if (Is(name, "Alignment")) {
        const auto value = ChoiceOf(kAlignments, text);
        if (!value) return false;
        alignment_ = *value;
        Repaint();
        return true;
      }
      if (Is(name, "BorderStyle")) {
        const auto value = ChoiceOf(kBorderStyles, text);
        if (!value) return false;
        ChangeExStyle(WS_EX_CLIENTEDGE, *value == 1 ? WS_EX_CLIENTEDGE : 0);
        return true;
      }
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  void DrawBevel(HDC dc, RECT& rect, int bevel) const {
    if (bevel == 0) return;
    for (int i = 0; i < bevelWidth_; ++i) {
      if (bevel == 1) {
        DrawEdge(dc, &rect, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
      } else if (bevel == 2) {
        DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
      } else {
        InflateRect(&rect, -1, -1);
      }
    }
  }

  bool flash_;
  int bevelOuter_ = 2;  // bvRaised
  int bevelInner_ = 0;
  int bevelWidth_ = 1;
  int borderWidth_ = 0;
  int alignment_ = 2;  // taCenter
};

// TImage
class Image final : public PaintedControl {
 public:
  Image(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TImage"}, site) {
    Keep("IncrementalDisplay", Kind::kBool, "False");
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = kImageClass;
    return spec;
  }

  void Created() override {
    const FormProperty* data = FileProperty("Picture.Data");
    if (data != nullptr && data->kind == FormProperty::Kind::kBinary) {
      bitmap_.reset(BitmapFromPictureData(data->bytes));
    }
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (bool* flag = Flag(name)) return BoolText(*flag);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (bool* flag = Flag(name)) {
      const auto value = ParseBool(text);
      if (!value) return false;
      *flag = *value;
      if (autoSize_) FitToPicture();
      Repaint();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_LBUTTONDOWN:
        SetCapture(Window());
        pressed_ = true;
        result = 0;
        return true;
      case WM_LBUTTONUP: {
        const bool wasPressed = pressed_;
        pressed_ = false;
        if (GetCapture() == Window()) ReleaseCapture();
        RECT client{};
        GetClientRect(Window(), &client);
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wasPressed && PtInRect(&client, point)) Fire(ControlEvent::kClick);
        result = 0;
        return true;
      }
      case WM_CAPTURECHANGED:
        pressed_ = false;
        return false;
      default:
        return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
    }
  }

  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    if (bitmap_ == nullptr) return;
    BITMAP info{};
    if (GetObjectA(bitmap_.get(), sizeof info, &info) == 0) return;
    const int pictureWidth = info.bmWidth;
    const int pictureHeight = info.bmHeight;
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;
    int width = pictureWidth;
    int height = pictureHeight;
    if (stretch_ || (proportional_ && (width > clientWidth || height > clientHeight))) {
      if (proportional_ && width > 0 && height > 0) {
        // The largest size of the picture's shape that fits.
        const std::int64_t byWidth = std::int64_t{clientWidth} * height;
        const std::int64_t byHeight = std::int64_t{clientHeight} * width;
        if (byWidth <= byHeight) {
          height = static_cast<int>(byWidth / width);
          width = clientWidth;
        } else {
          width = static_cast<int>(byHeight / height);
          height = clientHeight;
        }
      } else {
        width = clientWidth;
        height = clientHeight;
      }
    }
    int left = 0;
    int top = 0;
    if (center_) {
      left = (clientWidth - width) / 2;
      top = (clientHeight - height) / 2;
    }
    const HDC source = CreateCompatibleDC(dc);
    if (source == nullptr) return;
    {
      SelectedObject selected(source, bitmap_.get());
      SetStretchBltMode(dc, COLORONCOLOR);
      if (transparent_) {
        // The bottom-left pixel's colour shows what is behind.
        const COLORREF key = GetPixel(source, 0, pictureHeight - 1);
        TransparentBlt(dc, left, top, width, height, source, 0, 0, pictureWidth, pictureHeight,
                       key);
      } else {
        StretchBlt(dc, left, top, width, height, source, 0, 0, pictureWidth, pictureHeight,
                   SRCCOPY);
      }
    }
    DeleteDC(source);
  }

 private:
  bool* Flag(std::string_view name) {
    if (Is(name, "Stretch")) return &stretch_;
    if (Is(name, "Center")) return &center_;
    if (Is(name, "Proportional")) return &proportional_;
    if (Is(name, "Transparent")) return &transparent_;
    if (Is(name, "AutoSize")) return &autoSize_;
    return nullptr;
  }

  void FitToPicture() {
    BITMAP info{};
    if (bitmap_ == nullptr || GetObjectA(bitmap_.get(), sizeof info, &info) == 0) return;
    RECT window{};
    RECT client{};
    GetWindowRect(Window(), &window);
    GetClientRect(Window(), &client);
    const int frameWidth = (window.right - window.left) - client.right;
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(Window(), nullptr, 0, 0, info.bmWidth + frameWidth, info.bmHeight + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  Gdi<HBITMAP> bitmap_;
  bool stretch_ = false;
  bool center_ = false;
  bool proportional_ = false;
  bool transparent_ = false;
  bool autoSize_ = false;
  bool pressed_ = false;
};

// TShape
constexpr const char* kShapes[] = {"stRectangle",   "stSquare",  "stRoundRect",
                                   "stRoundSquare", "stEllipse", "stCircle"};
constexpr const char* kBrushStyles[] = {"bsSolid",    "bsClear",     "bsHorizontal",
                                        "bsVertical", "bsFDiagonal", "bsBDiagonal",
                                        "bsCross",    "bsDiagCross"};
constexpr int kHatches[] = {
    0, 0, HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS, HS_DIAGCROSS};
constexpr const char* kPenStyles[] = {"psSolid",      "psDash",  "psDot",        "psDashDot",
                                      "psDashDotDot", "psClear", "psInsideFrame"};
constexpr int kPenKinds[] = {PS_SOLID,      PS_DASH, PS_DOT,        PS_DASHDOT,
                             PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME};

class Shape final : public PaintedControl {
 public:
  Shape(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TShape"}, site) {
    brushColor_.Set("clWhite");
    penColor_.Set("clBlack");
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = kShapeClass;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Shape")) return kShapes[shape_];
    if (Is(name, "Brush.Color")) return brushColor_.text;
    if (Is(name, "Brush.Style")) return kBrushStyles[brushStyle_];
    if (Is(name, "Pen.Color")) return penColor_.text;
    if (Is(name, "Pen.Width")) return std::to_string(penWidth_);
    if (Is(name, "Pen.Style")) return kPenStyles[penStyle_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    std::optional<bool> result;
    if (Is(name, "Shape")) {
      result = SetChoice(kShapes, text, shape_);
    } else if (Is(name, "Brush.Style")) {
      result = SetChoice(kBrushStyles, text, brushStyle_);
    } else if (Is(name, "Pen.Style")) {
      result = SetChoice(kPenStyles, text, penStyle_);
    } else if (Is(name, "Brush.Color")) {
      result = brushColor_.Set(text);
    } else if (Is(name, "Pen.Color")) {
      result = penColor_.Set(text);
    } else if (Is(name, "Pen.Width")) {
      const auto value = ParseInt(text);
      result = value && *value >= 0 && *value <= 1000;
      if (*result) penWidth_ = *value;
    } else {
      return StandardControl::SetOwn(name, text);
    }
    if (*result) Repaint();
    return result;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
        SetCapture(Window());
        result = 0;
        return true;
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
        if (GetCapture() == Window()) ReleaseCapture();
        Fire(ControlEvent::kMouseUp);
        result = 0;
        return true;
      default:
        return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
    }
  }

  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    const bool noPen = penStyle_ == 5 || penWidth_ == 0;
    const int pen = noPen ? 0 : penWidth_;
    // The outline is centred on the shape's edge; keep all of it inside.
    int left = pen / 2;
    int top = pen / 2;
    int right = client.right - (pen > 0 ? (pen - 1) / 2 : -1);
    int bottom = client.bottom - (pen > 0 ? (pen - 1) / 2 : -1);
    const int side = std::min(right - left, bottom - top);
    if (shape_ == 1 || shape_ == 3 || shape_ == 5) {
      left += (right - left - side) / 2;
      top += (bottom - top - side) / 2;
      right = left + side;
      bottom = top + side;
    }
    const COLORREF brushColor = brushColor_.value;
    Gdi<HBRUSH> brush;
    if (brushStyle_ == 0) {
      brush.reset(CreateSolidBrush(brushColor));
    } else if (brushStyle_ >= 2) {
      brush.reset(CreateHatchBrush(kHatches[brushStyle_], brushColor));
    }
    Gdi<HPEN> penObject;
    if (!noPen) {
      penObject.reset(CreatePen(kPenKinds[penStyle_], pen, penColor_.value));
    }
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    {
      SelectedObject selectedBrush(
          dc, brush != nullptr ? static_cast<HGDIOBJ>(brush.get()) : GetStockObject(NULL_BRUSH));
      SelectedObject selectedPen(dc, penObject != nullptr ? static_cast<HGDIOBJ>(penObject.get())
                                                          : GetStockObject(NULL_PEN));
      const int corner = side / 4;
      switch (shape_) {
        case 2:
        case 3:
          RoundRect(dc, left, top, right, bottom, corner, corner);
          break;
        case 4:
        case 5:
          Ellipse(dc, left, top, right, bottom);
          break;
        default:
          Rectangle(dc, left, top, right, bottom);
          break;
      }
    }
    SetBkMode(dc, oldMode);
  }

 private:
  bool SetChoice(Choices choices, const std::string& text, int& target) {
    const auto value = ChoiceOf(choices, text);
    if (!value) return false;
    target = *value;
    return true;
  }

  int shape_ = 0;
  ColorProperty brushColor_;
  int brushStyle_ = 0;
  ColorProperty penColor_;
  int penWidth_ = 1;
  int penStyle_ = 0;
};

// TBevel
constexpr const char* kBevelShapes[] = {"bsBox",      "bsFrame",     "bsTopLine", "bsBottomLine",
                                        "bsLeftLine", "bsRightLine", "bsSpacer"};
constexpr const char* kBevelStyles[] = {"bsLowered", "bsRaised"};

class Bevel final : public PaintedControl {
 public:
  Bevel(const FormObject& object, ControlSite& site) : PaintedControl(object, {"TBevel"}, site) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = kBevelClass;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Shape")) return kBevelShapes[shape_];
    if (Is(name, "Style")) return kBevelStyles[style_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    const bool shape = Is(name, "Shape");
    if (shape || Is(name, "Style")) {
      const auto value = ChoiceOf(shape ? Choices(kBevelShapes) : Choices(kBevelStyles), text);
      if (!value) return false;
      (shape ? shape_ : style_) = *value;
      Repaint();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

  // A bevel is decoration: the mouse goes to what lies under it.
  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_NCHITTEST) {
      result = HTTRANSPARENT;
      return true;
    }
    return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
  }

  // Two lines of one pixel: shadow then highlight when lowered, highlight
  // then shadow when raised.
  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, ParentBrush(Window(), dc));
    const bool lowered = style_ == 0;
    const UINT outer = lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER;
    const UINT inner = lowered ? BDR_RAISEDINNER : BDR_SUNKENOUTER;
    RECT rect = client;
    UINT sides = 0;
    switch (shape_) {
      case 0:  // a box: one line each side
        DrawEdge(dc, &rect, outer, BF_RECT);
        return;
      case 1:
        sides = BF_RECT;
        break;
      case 2:
        rect.bottom = std::min(rect.bottom, rect.top + 2);
        sides = BF_TOP;
        break;
      case 3:
        rect.top = std::max(rect.top, rect.bottom - 2);
        sides = BF_BOTTOM;
        break;
      case 4:
        rect.right = std::min(rect.right, rect.left + 2);
        sides = BF_LEFT;
        break;
      case 5:
        rect.left = std::max(rect.left, rect.right - 2);
        sides = BF_RIGHT;
        break;
      default:
        return;
    }
    DrawEdge(dc, &rect, outer, sides | BF_ADJUST);
    DrawEdge(dc, &rect, inner, sides);
  }

 private:
  int shape_ = 0;
  int style_ = 0;
};

// ---------------------------------------------------------------------------
// ThtmlLite: a read-only display of the page's text.

class HtmlLite final : public StandardControl {
 public:
  HtmlLite(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"ThtmlLite"}, site) {
    background_.Set("clWhite");
    fontColor_.Set("clWindowText");
  }

  HBRUSH OnColor(HDC dc) override {
    const COLORREF color = background_.value;
    if (brush_ == nullptr || brushColor_ != color) {
      brush_.reset(CreateSolidBrush(color));
      brushColor_ = color;
    }
    SetBkColor(dc, color);
    SetTextColor(dc, fontColor_.value);
    return ColorOver(dc, brush_.get());
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = "EDIT";
    spec.style = ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
    spec.exStyle = WS_EX_CLIENTEDGE;
    return spec;
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
  Gdi<HBRUSH> brush_;
  COLORREF brushColor_ = 0;
};

// ---------------------------------------------------------------------------
// TTrackBar, TProgressBar, TUpDown

constexpr const char* kTrackOrientations[] = {"trHorizontal", "trVertical"};
constexpr const char* kTickStyles[] = {"tsNone", "tsAuto", "tsManual"};
constexpr const char* kTickMarks[] = {"tmBottomRight", "tmTopLeft", "tmBoth"};

// Ranges: a minimum set above the maximum carries the maximum along, and
// the other way round, so that a file may give them in either order.
class TrackBar final : public StandardControl {
 public:
  TrackBar(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TTrackBar"}, site),
        orientation_(FileChoice("Orientation", kTrackOrientations, 0)) {
    Keep("TickStyle", Kind::kChoice, FileChoiceText("TickStyle", kTickStyles, 1),
         {"tsNone", "tsAuto", "tsManual"});
    Keep("TickMarks", Kind::kChoice, FileChoiceText("TickMarks", kTickMarks, 0),
         {"tmBottomRight", "tmTopLeft", "tmBoth"});
    Keep("SelStart", Kind::kInt, "0");
    Keep("SelEnd", Kind::kInt, "0");
  }

  void OnScroll() override {
    const int position = Position();
    if (position == lastPosition_) return;
    lastPosition_ = position;
    Fire(ControlEvent::kChange);
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = TRACKBAR_CLASSA;
    spec.style = WS_TABSTOP | (orientation_ == 1 ? TBS_VERT : TBS_HORZ);
    const int ticks = FileChoice("TickStyle", kTickStyles, 1);
    if (ticks == 0) spec.style |= TBS_NOTICKS;
    if (ticks == 1) spec.style |= TBS_AUTOTICKS;
    const int marks = FileChoice("TickMarks", kTickMarks, 0);
    spec.style |= marks == 1 ? TBS_TOP : marks == 2 ? TBS_BOTH : TBS_BOTTOM;
    return spec;
  }

  void Created() override {
    Send(TBM_SETRANGEMIN, FALSE, 0);
    Send(TBM_SETRANGEMAX, TRUE, 10);
    Send(TBM_SETPOS, TRUE, 0);
    Send(TBM_SETLINESIZE, 0, lineSize_);
    Send(TBM_SETPAGESIZE, 0, pageSize_);
    Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency_));
    lastPosition_ = Position();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Min());
    if (Is(name, "Max")) return std::to_string(Max());
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Frequency")) return std::to_string(frequency_);
    if (Is(name, "LineSize")) return std::to_string(lineSize_);
    if (Is(name, "PageSize")) return std::to_string(pageSize_);
    if (Is(name, "Orientation")) return kTrackOrientations[orientation_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Orientation")) {
      const auto value = ChoiceOf(kTrackOrientations, text);
      return value && *value == orientation_;
    }
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isFrequency = Is(name, "Frequency");
    const bool isLine = Is(name, "LineSize");
    const bool isPage = Is(name, "PageSize");
    if (!(isMin || isMax || isPosition || isFrequency || isLine || isPage)) {
      return StandardControl::SetOwn(name, text);
    }
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isMin || isMax) {
      const int low = isMin ? *value : std::min(Min(), *value);
      const int high = isMax ? *value : std::max(Max(), *value);
      Send(TBM_SETRANGEMIN, FALSE, low);
      Send(TBM_SETRANGEMAX, TRUE, high);
      const int position = std::clamp(Position(), low, high);
      if (position != Position()) Send(TBM_SETPOS, TRUE, position);
      lastPosition_ = Position();
      return true;
    }
    if (isPosition) {
      const int position = std::clamp(*value, Min(), Max());
      if (position == Position()) return true;
      Send(TBM_SETPOS, TRUE, position);
      lastPosition_ = Position();
      Fire(ControlEvent::kChange);
      return true;
    }
    if (*value < 1) return false;
    if (isFrequency) {
      frequency_ = *value;
      Send(TBM_SETTICFREQ, static_cast<WPARAM>(frequency_));
    } else if (isLine) {
      lineSize_ = *value;
      Send(TBM_SETLINESIZE, 0, lineSize_);
    } else {
      pageSize_ = *value;
      Send(TBM_SETPAGESIZE, 0, pageSize_);
    }
    return true;
  }

 private:
  int Min() const { return static_cast<int>(Send(TBM_GETRANGEMIN)); }
  int Max() const { return static_cast<int>(Send(TBM_GETRANGEMAX)); }
  int Position() const { return static_cast<int>(Send(TBM_GETPOS)); }

  int orientation_;
  int frequency_ = 1;
  int lineSize_ = 1;
  int pageSize_ = 2;
  int lastPosition_ = 0;
};

constexpr const char* kProgressOrientations[] = {"pbHorizontal", "pbVertical"};

class ProgressBar final : public StandardControl {
 public:
  ProgressBar(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TProgressBar"}, site) {}

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = PROGRESS_CLASSA;
    if (FileBool("Smooth", false)) spec.style |= PBS_SMOOTH;
    if (FileChoice("Orientation", kProgressOrientations, 0) == 1) spec.style |= PBS_VERTICAL;
    return spec;
  }

  void Created() override {
    Send(PBM_SETRANGE32, 0, 100);
    Send(PBM_SETSTEP, static_cast<WPARAM>(step_));
    Send(PBM_SETPOS, 0);
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Min());
    if (Is(name, "Max")) return std::to_string(Max());
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Step")) return std::to_string(step_);
    if (Is(name, "Smooth")) return BoolText((Style() & PBS_SMOOTH) != 0);
    if (Is(name, "Orientation")) return kProgressOrientations[(Style() & PBS_VERTICAL) != 0];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Smooth")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      ChangeStyle(PBS_SMOOTH, *value ? PBS_SMOOTH : 0);
      return true;
    }
    if (Is(name, "Orientation")) {
      const auto value = ChoiceOf(kProgressOrientations, text);
      if (!value) return false;
      ChangeStyle(PBS_VERTICAL, *value == 1 ? PBS_VERTICAL : 0);
      return true;
    }
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isStep = Is(name, "Step");
    if (!(isMin || isMax || isPosition || isStep)) return StandardControl::SetOwn(name, text);
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isStep) {
      step_ = *value;
      Send(PBM_SETSTEP, static_cast<WPARAM>(step_));
    } else if (isPosition) {
      Send(PBM_SETPOS, static_cast<WPARAM>(std::clamp(*value, Min(), Max())));
    } else {
      const int position = Position();
      const int low = isMin ? *value : std::min(Min(), *value);
      const int high = isMax ? *value : std::max(Max(), *value);
      Send(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
      Send(PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, low, high)));
    }
    return true;
  }

 private:
  int Min() const { return static_cast<int>(Send(PBM_GETRANGE, TRUE)); }
  int Max() const { return static_cast<int>(Send(PBM_GETRANGE, FALSE)); }
  int Position() const { return static_cast<int>(Send(PBM_GETPOS)); }

  int step_ = 10;
};

constexpr const char* kUpDownOrientations[] = {"udVertical", "udHorizontal"};

// An up-down's minimum may lie above its maximum: the arrows then count the
// other way.
class UpDown final : public StandardControl {
 public:
  UpDown(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TUpDown"}, site),
        orientation_(FileChoice("Orientation", kUpDownOrientations, 0)) {
    Keep("Associate", Kind::kText, "");
    Keep("Thousands", Kind::kBool, "True");
    Keep("AlignButton", Kind::kChoice, "udRight", {"udLeft", "udRight"});
  }

  void OnScroll() override {
    const int position = Position();
    if (position == lastPosition_) return;
    lastPosition_ = position;
    Fire(ControlEvent::kChange);
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = UPDOWN_CLASSA;
    if (FileBool("ArrowKeys", true)) spec.style |= UDS_ARROWKEYS;
    if (FileBool("Wrap", false)) spec.style |= UDS_WRAP;
    if (orientation_ == 1) spec.style |= UDS_HORZ;
    if (!FileBool("Thousands", true)) spec.style |= UDS_NOTHOUSANDS;
    return spec;
  }

  void Created() override {
    Send(UDM_SETRANGE32, 0, 100);
    Send(UDM_SETPOS32, 0, 0);
    SetIncrement(1);
    lastPosition_ = Position();
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "Min")) return std::to_string(Range().first);
    if (Is(name, "Max")) return std::to_string(Range().second);
    if (Is(name, "Position")) return std::to_string(Position());
    if (Is(name, "Increment")) return std::to_string(increment_);
    if (Is(name, "Wrap")) return BoolText((Style() & UDS_WRAP) != 0);
    if (Is(name, "ArrowKeys")) return BoolText((Style() & UDS_ARROWKEYS) != 0);
    if (Is(name, "Orientation")) return kUpDownOrientations[orientation_];
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "Orientation")) {
      const auto value = ChoiceOf(kUpDownOrientations, text);
      return value && *value == orientation_;
    }
    if (Is(name, "Wrap") || Is(name, "ArrowKeys")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      const DWORD bit = Is(name, "Wrap") ? UDS_WRAP : UDS_ARROWKEYS;
      ChangeStyle(bit, *value ? bit : 0);
      return true;
    }
    const bool isMin = Is(name, "Min");
    const bool isMax = Is(name, "Max");
    const bool isPosition = Is(name, "Position");
    const bool isIncrement = Is(name, "Increment");
    if (!(isMin || isMax || isPosition || isIncrement)) return StandardControl::SetOwn(name, text);
    const auto value = ParseInt(text);
    if (!value) return false;
    if (isIncrement) {
      if (*value < 1) return false;
      SetIncrement(*value);
      return true;
    }
    auto [low, high] = Range();
    if (isPosition) {
      const int position = std::clamp(*value, std::min(low, high), std::max(low, high));
      if (position == Position()) return true;
      Send(UDM_SETPOS32, 0, position);
      lastPosition_ = Position();
      Fire(ControlEvent::kChange);
      return true;
    }
    (isMin ? low : high) = *value;
    const int position = std::clamp(Position(), std::min(low, high), std::max(low, high));
    Send(UDM_SETRANGE32, static_cast<WPARAM>(low), high);
    Send(UDM_SETPOS32, 0, position);
    lastPosition_ = Position();
    return true;
  }

 private:
  std::pair<int, int> Range() const {
    INT low = 0;
    INT high = 0;
    Send(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    return {low, high};
  }
  int Position() const {
    BOOL error = FALSE;
    return static_cast<int>(Send(UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&error)));
  }
  void SetIncrement(int increment) {
    increment_ = increment;
    UDACCEL accel{0, static_cast<UINT>(increment)};
    Send(UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
  }

  int orientation_;
  int increment_ = 1;
  int lastPosition_ = 0;
};

// ---------------------------------------------------------------------------
// TAnimate: one of the shell's animations or an .avi file.

constexpr const char* kCommonAvis[] = {"aviNone",         "aviFindFolder",   "aviFindFile",
                                       "aviFindComputer", "aviCopyFiles",    "aviCopyFile",
                                       "aviRecycleFile",  "aviEmptyRecycle", "aviDeleteFile"};
constexpr int kCommonAviIds[] = {0, 150, 151, 152, 160, 161, 162, 163, 164};

class Animate final : public StandardControl {
 public:
  Animate(const FormObject& object, ControlSite& site)
      : StandardControl(object, {"TAnimate"}, site) {
    Keep("Center", Kind::kBool, "True");
    Keep("Transparent", Kind::kBool, "True");
    Keep("StartFrame", Kind::kCount, "1");
    Keep("StopFrame", Kind::kCount, "0");
  }

 protected:
  WindowSpec Spec() const override {
    WindowSpec spec;
    spec.windowClass = ANIMATE_CLASSA;
    spec.style = ACS_TRANSPARENT | ACS_CENTER;
    return spec;
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "CommonAVI")) return kCommonAvis[commonAvi_];
    if (Is(name, "FileName")) return fileName_;
    if (Is(name, "Active")) return BoolText(active_);
    if (Is(name, "Repetitions")) return std::to_string(repetitions_);
    return StandardControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "CommonAVI")) {
      const auto value = ChoiceOf(kCommonAvis, text);
      if (!value) return false;
      commonAvi_ = *value;
      if (commonAvi_ != 0) fileName_.clear();
      Open();
      return true;
    }
    if (Is(name, "FileName")) {
      fileName_ = text;
      if (!fileName_.empty()) commonAvi_ = 0;
      Open();
      return true;
    }
    if (Is(name, "Active")) {
      const auto value = ParseBool(text);
      if (!value) return false;
      active_ = *value;
      Play();
      return true;
    }
    if (Is(name, "Repetitions")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      repetitions_ = *value;
      Play();
      return true;
    }
    return StandardControl::SetOwn(name, text);
  }

 private:
  // What cannot be opened (a missing file, a shell without the animation)
  // simply shows nothing.
  void Open() {
    Send(ACM_STOP);
    opened_ = false;
    if (commonAvi_ != 0) {
      const HMODULE shell = Shell32();
      if (shell != nullptr) {
        opened_ = Send(ACM_OPENA, reinterpret_cast<WPARAM>(shell),
                       reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(
                           kCommonAviIds[static_cast<std::size_t>(commonAvi_)]))) != 0;
      }
    } else if (!fileName_.empty()) {
      opened_ = Send(ACM_OPENA, 0, reinterpret_cast<LPARAM>(fileName_.c_str())) != 0;
    }
    if (!opened_) Send(ACM_OPENA, 0, 0);  // closes whatever was open
    Play();
  }

  void Play() {
    if (!opened_) return;
    if (active_) {
      const auto times =
          repetitions_ == 0 ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(repetitions_);
      Send(ACM_PLAY, times, MAKELPARAM(0, 0xFFFF));
    } else {
      Send(ACM_STOP);
    }
  }

  int commonAvi_ = 0;
  std::string fileName_;
  bool active_ = false;
  int repetitions_ = 0;
  bool opened_ = false;
};

}  // namespace

std::unique_ptr<FormControl> CreateStandardControl(const FormObject& object, ControlSite& site) {
  PrepareWindowClasses();
  const std::string_view name = object.className;
  if (Is(name, "TLabel")) return std::make_unique<Label>(object, site, false);
  if (Is(name, "TStaticText")) return std::make_unique<Label>(object, site, true);
  if (Is(name, "TEdit")) return std::make_unique<Edit>(object, site, EditKind::kEdit);
  if (Is(name, "TMaskEdit")) return std::make_unique<Edit>(object, site, EditKind::kMaskEdit);
  if (Is(name, "TMemo")) return std::make_unique<Edit>(object, site, EditKind::kMemo);
  if (Is(name, "TRichEdit")) {
    LoadRichEdit();
    return std::make_unique<Edit>(object, site, EditKind::kRichEdit);
  }
  if (Is(name, "TButton")) return std::make_unique<Button>(object, site, ButtonKind::kButton);
  if (Is(name, "TBitBtn")) return std::make_unique<Button>(object, site, ButtonKind::kBitBtn);
  if (Is(name, "TSpeedButton")) {
    return std::make_unique<Button>(object, site, ButtonKind::kSpeedButton);
  }
  if (Is(name, "TRzCheckBox")) return std::make_unique<CheckBox>(object, site);
  if (Is(name, "TRzRadioButton")) return std::make_unique<RadioButton>(object, site);
  if (Is(name, "TListBox")) return std::make_unique<ListBox>(object, site, false);
  if (Is(name, "TCheckListBox")) return std::make_unique<ListBox>(object, site, true);
  if (Is(name, "TComboBox")) return std::make_unique<ComboBox>(object, site);
  if (Is(name, "TGroupBox")) return std::make_unique<GroupBox>(object, site);
  if (Is(name, "TPanel")) return std::make_unique<Panel>(object, site, false);
  if (Is(name, "TFlashFrame")) return std::make_unique<Panel>(object, site, true);
  if (Is(name, "ThtmlLite")) return std::make_unique<HtmlLite>(object, site);
  if (Is(name, "TImage")) return std::make_unique<Image>(object, site);
  if (Is(name, "TShape")) return std::make_unique<Shape>(object, site);
  if (Is(name, "TBevel")) return std::make_unique<Bevel>(object, site);
  if (Is(name, "TTrackBar")) return std::make_unique<TrackBar>(object, site);
  if (Is(name, "TProgressBar")) return std::make_unique<ProgressBar>(object, site);
  if (Is(name, "TUpDown")) return std::make_unique<UpDown>(object, site);
  if (Is(name, "TAnimate")) return std::make_unique<Animate>(object, site);
  return nullptr;
}

}  // namespace tavrel
