#include "engine/win32/media_retry_dialogs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/win32/handle_owner.h"
#include "common/win32/pixel_bitmap.h"
#include "engine/win32/retry_pictures.h"

namespace tavrel {

namespace {

namespace ids = retry_control;

// The message table's entries these dialogs show.
namespace entry {
constexpr int kRetryDownloadCaption = 25;
constexpr int kProxyQuestion = 26;
constexpr int kProxyGroup = 27;
constexpr int kProxyServer = 28;
constexpr int kProxyPort = 29;
constexpr int kProxyNote = 30;
constexpr int kYes = 31;
constexpr int kNo = 32;
constexpr int kRetryExtractionCaption = 33;
constexpr int kExtractionQuestion = 34;
constexpr int kChooseDownload = 35;
constexpr int kChooseExtract = 36;
constexpr int kExtractionNote = 37;
constexpr int kOk = 38;
constexpr int kCancel = 39;
constexpr int kProxyUser = 41;
constexpr int kProxyPassword = 42;
constexpr int kDownloadQuestion = 49;
constexpr int kDownloadChoiceLabel = 50;
constexpr int kChooseResume = 51;
constexpr int kChooseNewCopy = 52;
constexpr int kDownloadNote = 53;
}  // namespace entry

struct Choice {
  int id = 0;
  int text = 0;
};

// What makes one of the three dialogs.
struct DialogKind {
  int caption;
  RetryPicture picture;
  int question;
  int choiceLabel;                // 0: none
  std::array<Choice, 2> choices;  // ids 0: none; the first is chosen at start
  bool proxyFields;
  int note;
  Choice accept;  // the default button
  Choice refuse;  // Esc presses it
  bool closingAccepts;
};

constexpr DialogKind kDownloadRetry{
    entry::kRetryDownloadCaption,
    RetryPicture::kDownload,
    entry::kDownloadQuestion,
    entry::kDownloadChoiceLabel,
    {{{ids::kResume, entry::kChooseResume}, {ids::kNewCopy, entry::kChooseNewCopy}}},
    false,
    entry::kDownloadNote,
    {IDOK, entry::kOk},
    {IDCANCEL, entry::kCancel},
    false};

constexpr DialogKind kProxyRetry{entry::kRetryDownloadCaption,
                                 RetryPicture::kDownload,
                                 entry::kProxyQuestion,
                                 0,
                                 {},
                                 true,
                                 entry::kProxyNote,
                                 {IDYES, entry::kYes},
                                 {IDNO, entry::kNo},
                                 true};

constexpr DialogKind kExtractRetry{
    entry::kRetryExtractionCaption,
    RetryPicture::kExtraction,
    entry::kExtractionQuestion,
    0,
    {{{ids::kDownload, entry::kChooseDownload}, {ids::kExtract, entry::kChooseExtract}}},
    false,
    entry::kExtractionNote,
    {IDOK, entry::kOk},
    {IDCANCEL, entry::kCancel},
    false};

struct ProxyField {
  int labelId;
  int label;
  int editId;
  DWORD style;
  std::string ProxySettings::*value;
};

// In tab order; the layout puts them two by two, server and port first.
constexpr std::array<ProxyField, 4> kProxyFields{{
    {ids::kServerLabel, entry::kProxyServer, ids::kServer, 0, &ProxySettings::server},
    {ids::kPortLabel, entry::kProxyPort, ids::kPort, ES_NUMBER, &ProxySettings::port},
    {ids::kUserLabel, entry::kProxyUser, ids::kUser, 0, &ProxySettings::user},
    {ids::kPasswordLabel, entry::kProxyPassword, ids::kPassword, ES_PASSWORD,
     &ProxySettings::password},
}};

// Port numbers have at most five digits.
constexpr WPARAM kPortDigits = 5;

// ---- The dialog template, made in memory ----

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

constexpr DWORD kDialogStyle =
    DS_MODALFRAME | DS_SETFONT | DS_SETFOREGROUND | DS_3DLOOK | WS_POPUP | WS_CAPTION | WS_SYSMENU;
// Static text that wraps at words, and inside a word too long for a line.
constexpr DWORD kWrappedText = SS_LEFT | SS_EDITCONTROL | WS_GROUP;

// A DLGTEMPLATE with its items. Every position is left at zero and every
// text empty: the dialog places its controls and sets their texts when it
// opens.
class DialogTemplate {
 public:
  DialogTemplate() {
    Put32(kDialogStyle);
    Put32(0);  // extended style
    count_ = words_.size();
    for (int i = 0; i < 5; ++i) Put16(0);  // item count, x, y, cx, cy
    Put16(0);                              // no menu
    Put16(0);                              // the system's dialog class
    Put16(0);                              // no title
    Put16(8);                              // the font's size in points and its name
    for (const wchar_t c : std::wstring_view(L"MS Shell Dlg")) Put16(static_cast<WORD>(c));
    Put16(0);
  }

