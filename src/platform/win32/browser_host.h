// Win32 backend: the host of the system web browser control. One owner
// object implements the client site, the in-place site, the in-place frame
// and the DWebBrowserEvents2 sink through one small forwarder per
// interface; all of them share the owner's reference count.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <exdisp.h>
#include <ole2.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace filmbar::win32 {

// Holds one reference to a COM object and releases it once.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // For functions that hand out a new reference through an out-parameter.
  Interface** receive() {
    reset();
    return &object_;
  }
  void** receive_untyped() { return reinterpret_cast<void**>(receive()); }
  // Takes a reference of its own to `object`.
  void keep(Interface* object) {
    if (object != nullptr) object->AddRef();
    reset();
    object_ = object;
  }
  void reset() {
    if (object_ != nullptr) {
      Interface* held = object_;
      object_ = nullptr;
      held->Release();
    }
  }

 private:
  Interface* object_ = nullptr;
};

// What the host tells the browser area about the control's notifications.
class BrowserListener {
 public:
  virtual void browser_event(int32_t event, std::initializer_list<int32_t> arguments) = 0;
  virtual void status_text_changed(const std::wstring& text) = 0;
  virtual void title_changed(const std::wstring& text) = 0;

 protected:
  ~BrowserListener() = default;
};

class BrowserHost {
 public:
  // A new host with one reference, held by the caller.
  static BrowserHost* create(HWND host_window, BrowserListener* listener);

  ULONG add_ref();
  ULONG release();
  HRESULT query(REFIID iid, void** out);

  // Creates the control and activates it in place, filling the host
  // window. On failure nothing is left of it.
  HRESULT embed();
  // Deactivates, unadvises, clears the client site and closes; afterwards
  // no notification reaches the listener. Safe to call more than once.
  void tear_down();

  IWebBrowser2* browser() const { return browser_.get(); }
  void resize();
  void take_focus();
  // Gives the active control the first look at a key message.
  bool translate_accelerator(MSG& message);

 private:
  BrowserHost(HWND host_window, BrowserListener* listener);
  ~BrowserHost() = default;

  struct ClientSite final : IOleClientSite {
    explicit ClientSite(BrowserHost& host) : owner(host) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;
    BrowserHost& owner;
  };

  struct InPlaceSite final : IOleInPlaceSite {
    explicit InPlaceSite(BrowserHost& host) : owner(host) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, RECT* position,
                                               RECT* clip, OLEINPLACEFRAMEINFO* info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(const RECT* position) override;
    BrowserHost& owner;
  };

  struct InPlaceFrame final : IOleInPlaceFrame {
    explicit InPlaceFrame(BrowserHost& host) : owner(host) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE GetBorder(RECT* border) override;
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(const BORDERWIDTHS* widths) override;
    HRESULT STDMETHODCALLTYPE SetBorderSpace(const BORDERWIDTHS* widths) override;
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object,
                                              LPCOLESTR name) override;
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, OLEMENUGROUPWIDTHS* widths) override;
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU descriptor,
                                      HWND active_object) override;
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message, WORD id) override;
    BrowserHost& owner;
  };

  struct EventSink final : IDispatch {
    explicit EventSink(BrowserHost& host) : owner(host) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argument_error) override;
    BrowserHost& owner;
  };

  void notification(DISPID id, const DISPPARAMS* parameters);
  RECT host_area() const;

  LONG references_ = 1;
  HWND host_window_;
  BrowserListener* listener_;
  ClientSite client_site_{*this};
  InPlaceSite in_place_site_{*this};
  InPlaceFrame frame_{*this};
  EventSink events_{*this};

  ComRef<IOleObject> object_;
  ComRef<IWebBrowser2> browser_;
  ComRef<IOleInPlaceObject> in_place_object_;
  ComRef<IOleInPlaceActiveObject> active_object_;
  ComRef<IConnectionPoint> connection_;
  DWORD advise_cookie_ = 0;
  bool torn_down_ = false;
};

}  // namespace filmbar::win32
