// TFlashFrame: a panel without bevels that plays a Flash movie in the Flash
// player, an ActiveX control it hosts itself (client site, in-place site and
// frame of its own). Without a player it shows its caption.
#include <windows.h>
// after windows.h
#include <ole2.h>
#include <olectl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/paths.h"
#include "common/win32/com_pointer.h"
#include "common/win32/handle_owner.h"
#include "common/win32/wide_text.h"
#include "engine/core/movie_frame.h"
#include "engine/win32/forms/form_control_kit.h"

namespace tavrel::standard_controls {
namespace {

// The player's class, {D27CDB6E-AE6D-11CF-96B8-444553540000}.
constexpr CLSID kPlayerClass = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr char kPlayerFileName[] = "flash.ocx";
constexpr char kUnableText[] = "Unable to play Flash movie";

// OLE for the thread that hosts a player, for as long as it does.
class OleScope {
 public:
  OleScope() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleScope() {
    if (initialised_) OleUninitialize();
  }
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  bool Initialised() const { return initialised_; }

 private:
  bool initialised_;
};

// An ANSI text as a BSTR, owned for one call.
class BstrText {
 public:
  explicit BstrText(const std::string& text) {
    const std::wstring wide = common::WideFromAnsi(text);
    text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  }
  ~BstrText() { SysFreeString(text_); }
  BstrText(const BstrText&) = delete;
  BstrText& operator=(const BstrText&) = delete;
  BSTR Get() const { return text_; }

 private:
  BSTR text_ = nullptr;
};

// The frame size of the movie at path; nullopt when it cannot be read.
std::optional<MovieFrameSize> ReadFrameSize(const std::string& path) {
  const common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::array<std::uint8_t, kMovieRectOffset + kMovieRectBytes> head{};
  DWORD total = 0;
  while (total < head.size()) {
    DWORD read = 0;
    if (ReadFile(file.Get(), head.data() + total, static_cast<DWORD>(head.size() - total), &read,
                 nullptr) == FALSE) {
      return std::nullopt;
    }
    if (read == 0) break;
    total += read;
  }
  return MovieFrameSizeFromHead(std::span<const std::uint8_t>(head.data(), total));
}

// Copies the player library at source into the system folder as flash.ocx
// (over what is there) and lets it register itself. False when any step
// fails; a library that was not copied is not registered.
bool RegisterPlayer(const std::string& source) {
  std::array<char, MAX_PATH> system{};
  const UINT length = GetSystemDirectoryA(system.data(), MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::string target =
      common::JoinPath(std::string_view(system.data(), length), kPlayerFileName);
  if (CopyFileA(source.c_str(), target.c_str(), FALSE) == FALSE) return false;
  const common::LoadedModule library(LoadLibraryA(target.c_str()));
  if (!library) return false;
  using Register = HRESULT(STDAPICALLTYPE*)();
  const auto registerServer = reinterpret_cast<Register>(
      reinterpret_cast<void*>(GetProcAddress(library.Get(), "DllRegisterServer")));
  return registerServer != nullptr && SUCCEEDED(registerServer());
}

// Calls a method or puts a property through IDispatch; false on any error.
bool Invoke(IDispatch& dispatch, const wchar_t* name, WORD flags, VARIANT* argument) {
  auto* names = const_cast<LPOLESTR>(name);
  DISPID id = 0;
  if (FAILED(dispatch.GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{};
  if (argument != nullptr) {
    parameters.rgvarg = argument;
    parameters.cArgs = 1;
  }
  if (flags == DISPATCH_PROPERTYPUT) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  return SUCCEEDED(dispatch.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, nullptr,
                                   nullptr, nullptr));
}

// What the player sees of the pane: its client site, its in-place site and
// the frame around it. Lives as long as the player it was given to; the
// player drops its references when it is closed.
class PlayerSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit PlayerSite(HWND pane) : pane_(pane) {}
  PlayerSite(const PlayerSite&) = delete;
  PlayerSite& operator=(const PlayerSite&) = delete;

  // The player's in-place object once it is active; nullptr before and after.
  void SetInPlace(IOleInPlaceObject* inPlace) { inPlace_ = inPlace; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
      *object = static_cast<IOleInPlaceFrame*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  // The pane owns the site; the count only tells what is still held.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return references_ > 0 ? --references_ : 0; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container != nullptr) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (of the in-place site and of the frame)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = pane_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                             IOleInPlaceUIWindow** document, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
        info == nullptr) {
      return E_POINTER;
    }
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(pane_, position);
    *clip = *position;
    info->cb = sizeof(OLEINPLACEFRAMEINFO);
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(pane_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT position) override {
    if (position == nullptr) return E_POINTER;
    if (inPlace_ != nullptr) inPlace_->SetObjectRects(position, position);
    return S_OK;
  }

  // IOleInPlaceUIWindow
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
    return INPLACE_E_NOTOOLSPACE;
  }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
    return S_OK;
  }

  // IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  HWND pane_;
  IOleInPlaceObject* inPlace_ = nullptr;
  ULONG references_ = 0;
};

// One player made inside a pane. Destroying it deactivates, closes and
// releases the player; stopping the movie is the pane's part.
class HostedPlayer {
 public:
  explicit HostedPlayer(HWND pane) : site_(pane) {}
  ~HostedPlayer() {
    if (inPlace_) inPlace_->InPlaceDeactivate();
    if (object_) {
      object_->Close(OLECLOSE_NOSAVE);
      object_->SetClientSite(nullptr);
    }
    site_.SetInPlace(nullptr);
    dispatch_.Reset();
    inPlace_.Reset();
    object_.Reset();
  }
  HostedPlayer(const HostedPlayer&) = delete;
  HostedPlayer& operator=(const HostedPlayer&) = delete;

  // Creates the player; the failure's code when it cannot be.
  HRESULT Create() {
    if (!ole_.Initialised()) return CO_E_NOTINITIALIZED;
    return CoCreateInstance(kPlayerClass, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                            object_.Receive());
  }

  // Gives the player the site and activates it in place over rect; false
  // when it cannot be shown there or takes no commands.
  bool Activate(HWND pane, const RECT& rect) {
    if (FAILED(object_->SetClientSite(&site_))) return false;
    if (const auto persist = object_.As<IPersistStreamInit>()) persist->InitNew();
    RECT position = rect;
    if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site_, 0, pane, &position))) {
      return false;
    }
    inPlace_ = object_.As<IOleInPlaceObject>();
    site_.SetInPlace(inPlace_.Get());
    dispatch_ = object_.As<IDispatch>();
    if (!inPlace_ || !dispatch_) return false;
    if (FAILED(inPlace_->GetWindow(&window_))) window_ = nullptr;
    return true;
  }

  void Place(const RECT& rect) {
    if (inPlace_) inPlace_->SetObjectRects(&rect, &rect);
  }
  bool Put(const wchar_t* name, VARIANT& value) {
    return Invoke(*dispatch_.Get(), name, DISPATCH_PROPERTYPUT, &value);
  }
  bool Call(const wchar_t* name) {
    return Invoke(*dispatch_.Get(), name, DISPATCH_METHOD, nullptr);
  }
  HWND Window() const { return window_; }

 private:
  OleScope ole_;  // first made, last gone
  PlayerSite site_;
  common::ComPointer<IOleObject> object_;
  common::ComPointer<IOleInPlaceObject> inPlace_;
  common::ComPointer<IDispatch> dispatch_;
  HWND window_ = nullptr;
};