  void Add(WORD kind, int id, DWORD style, DWORD extendedStyle = 0) {
    if (words_.size() % 2 != 0) Put16(0);  // items start on a DWORD
    Put32(style | WS_CHILD | WS_VISIBLE);
    Put32(extendedStyle);
    for (int i = 0; i < 4; ++i) Put16(0);  // x, y, cx, cy
    Put16(static_cast<WORD>(id));
    Put16(0xFFFF);
    Put16(kind);
    Put16(0);  // no text
    Put16(0);  // no creation data
    ++words_[count_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Put16(WORD value) { words_.push_back(value); }
  void Put32(DWORD value) {
    Put16(LOWORD(value));
    Put16(HIWORD(value));
  }

  std::vector<WORD> words_;
  std::size_t count_ = 0;
};

DialogTemplate MakeTemplate(const DialogKind& kind) {
  DialogTemplate made;
  made.Add(kStaticClass, ids::kPicture, SS_BITMAP | WS_GROUP);
  made.Add(kStaticClass, ids::kQuestion, kWrappedText | SS_NOPREFIX);
  if (kind.choiceLabel != 0) made.Add(kStaticClass, ids::kChoiceLabel, kWrappedText);
  if (kind.choices[0].id != 0) {
    made.Add(kButtonClass, kind.choices[0].id,
             BS_AUTORADIOBUTTON | BS_MULTILINE | WS_GROUP | WS_TABSTOP);
    made.Add(kButtonClass, kind.choices[1].id, BS_AUTORADIOBUTTON | BS_MULTILINE);
  }
  if (kind.proxyFields) {
    made.Add(kButtonClass, ids::kProxyGroup, BS_GROUPBOX | WS_GROUP);
    for (const ProxyField& field : kProxyFields) {
      made.Add(kStaticClass, field.labelId, kWrappedText);
      made.Add(kEditClass, field.editId, ES_AUTOHSCROLL | WS_GROUP | WS_TABSTOP | field.style,
               WS_EX_CLIENTEDGE);
    }
  }
  made.Add(kStaticClass, ids::kNoteIcon, SS_ICON | WS_GROUP);
  made.Add(kStaticClass, ids::kNote, kWrappedText | SS_NOPREFIX);
  made.Add(kButtonClass, kind.accept.id, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP);
  made.Add(kButtonClass, kind.refuse.id, BS_PUSHBUTTON | WS_TABSTOP);
  return made;
}

// ---- Pictures ----

constexpr int kPictureSize = 24;          // pixels at 96 dots per inch
constexpr WORD kInformationIcon = 32516;  // IDI_INFORMATION

common::GdiObject<HBITMAP> MakePicture(RetryPicture picture, int size) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const std::vector<PictureColor> pixels =
      DrawRetryPicture(picture, size, {GetRValue(face), GetGValue(face), GetBValue(face)});
  if (pixels.empty()) return common::GdiObject<HBITMAP>();
  return common::MakePixelBitmap(size, size, [&](int x, int y) {
    const PictureColor& pixel = pixels[static_cast<std::size_t>(y * size + x)];
    return RGB(pixel.red, pixel.green, pixel.blue);
  });
}

// ---- Layout ----

// Sizes in dialog units, after the usual spacing of Windows dialogs.
constexpr int kClientWidth = 262;
constexpr int kMargin = 7;
constexpr int kPictureGap = 6;  // between the picture column and the texts
constexpr int kSectionGap = 7;  // between unrelated parts
constexpr int kLabelGap = 3;    // between a label and what it names
constexpr int kChoiceGap = 2;   // between radio buttons
constexpr int kChoiceHeight = 10;
// Room after a radio button's circle, a little more than the system leaves.
constexpr int kChoiceTextGap = 4;
constexpr int kEditHeight = 12;
constexpr int kFieldLabelGap = 1;  // between a field's label and the field
constexpr int kFieldGap = 4;       // between rows of fields
constexpr int kColumnGap = 6;      // between columns of fields
constexpr int kGroupPadding = 6;   // inside the group box
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;
constexpr int kButtonPadding = 8;  // each side of a long button text
constexpr int kButtonGap = 4;
constexpr int kNoteGap = 10;  // above the buttons

// Measures texts in the dialog's font and converts dialog units to pixels.
class Metrics {
 public:
  explicit Metrics(HWND dialog) : dialog_(dialog), dc_(GetDC(dialog)) {
    const auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    if (font != nullptr) old_ = SelectObject(dc_, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc_, &metrics);
    lineHeight_ = std::max(1, static_cast<int>(metrics.tmHeight));
    dpi_ = GetDeviceCaps(dc_, LOGPIXELSY);
  }
  ~Metrics() {
    if (old_ != nullptr) SelectObject(dc_, old_);
    ReleaseDC(dialog_, dc_);
  }
  Metrics(const Metrics&) = delete;
  Metrics& operator=(const Metrics&) = delete;

