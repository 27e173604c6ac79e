// Win32 backend: the browser area kind (HtmlViewer): a host child window
// of the backend's own class with a white background, and in it the system
// web browser control through BrowserHost. Implements offline and silent
// mode and the text size at creation, Navigate (flags 0) on every Address
// write, the notifications as events 0 to 9, focus handed to the control
// and the control resized with its host.
#include <algorithm>

#include "platform/win32/browser_host.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

using namespace form::browser_prop;

constexpr wchar_t kHostClass[] = L"FilmbarBrowserHost";

class BrowserArea final : public Win32Control, private BrowserListener {
 public:
  using Win32Control::Win32Control;

  ~BrowserArea() override { release_host(); }

  bool contains(HWND inner) const override {
    return inner != nullptr && (inner == hwnd_ || (hwnd_ != nullptr && IsChild(hwnd_, inner)));
  }

  platform::RawValue get_own(int32_t n) override {
    switch (n) {
      case StatusText:
      case PageTitle:
      case Address: return own_.raw(n);
      default: return Win32Control::get_own(n);
    }
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    IWebBrowser2* browser = host_ != nullptr ? host_->browser() : nullptr;
    if (browser == nullptr) return false;
    switch (n) {
      case ZoomLevel: apply_zoom(browser); break;
      case Offline:
        browser->put_Offline(own_.number(Offline) != 0 ? VARIANT_TRUE : VARIANT_FALSE);
        break;
      case Silent:
        browser->put_Silent(own_.number(Silent) != 0 ? VARIANT_TRUE : VARIANT_FALSE);
        break;
      case Address: navigate(browser); break;
      default: break;
    }
    return false;
  }

  bool take_keys_first(MSG& message) override {
    if (host_ == nullptr) return false;
    HWND focused = GetFocus();
    if (focused == nullptr || !contains(focused)) return false;
    return host_->translate_accelerator(message);
  }

  void window_destroying() override { release_host(); }

  bool own_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_SIZE:
        if (host_ != nullptr) host_->resize();
        result = 0;
        return true;
      case WM_SETFOCUS:
        if (host_ != nullptr) host_->take_focus();
        focus_moved();
        result = 0;
        return true;
      case WM_DESTROY: release_host(); break;
      default: break;
    }
    return Win32Control::own_message(message, wparam, lparam, result);
  }

 protected:
  HWND build(HWND parent, const platform::Rect& place) override {
    register_unit_class(kHostClass, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HWND host =
        CreateWindowExW(0, kHostClass, L"", child_style() | WS_CLIPCHILDREN, place.left, place.top,
                        place.width, place.height, parent, nullptr, program_instance(), this);
    if (host == nullptr) return nullptr;
    hwnd_ = host;
    host_ = BrowserHost::create(host, this);
    if (FAILED(host_->embed())) {
      // Without the control the area cannot be built: the window load fails.
      release_host();
      DestroyWindow(host);
      hwnd_ = nullptr;
      return nullptr;
    }
    IWebBrowser2* browser = host_->browser();
    browser->put_Offline(own_.number(Offline) != 0 ? VARIANT_TRUE : VARIANT_FALSE);
    browser->put_Silent(own_.number(Silent) != 0 ? VARIANT_TRUE : VARIANT_FALSE);
    apply_zoom(browser);
    if (!own_.bytes(Address).empty()) navigate(browser);
    return host;
  }

 private:
  void release_host() {
    if (host_ == nullptr) return;
    BrowserHost* host = host_;
    host_ = nullptr;
    host->tear_down();
    host->release();
  }

  // The text size 0 to 4, set without asking the user; the answer is not
  // looked at.
  void apply_zoom(IWebBrowser2* browser) {
    VARIANT zoom;
    VariantInit(&zoom);
    zoom.vt = VT_I4;
    zoom.lVal = std::max(0, std::min(own_.number(ZoomLevel), 4));
    browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &zoom, nullptr);
  }

  // Loads the stored address: navigate flags 0, no target frame, no post
  // data, no extra headers. The result is not looked at.
  void navigate(IWebBrowser2* browser) {
    const std::wstring address = wide_from_cp936(own_.bytes(Address));
    BSTR url = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = 0;
    VARIANT none;
    VariantInit(&none);
    browser->Navigate(url, &flags, &none, &none, &none);
    SysFreeString(url);
  }

  void browser_event(int32_t event, std::initializer_list<int32_t> arguments) override {
    raise(event, arguments);
  }
  void status_text_changed(const std::wstring& text) override {
    own_.set_bytes(StatusText, cp936_from_wide(text));
  }
  void title_changed(const std::wstring& text) override {
    own_.set_bytes(PageTitle, cp936_from_wide(text));
  }

  BrowserHost* host_ = nullptr;
};

}  // namespace

std::unique_ptr<Win32Control> make_browser_area(Win32Window& window,
                                                const form::UnitSettings& settings) {
  return std::make_unique<BrowserArea>(window, settings);
}

}  // namespace filmbar::win32