class FlashFrame final : public PanelControl {
 public:
  FlashFrame(const FormObject& object, ControlSite& site)
      : PanelControl(object, {"TFlashFrame"}, site) {
    Keep("AutoSize", Kind::kBool, "False");
    Keep("AutoRegisterFlash", Kind::kBool, "True");
    Keep("AutoScale", Kind::kBool, "True");
    Keep("Loop", Kind::kBool, "False");
  }
  ~FlashFrame() override { DiscardMovie(); }
  FlashFrame(const FlashFrame&) = delete;
  FlashFrame& operator=(const FlashFrame&) = delete;

  bool LoadMovie(const std::string& moviePath, const std::string& playerSource) override {
    DiscardMovie();
    if (Window() == nullptr || !MakePlayer(moviePath, playerSource)) {
      player_.reset();
      SetWindowTextTo(kUnableText);
      return false;
    }
    return true;
  }

  void PlayMovie() override {
    if (player_) player_->Call(L"Play");
  }

  void DiscardMovie() override {
    if (!player_) return;
    player_->Call(L"Stop");
    player_.reset();
  }

 protected:
  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (message == WM_SIZE && player_ && scaled_) player_->Place(ClientRect());
    return PanelControl::OnOwnMessage(message, wParam, lParam, result);
  }

  void Paint(HDC dc, const RECT& client) override {
    FillRect(dc, &client, OnColor(dc));
    DrawCaption(dc, client, DT_CENTER);
  }

 private:
  RECT ClientRect() const {
    RECT client{};
    GetClientRect(Window(), &client);
    return client;
  }

  bool MakePlayer(const std::string& moviePath, const std::string& playerSource) {
    player_ = std::make_unique<HostedPlayer>(Window());
    HRESULT created = player_->Create();
    if (created == REGDB_E_CLASSNOTREG && StoredBool("AutoRegisterFlash") &&
        RegisterPlayer(playerSource)) {
      player_ = std::make_unique<HostedPlayer>(Window());
      created = player_->Create();
    }
    if (FAILED(created) || !player_->Activate(Window(), ClientRect())) return false;

    const BstrText movie(moviePath);
    VARIANT movieValue{};
    movieValue.vt = VT_BSTR;
    movieValue.bstrVal = movie.Get();
    if (movie.Get() == nullptr || !player_->Put(L"Movie", movieValue)) return false;

    const std::optional<MovieFrameSize> frame = ReadFrameSize(moviePath);
    scaled_ = StoredBool("AutoScale");
    if (StoredBool("AutoSize") && frame) SetClientSize(frame->width, frame->height);
    if (scaled_) {
      player_->Place(ClientRect());
    } else {
      RECT placed = ClientRect();
      if (frame) {
        placed = {0, 0, std::max(0, frame->width - 2), std::max(0, frame->height - 2)};
      } else {
        OffsetRect(&placed, -placed.left, -placed.top);
      }
      player_->Place(placed);
    }

    VARIANT loop{};
    loop.vt = VT_BOOL;
    loop.boolVal = StoredBool("Loop") ? VARIANT_TRUE : VARIANT_FALSE;
    player_->Put(L"Loop", loop);  // a player without Loop plays all the same

    if (player_->Window() != nullptr) {
      SendMessageA(player_->Window(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    }
    return true;
  }

  // Sizes the pane so that its client area is width x height.
  void SetClientSize(int width, int height) {
    RECT outer{};
    GetWindowRect(Window(), &outer);
    const RECT client = ClientRect();
    const int extraWidth = (outer.right - outer.left) - (client.right - client.left);
    const int extraHeight = (outer.bottom - outer.top) - (client.bottom - client.top);
    SetWindowPos(Window(), nullptr, 0, 0, width + extraWidth, height + extraHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::unique_ptr<HostedPlayer> player_;
  bool scaled_ = true;
};

}  // namespace

std::unique_ptr<FormControl> CreateFlashFrameControl(const FormObject& object, ControlSite& site) {
  if (Is(object.className, "TFlashFrame")) return std::make_unique<FlashFrame>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