  int X(int units) const { return Map(units, 0).right; }
  int Y(int units) const { return Map(0, units).bottom; }
  int LineHeight() const { return lineHeight_; }
  int Pixels(int atNormalDpi) const { return MulDiv(atNormalDpi, dpi_ > 0 ? dpi_ : 96, 96); }

  // Height of the text wrapped to the width, at least one line.
  int TextHeight(const std::string& text, int width, bool prefix) const {
    RECT rect{0, 0, std::max(width, 1), 0};
    const UINT flags = DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS |
                       (prefix ? 0u : static_cast<UINT>(DT_NOPREFIX));
    DrawTextA(dc_, text.c_str(), static_cast<int>(text.size()), &rect, flags);
    return std::max(static_cast<int>(rect.bottom), lineHeight_);
  }

  // Width of the text on one line, mnemonic marks left out.
  int TextWidth(const std::string& text) const {
    RECT rect{};
    DrawTextA(dc_, text.c_str(), static_cast<int>(text.size()), &rect, DT_CALCRECT | DT_SINGLELINE);
    return rect.right;
  }

 private:
  RECT Map(int x, int y) const {
    RECT rect{0, 0, x, y};
    MapDialogRect(dialog_, &rect);
    return rect;
  }

  HWND dialog_;
  HDC dc_;
  HGDIOBJ old_ = nullptr;
  int lineHeight_ = 13;
  int dpi_ = 96;
};

void Place(HWND dialog, int id, int x, int y, int width, int height) {
  SetWindowPos(GetDlgItem(dialog, id), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The work area of the monitor that holds most of the rectangle. The
// functions that tell are looked up at run time: the first systems of the
// Windows 95 family lack them, and have one monitor.
RECT WorkAreaAround(const RECT& rect) {
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  using FromRect = HMONITOR(WINAPI*)(LPCRECT, DWORD);
  using Info = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
  const HMODULE user = GetModuleHandleA("user32.dll");
  if (user == nullptr) return area;
  const auto fromRect =
      reinterpret_cast<FromRect>(reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromRect")));
  const auto info =
      reinterpret_cast<Info>(reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
  if (fromRect == nullptr || info == nullptr) return area;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (info(fromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) area = monitor.rcWork;
  return area;
}

// The widest client area whose window fits on the screen.
int WidestClient(HWND dialog) {
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE)));
  return (area.right - area.left) - (frame.right - frame.left);
}

// Centred on the owner while it is on screen, else on the screen; kept
// within the work area either way.
void Centre(HWND dialog) {
  RECT frame{};
  GetWindowRect(dialog, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT anchor{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &anchor, 0);
  const HWND owner = GetWindow(dialog, GW_OWNER);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &anchor);
  }
  const RECT area = WorkAreaAround(anchor);
  int left = anchor.left + ((anchor.right - anchor.left) - width) / 2;
  int top = anchor.top + ((anchor.bottom - anchor.top) - height) / 2;
  left =
      std::max(static_cast<int>(area.left), std::min(left, static_cast<int>(area.right) - width));
  top = std::max(static_cast<int>(area.top), std::min(top, static_cast<int>(area.bottom) - height));
  SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- The dialog while it is up ----

class RetryDialog {
 public:
  RetryDialog(const DialogKind& kind, const MessageTable& texts) : kind_(kind), texts_(texts) {}

  // Shows the dialog and waits: the id of the button that ended it, -1 when
  // it could not be shown.
  INT_PTR Run(HWND owner) {
    if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
    // A child window cannot own a dialog: its top-level window does.
    while (owner != nullptr && (GetWindowLongA(owner, GWL_STYLE) & WS_CHILD) != 0) {
      owner = GetParent(owner);
    }
    const DialogTemplate layout = MakeTemplate(kind_);
    return DialogBoxIndirectParamA(GetModuleHandleA(nullptr), layout.Get(), owner, &Procedure,
                                   reinterpret_cast<LPARAM>(this));
  }

  bool firstChoice = true;
  ProxySettings proxy;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      reinterpret_cast<RetryDialog*>(lParam)->Open(window);
      return TRUE;  // the first tab stop takes the focus
    }
    auto* dialog = reinterpret_cast<RetryDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    return dialog->Handle(window, message, wParam) ? TRUE : FALSE;
  }

  bool Handle(HWND window, UINT message, WPARAM wParam) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
      const int id = LOWORD(wParam);
      if (id == kind_.accept.id) {
        End(window, true);
        return true;
      }
      // Esc sends IDCANCEL, whatever the buttons are.
      if (id == kind_.refuse.id || id == IDCANCEL) {
        End(window, false);
        return true;
      }
      return false;
    }
    if (message == WM_CLOSE) {
      End(window, kind_.closingAccepts);
      return true;
    }
    return false;
  }

