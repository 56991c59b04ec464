#include "engine/win32/pool_template.h"

#include <algorithm>
#include <stdexcept>

#include "common/ascii_case.h"
#include "common/text_lines.h"
#include "engine/core/script_text.h"
#include "engine/win32/resource.h"

namespace tavrel {

namespace {

constexpr const char* kWindowClass = "TPoolTemplate";
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressInterval = 1000;

const FormProperty* FindIn(const FormObject& object, std::string_view name) {
  return object.Find(name);
}

// Positions and sizes within what the system handles.
std::optional<int> Number(const FormObject& object, std::string_view name) {
  const FormProperty* property = FindIn(object, name);
  if (property == nullptr) return std::nullopt;
  const auto value = FormControl::ParseInt(property->text);
  if (!value) return std::nullopt;
  return std::clamp(*value, -32768, 32767);
}

void RegisterWindowClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = DefWindowProcA;  // replaced per window
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hIcon = LoadIconA(windowClass.hInstance, MAKEINTRESOURCEA(kMainIcon));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  registered = RegisterClassExA(&windowClass) != 0;
}

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// Each page has a taskbar button of its own.
constexpr DWORD kExStyle = WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

}  // namespace

PoolTemplate::PoolTemplate(const FormObject& root, std::vector<DialogRule> rules,
                           PoolTemplateOwner& owner)
    : owner_(owner), className_(root.className), name_(root.name) {
  RegisterWindowClass();
  page_.form = this;
  page_.rules = std::move(rules);

  int clientWidth = Number(root, "ClientWidth").value_or(0);
  int clientHeight = Number(root, "ClientHeight").value_or(0);
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  int width = clientWidth > 0 ? frame.right - frame.left : Number(root, "Width").value_or(500);
  int height = clientHeight > 0 ? frame.bottom - frame.top : Number(root, "Height").value_or(380);
  std::string caption = "PoolTemplate";
  for (const FormProperty& property : root.properties) {
    if (EqualsIgnoringAsciiCase(property.name, "Caption")) {
      caption = property.text;
    } else if (EqualsIgnoringAsciiCase(property.name, "Hint")) {
      hint_ = property.text;
    } else if (EqualsIgnoringAsciiCase(property.name, "Tag")) {
      tag_ = property.text;
    } else if (property.kind == FormProperty::Kind::kList) {
      kept_[property.name] = common::JoinLines(property.items);
    } else {
      kept_[property.name] = property.text;
    }
  }
  window_ = CreateWindowExA(kExStyle, kWindowClass, caption.c_str(), kStyle,
                            Number(root, "Left").value_or(0), Number(root, "Top").value_or(0),
                            std::max(width, 80), std::max(height, 40), nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (window_ == nullptr) {
    throw std::runtime_error("cannot create the dialog window, error " +
                             std::to_string(GetLastError()));
  }
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
  page_.window = reinterpret_cast<std::intptr_t>(window_);
  if (const auto color = kept_.find("Color"); color != kept_.end()) {
    if (const auto value = FormControl::ParseColor(color->second)) {
      brush_.Reset(CreateSolidBrush(*value));
    }
  }
  MakeFont(root);
  try {
    CreateControls(root, window_);
  } catch (...) {
    controls_.clear();
    DestroyWindow(window_);
    throw;
  }
  SetTimer(window_, kProgressTimer, kProgressInterval, nullptr);
}

PoolTemplate::~PoolTemplate() {
  if (window_ != nullptr) {
    KillTimer(window_, kProgressTimer);
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  }
  // Nested controls before the containers that hold them.
  while (!controls_.empty()) controls_.pop_back();
  if (window_ != nullptr) DestroyWindow(window_);
}

void PoolTemplate::MakeFont(const FormObject& root) {
  LOGFONTA font{};
  font.lfHeight = -11;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  std::string face = "MS Sans Serif";
  for (const FormProperty& property : root.properties) {
    if (EqualsIgnoringAsciiCase(property.name, "Font.Name") && !property.text.empty())
      face = property.text;
    if (EqualsIgnoringAsciiCase(property.name, "Font.Height")) {
      font.lfHeight = FormControl::ParseInt(property.text).value_or(font.lfHeight);
    }
    if (EqualsIgnoringAsciiCase(property.name, "Font.Style")) {
      const auto has = [&](std::string_view flag) {
        return common::FindIgnoringAsciiCase(property.text, flag) != std::string_view::npos;
      };
      if (has("fsBold")) font.lfWeight = FW_BOLD;
      font.lfItalic = has("fsItalic") ? TRUE : FALSE;
    }
  }
  face.resize(std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
  std::copy(face.begin(), face.end(), font.lfFaceName);
  font_.Reset(CreateFontIndirectA(&font));
  SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
}

void PoolTemplate::CreateControls(const FormObject& object, HWND parent) {
  for (const FormObject& child : object.children) {
    std::unique_ptr<FormControl> control = CreateFormControl(child, *this);
    if (control == nullptr) {
      throw std::runtime_error("line " + std::to_string(child.line) + ": " + child.className +
                               " is not a control class of the dialogs");
    }
    // Numbered in file order from 100, so that tests and tools can find them.
    control->SetControlId(100 + static_cast<int>(controls_.size()));
    control->Create(parent, font_.Get());
    FormControl& made = *control;
    controls_.push_back(std::move(control));
    page_.controls.push_back(&made);
    CreateControls(child, made.IsContainer() ? made.Window() : parent);
  }
}

void PoolTemplate::MoveTo(int left, int top) {
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PoolTemplate::Centre() {
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  RECT rect{};
  GetWindowRect(window_, &rect);
  MoveTo(area.left + ((area.right - area.left) - (rect.right - rect.left)) / 2,
         area.top + ((area.bottom - area.top) - (rect.bottom - rect.top)) / 2);
}

POINT PoolTemplate::Position() const {
  RECT rect{};
  GetWindowRect(window_, &rect);
  return {rect.left, rect.top};
}

bool PoolTemplate::IsA(std::string_view className) const {
  return EqualsIgnoringAsciiCase(className, className_) ||
         EqualsIgnoringAsciiCase(className, "TPoolTemplate") ||
         EqualsIgnoringAsciiCase(className, "TForm");
}

std::optional<std::string> PoolTemplate::GetPropertyText(std::string_view name) {
  RECT rect{};
  GetWindowRect(window_, &rect);
  RECT client{};
  GetClientRect(window_, &client);
  if (EqualsIgnoringAsciiCase(name, "Name")) return name_;
  if (EqualsIgnoringAsciiCase(name, "Hint")) return hint_;
  if (EqualsIgnoringAsciiCase(name, "Tag")) return tag_;
  if (EqualsIgnoringAsciiCase(name, "Caption")) {
    char text[1024] = {};
    GetWindowTextA(window_, text, sizeof text);
    return std::string(text);
  }
  if (EqualsIgnoringAsciiCase(name, "Left")) return std::to_string(rect.left);
  if (EqualsIgnoringAsciiCase(name, "Top")) return std::to_string(rect.top);
  if (EqualsIgnoringAsciiCase(name, "Width")) return std::to_string(rect.right - rect.left);
  if (EqualsIgnoringAsciiCase(name, "Height")) return std::to_string(rect.bottom - rect.top);
  if (EqualsIgnoringAsciiCase(name, "ClientWidth")) return std::to_string(client.right);
  if (EqualsIgnoringAsciiCase(name, "ClientHeight")) return std::to_string(client.bottom);
  if (EqualsIgnoringAsciiCase(name, "Visible")) return IsWindowVisible(window_) ? "True" : "False";
  if (EqualsIgnoringAsciiCase(name, "Enabled")) return IsWindowEnabled(window_) ? "True" : "False";
  if (const auto kept = kept_.find(name); kept != kept_.end()) return kept->second;
  return std::nullopt;
}

bool PoolTemplate::SetPropertyText(std::string_view name, const std::string& text) {
  if (EqualsIgnoringAsciiCase(name, "Caption"))
    return SetWindowTextA(window_, text.c_str()) != FALSE;
  if (EqualsIgnoringAsciiCase(name, "Hint")) {
    hint_ = text;
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Tag")) {
    const auto value = FormControl::ParseInt(text);
    if (value) tag_ = std::to_string(*value);
    return value.has_value();
  }
  if (EqualsIgnoringAsciiCase(name, "Left") || EqualsIgnoringAsciiCase(name, "Top")) {
    auto value = FormControl::ParseInt(text);
    if (!value) return false;
    *value = std::clamp(*value, -32768, 32767);
    const POINT at = Position();
    MoveTo(EqualsIgnoringAsciiCase(name, "Left") ? *value : at.x,
           EqualsIgnoringAsciiCase(name, "Top") ? *value : at.y);
    return true;
  }
  if (EqualsIgnoringAsciiCase(name, "Enabled")) {
    const auto value = FormControl::ParseBool(text);
    if (value) EnableWindow(window_, *value ? TRUE : FALSE);
    return value.has_value();
  }
  if (EqualsIgnoringAsciiCase(name, "Color")) {
    const auto value = FormControl::ParseColor(text);
    if (!value) return false;
    brush_.Reset(CreateSolidBrush(*value));
    kept_["Color"] = text;
    InvalidateRect(window_, nullptr, TRUE);
    return true;
  }
  if (const auto kept = kept_.find(name); kept != kept_.end()) {
    kept->second = text;
    return true;
  }
  return false;
}

void PoolTemplate::ControlEvent(FormControl& control, tavrel::ControlEvent event) {
  Guarded([&] { owner_.ControlEvent(*this, control, event); });
}

// What the page does for the user runs inside window messages: a failure
// (a size or progress value that is not a number) is shown to the user,
// and the page goes on.
bool PoolTemplate::Guarded(const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    MessageBoxA(window_, error.what(), "Tavrel", MB_OK | MB_ICONERROR);
    return false;
  }
}

LRESULT CALLBACK PoolTemplate::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<PoolTemplate*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return form->Handle(message, wParam, lParam);
}

LRESULT PoolTemplate::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (FormControl::RouteToChild(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      // Controls without a colour of their own show the page's.
      if (brush_) {
        LOGBRUSH brush{};
        GetObjectA(brush_.Get(), sizeof brush, &brush);
        SetBkColor(reinterpret_cast<HDC>(wParam), brush.lbColor);
        return reinterpret_cast<LRESULT>(brush_.Get());
      }
      break;
    case WM_ERASEBKGND:
      if (brush_) {
        RECT client{};
        GetClientRect(window_, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush_.Get());
        return 1;
      }
      break;
    case WM_TIMER:
      if (wParam == kProgressTimer) {
        KillTimer(window_, kProgressTimer);
        // A failure is shown once; the progress is not refreshed again.
        if (Guarded([&] { owner_.ProgressTimer(*this); })) {
          SetTimer(window_, kProgressTimer, kProgressInterval, nullptr);
        }
        return 0;
      }
      break;
    case WM_SHOWWINDOW:
      if (wParam != FALSE) {
        // The title bar's close button does nothing on a wizard page.
        GetSystemMenu(window_, TRUE);
        EnableMenuItem(GetSystemMenu(window_, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
        Guarded([&] { owner_.FormShown(*this); });
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE && !canClose) return 0;
      break;
    case WM_CLOSE:
      if (canClose) ShowWindow(window_, SW_HIDE);
      return 0;
    case DM_GETDEFID:
      // Enter presses the button the designer made the default one.
      for (const auto& control : controls_) {
        if (control->IsA("TButton") && control->GetPropertyText("Default") == "True" &&
            IsWindowEnabled(control->Window()) && IsWindowVisible(control->Window()) &&
            GetParent(control->Window()) == window_) {
          return MAKELRESULT(GetDlgCtrlID(control->Window()), DC_HASDEFID);
        }
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace tavrel
