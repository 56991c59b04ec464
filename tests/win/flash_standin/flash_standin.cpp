// A stand-in Flash player for the tests: an in-process ActiveX control
// registered under the player's class that does what a host asks of the
// player (client site, in-place activation in the host's window, Movie,
// Loop, Play, Stop, Close) and writes each step as one line to the file
// named by TAVREL_FLASH_LOG (nothing without it). Its window shows a
// coloured frame with the movie's file name.
#include <windows.h>
// after windows.h
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "common/win32/com_pointer.h"
#include "common/win32/handle_owner.h"

namespace {

// {D27CDB6E-AE6D-11CF-96B8-444553540000}
constexpr CLSID kPlayerClass = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr char kClassKey[] = "CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}";
constexpr char kProgId[] = "ShockwaveFlash.ShockwaveFlash";
constexpr char kWindowClass[] = "TavrelFlashStandIn";

enum Member : DISPID { kMovie = 1, kLoop, kPlay, kStop };

HMODULE g_module = nullptr;
LONG g_locks = 0;

void Log(const std::string& line) {
  std::array<char, MAX_PATH> path{};
  const DWORD length = GetEnvironmentVariableA("TAVREL_FLASH_LOG", path.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const common::KernelHandle file(CreateFileA(path.data(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
  if (!file) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string RectText(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), length, nullptr, nullptr);
  out.pop_back();
  return out;
}

class Player;
// The players made and not yet released for the last time.
std::vector<std::unique_ptr<Player>> g_players;

class Player final : public IOleObject, public IOleInPlaceObject, public IDispatch {
 public:
  Player() { Log("created"); }
  ~Player() { DestroyPlayerWindow(); }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject)) {
      *object = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
      *object = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      std::erase_if(g_players,
                    [this](const std::unique_ptr<Player>& p) { return p.get() == this; });
    }
    return left;
  }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
    site_.Reset();
    if (site != nullptr) site->QueryInterface(IID_IOleClientSite, site_.Receive());
    Log(site != nullptr ? "site set" : "site cleared");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    if (site == nullptr) return E_POINTER;
    *site = site_.Get();
    if (*site != nullptr) (*site)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override {
    Log("Close");
    InPlaceDeactivate();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                   LPCRECT rect) override {
    if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW) return OLEOBJ_E_NOVERBS;
    if (window_ != nullptr) return S_OK;
    if (site == nullptr || parent == nullptr || rect == nullptr) return E_INVALIDARG;
    site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite_.Receive());
    if (!inPlaceSite_ || inPlaceSite_->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlaceSite_->OnInPlaceActivate();
    window_ = CreateWindowExA(0, kWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                              rect->left, rect->top, rect->right - rect->left,
                              rect->bottom - rect->top, parent, nullptr, g_module, nullptr);
    if (window_ == nullptr) return E_FAIL;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Log("in-place activated " + RectText(*rect));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override {
    if (id == nullptr) return E_POINTER;
    *id = kPlayerClass;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    if (status == nullptr) return E_POINTER;
    *status = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = window_;
    return window_ != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
    if (window_ == nullptr) return S_OK;
    DestroyPlayerWindow();
    Log("in-place deactivated");
    if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
    inPlaceSite_.Reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
    if (position == nullptr) return E_POINTER;
    if (window_ != nullptr) {
      MoveWindow(window_, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
    }
    Log("rect " + RectText(*position));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    static constexpr std::pair<const wchar_t*, DISPID> kMembers[] = {
        {L"Movie", kMovie}, {L"Loop", kLoop}, {L"Play", kPlay}, {L"Stop", kStop}};
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (const auto& [name, id] : kMembers) {
      if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, names[0], -1, name, -1) == CSTR_EQUAL) {
        ids[0] = id;
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (parameters == nullptr) return E_INVALIDARG;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
    switch (id) {
      case kMovie:
        if (put) {
          VARIANT text{};
          if (parameters->cArgs != 1 ||
              FAILED(VariantChangeType(&text, &parameters->rgvarg[0], 0, VT_BSTR))) {
            return DISP_E_TYPEMISMATCH;
          }
          movie_ = Narrow(text.bstrVal);
          VariantClear(&text);
          Log("Movie=" + movie_);
          if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
          return S_OK;
        }
        if (get && result != nullptr) {
          std::wstring wide(movie_.size(), L'\0');
          const int length =
              MultiByteToWideChar(CP_ACP, 0, movie_.data(), static_cast<int>(movie_.size()),
                                  wide.data(), static_cast<int>(wide.size()));
          result->vt = VT_BSTR;
          result->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(std::max(length, 0)));
          return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
      case kLoop:
        if (put) {
          VARIANT value{};
          if (parameters->cArgs != 1 ||
              FAILED(VariantChangeType(&value, &parameters->rgvarg[0], 0, VT_BOOL))) {
            return DISP_E_TYPEMISMATCH;
          }
          loop_ = value.boolVal != VARIANT_FALSE;
          Log(std::string("Loop=") + (loop_ ? "True" : "False"));
          return S_OK;
        }
        if (get && result != nullptr) {
          result->vt = VT_BOOL;
          result->boolVal = loop_ ? VARIANT_TRUE : VARIANT_FALSE;
          return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
      case kPlay:
      case kStop:
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        playing_ = id == kPlay;
        Log(playing_ ? "Play" : "Stop");
        if (window_ != nullptr) InvalidateRect(window_, nullptr, TRUE);
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

  void Paint(HWND window) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    const common::GdiObject<HBRUSH> frame(CreateSolidBrush(RGB(230, 120, 0)));
    const common::GdiObject<HBRUSH> screen(
        CreateSolidBrush(playing_ ? RGB(20, 40, 120) : RGB(60, 60, 60)));
    FillRect(dc, &client, frame.Get());
    RECT inner = client;
    InflateRect(&inner, -6, -6);
    FillRect(dc, &inner, screen.Get());
    const std::size_t slash = movie_.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? movie_ : movie_.substr(slash + 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, name.c_str(), static_cast<int>(name.size()), &inner,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    EndPaint(window, &paint);
  }

 private:
  void DestroyPlayerWindow() {
    if (window_ == nullptr) return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }

  ULONG references_ = 0;
  common::ComPointer<IOleClientSite> site_;
  common::ComPointer<IOleInPlaceSite> inPlaceSite_;
  HWND window_ = nullptr;
  std::string movie_;
  bool loop_ = false;
  bool playing_ = false;
};

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* player = reinterpret_cast<Player*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT:
      if (player != nullptr) {
        player->Paint(window);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      Log(std::string("WM_LBUTTONDOWN") + ((wParam & MK_LBUTTON) != 0 ? " MK_LBUTTON" : ""));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterWindowClass() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PlayerWindowProc;
  windowClass.hInstance = g_module;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
}

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // The factory is one static object.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    g_players.push_back(std::make_unique<Player>());
    Player& player = *g_players.back();
    player.AddRef();
    const HRESULT result = player.QueryInterface(iid, object);
    player.Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock != FALSE) {
      InterlockedIncrement(&g_locks);
    } else {
      InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }
};

Factory g_factory;

bool SetValue(const std::string& key, const char* name, const std::string& value) {
  common::RegistryKey opened;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, opened.Receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(opened.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
    RegisterWindowClass();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(id, kPlayerClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
  return g_players.empty() && g_locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  std::array<char, MAX_PATH> path{};
  const DWORD length = GetModuleFileNameA(g_module, path.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  const std::string self(path.data(), length);
  const std::string classKey = kClassKey;
  const bool written =
      SetValue(classKey, nullptr, "Tavrel stand-in Flash player") &&
      SetValue(classKey + "\\InprocServer32", nullptr, self) &&
      SetValue(classKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
      SetValue(classKey + "\\ProgID", nullptr, kProgId) &&
      SetValue(kProgId, nullptr, "Tavrel stand-in Flash player") &&
      SetValue(std::string(kProgId) + "\\CLSID", nullptr, "{D27CDB6E-AE6D-11CF-96B8-444553540000}");
  Log(written ? "registered " + self : "registration failed");
  return written ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  const std::string classKey = kClassKey;
  for (const std::string& key : {classKey + "\\InprocServer32", classKey + "\\ProgID", classKey,
                                 std::string(kProgId) + "\\CLSID", std::string(kProgId)}) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
  }
  Log("unregistered");
  return S_OK;
}