  void End(HWND window, bool accepted) {
    if (accepted) Take(window);
    EndDialog(window, accepted ? kind_.accept.id : kind_.refuse.id);
  }

  // What the user chose, read while the controls are still there.
  void Take(HWND window) {
    if (kind_.choices[0].id != 0) {
      firstChoice = IsDlgButtonChecked(window, kind_.choices[0].id) == BST_CHECKED;
    }
    if (kind_.proxyFields) {
      for (const ProxyField& field : kProxyFields)
        proxy.*field.value = TextOf(window, field.editId);
    }
  }

  static std::string TextOf(HWND window, int id) {
    const HWND control = GetDlgItem(window, id);
    std::string text(static_cast<std::size_t>(std::max(0, GetWindowTextLengthA(control))) + 1,
                     '\0');
    text.resize(static_cast<std::size_t>(
        std::max(0, GetWindowTextA(control, text.data(), static_cast<int>(text.size())))));
    return text;
  }

  void SetText(HWND window, int id, int entry) {
    SetDlgItemTextA(window, id, texts_.Get(entry).c_str());
  }

  void Open(HWND window) {
    SetWindowTextA(window, texts_.Get(kind_.caption).c_str());
    SetText(window, ids::kQuestion, kind_.question);
    if (kind_.choiceLabel != 0) SetText(window, ids::kChoiceLabel, kind_.choiceLabel);
    if (kind_.choices[0].id != 0) {
      for (const Choice& choice : kind_.choices) SetText(window, choice.id, choice.text);
      CheckRadioButton(window, kind_.choices[0].id, kind_.choices[1].id, kind_.choices[0].id);
    }
    if (kind_.proxyFields) {
      SetText(window, ids::kProxyGroup, entry::kProxyGroup);
      for (const ProxyField& field : kProxyFields) {
        SetText(window, field.labelId, field.label);
        SetDlgItemTextA(window, field.editId, (proxy.*field.value).c_str());
      }
      SendDlgItemMessageA(window, ids::kPort, EM_LIMITTEXT, kPortDigits, 0);
    }
    SetText(window, ids::kNote, kind_.note);
    SetText(window, kind_.accept.id, kind_.accept.text);
    SetText(window, kind_.refuse.id, kind_.refuse.text);
    SendMessageA(window, DM_SETDEFID, static_cast<WPARAM>(kind_.accept.id), 0);

    const Metrics metrics(window);
    const int pictureSize = metrics.Pixels(kPictureSize);
    picture_ = MakePicture(kind_.picture, pictureSize);
    SendDlgItemMessageA(window, ids::kPicture, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(picture_.Get()));
    const int iconSize = GetSystemMetrics(SM_CXSMICON);
    noteIcon_.Reset(static_cast<HICON>(LoadImageA(nullptr, MAKEINTRESOURCEA(kInformationIcon),
                                                  IMAGE_ICON, iconSize, iconSize, 0)));
    const HICON icon =
        noteIcon_ ? noteIcon_.Get() : LoadIconA(nullptr, MAKEINTRESOURCEA(kInformationIcon));
    SendDlgItemMessageA(window, ids::kNoteIcon, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);

    Layout(window, metrics, pictureSize, iconSize);
    Centre(window);
  }

  // Stacks the parts from the top: the picture and the question, the
  // choices or the proxy fields, the note, the buttons; each text as tall as
  // it wraps, then sizes the window to hold them.
  void Layout(HWND window, const Metrics& m, int pictureSize, int iconSize) {
    const int left = m.X(kMargin);
    const int column = std::max(pictureSize, iconSize);
    const int textLeft = left + column + m.X(kPictureGap);
    // Texts that cannot wrap, the buttons' and the group box's, widen the
    // dialog as far as the screen allows.
    int buttonWidth = std::max(
        {m.X(kButtonWidth), m.TextWidth(texts_.Get(kind_.accept.text)) + 2 * m.X(kButtonPadding),
         m.TextWidth(texts_.Get(kind_.refuse.text)) + 2 * m.X(kButtonPadding)});
    int clientWidth = std::max(m.X(kClientWidth), 2 * (left + buttonWidth) + m.X(kButtonGap));
    if (kind_.proxyFields) {
      clientWidth = std::max(clientWidth, textLeft + 2 * m.X(kGroupPadding) +
                                              m.TextWidth(texts_.Get(entry::kProxyGroup)) + left);
    }
    clientWidth = std::min(clientWidth, WidestClient(window));
    buttonWidth = std::min(buttonWidth, (clientWidth - 2 * left - m.X(kButtonGap)) / 2);
    const int textWidth = clientWidth - textLeft - m.X(kMargin);
    int y = m.Y(kMargin);

    Place(window, ids::kPicture, left + (column - pictureSize) / 2, y, pictureSize, pictureSize);
    const int question = m.TextHeight(texts_.Get(kind_.question), textWidth, false);
    // A short question sits level with the picture's middle.
    Place(window, ids::kQuestion, textLeft, y + std::max(0, (pictureSize - question) / 2),
          textWidth, question);
    y += std::max(pictureSize, question) + m.Y(kSectionGap);

    if (kind_.choiceLabel != 0) {
      const int label = m.TextHeight(texts_.Get(kind_.choiceLabel), textWidth, true);
      Place(window, ids::kChoiceLabel, textLeft, y, textWidth, label);
      y += label + m.Y(kLabelGap);
    }
    if (kind_.choices[0].id != 0) {
      // The radio button's circle and the space after it come before the text.
      const int textRoom = textWidth - GetSystemMetrics(SM_CXMENUCHECK) - m.X(kChoiceTextGap);
      for (const Choice& choice : kind_.choices) {
        // A pixel above and below the text for the focus rectangle.
        const int height =
            std::max(m.Y(kChoiceHeight), m.TextHeight(texts_.Get(choice.text), textRoom, true) + 2);
        Place(window, choice.id, textLeft, y, textWidth, height);
        y += height + m.Y(kChoiceGap);
      }
      y += m.Y(kSectionGap) - m.Y(kChoiceGap);
    }
    if (kind_.proxyFields) y = LayoutProxyFields(window, m, textLeft, textWidth, y);

    const int note = m.TextHeight(texts_.Get(kind_.note), textWidth, false);
    // The icon level with the note's first line.
    Place(window, ids::kNoteIcon, left + (column - iconSize) / 2,
          y + (m.LineHeight() - iconSize) / 2, iconSize, iconSize);
    Place(window, ids::kNote, textLeft, y, textWidth, note);
    y += std::max(note, iconSize) + m.Y(kNoteGap);

    const int buttonHeight = m.Y(kButtonHeight);
    const int refuseLeft = clientWidth - m.X(kMargin) - buttonWidth;
    Place(window, kind_.refuse.id, refuseLeft, y, buttonWidth, buttonHeight);
    Place(window, kind_.accept.id, refuseLeft - m.X(kButtonGap) - buttonWidth, y, buttonWidth,
          buttonHeight);
    y += buttonHeight + m.Y(kMargin);

    RECT frame{0, 0, clientWidth, y};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // The group box with the fields two by two, each label above its field:
  // server and port, then user and password. Returns where the next part
  // starts.
  int LayoutProxyFields(HWND window, const Metrics& m, int left, int width, int top) {
    const int innerLeft = left + m.X(kGroupPadding);
    const int innerWidth = width - 2 * m.X(kGroupPadding);
    const int gap = m.X(kColumnGap);
    const int firstWidth = (innerWidth - gap) * 3 / 5;
    const int secondWidth = innerWidth - gap - firstWidth;
    const int secondLeft = innerLeft + firstWidth + gap;
    // Below the group box's caption.
    int y = top + m.LineHeight() + m.Y(kLabelGap);
    for (std::size_t row = 0; row < kProxyFields.size(); row += 2) {
      const ProxyField& first = kProxyFields[row];
      const ProxyField& second = kProxyFields[row + 1];
      const int firstLabel = m.TextHeight(texts_.Get(first.label), firstWidth, true);
      const int secondLabel = m.TextHeight(texts_.Get(second.label), secondWidth, true);
      const int labels = std::max(firstLabel, secondLabel);
      // Labels of unequal height end level, just above their fields.
      Place(window, first.labelId, innerLeft, y + labels - firstLabel, firstWidth, firstLabel);
      Place(window, second.labelId, secondLeft, y + labels - secondLabel, secondWidth, secondLabel);
      y += labels + m.Y(kFieldLabelGap);
      Place(window, first.editId, innerLeft, y, firstWidth, m.Y(kEditHeight));
      Place(window, second.editId, secondLeft, y, secondWidth, m.Y(kEditHeight));
      y += m.Y(kEditHeight) + m.Y(kFieldGap);
    }
    y += m.Y(kGroupPadding) - m.Y(kFieldGap);
    Place(window, ids::kProxyGroup, left, top, width, y - top);
    return y + m.Y(kSectionGap);
  }

  const DialogKind& kind_;
  const MessageTable& texts_;
  common::GdiObject<HBITMAP> picture_;
  common::IconHandle noteIcon_;
};

}  // namespace

bool AskDownloadRetryDialog(HWND owner, const MessageTable& texts, bool& resume) {
  RetryDialog dialog(kDownloadRetry, texts);
  if (dialog.Run(owner) != IDOK) return false;
  resume = dialog.firstChoice;
  return true;
}

bool AskProxyRetryDialog(HWND owner, const MessageTable& texts, ProxySettings& proxy) {
  RetryDialog dialog(kProxyRetry, texts);
  dialog.proxy = proxy;
  if (dialog.Run(owner) != IDYES) return false;
  proxy = dialog.proxy;
  return true;
}

ExtractRetry AskExtractRetryDialog(HWND owner, const MessageTable& texts) {
  RetryDialog dialog(kExtractRetry, texts);
  if (dialog.Run(owner) != IDOK) return ExtractRetry::kCancel;
  return dialog.firstChoice ? ExtractRetry::kDownload : ExtractRetry::kExtract;
}

}  // namespace tavrel
