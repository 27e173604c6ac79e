// Win32 backend: the web browser control's host (COM, no ATL). Implements
// the owner object of browser_host.h: the control created by CLSID and
// activated in place in the host window, the site, frame and event sink
// forwarders with one shared reference count, the DWebBrowserEvents2
// notifications handed to the browser area (never cancelled), and the
// teardown in its required order.
#include "platform/win32/browser_host.h"

#include <exdispid.h>
#include <olectl.h>

namespace filmbar::win32 {

BrowserHost* BrowserHost::create(HWND host_window, BrowserListener* listener) {
  return new BrowserHost(host_window, listener);
}

BrowserHost::BrowserHost(HWND host_window, BrowserListener* listener)
    : host_window_(host_window), listener_(listener) {}

ULONG BrowserHost::add_ref() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG BrowserHost::release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// Every interface answers for the one object: IUnknown is the client site,
// and each successful answer adds a reference.
HRESULT BrowserHost::query(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *out = static_cast<IOleClientSite*>(&client_site_);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *out = static_cast<IOleInPlaceSite*>(&in_place_site_);
  } else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *out = static_cast<IOleInPlaceFrame*>(&frame_);
  } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
    *out = static_cast<IDispatch*>(&events_);
  } else {
    return E_NOINTERFACE;
  }
  add_ref();
  return S_OK;
}

RECT BrowserHost::host_area() const {
  RECT area{};
  GetClientRect(host_window_, &area);
  return area;
}

HRESULT BrowserHost::embed() {
  HRESULT result = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    object_.receive_untyped());
  if (FAILED(result)) {
    object_.reset();
    return result;
  }
  result = object_->SetClientSite(&client_site_);
  if (SUCCEEDED(result)) {
    OleSetContainedObject(object_.get(), TRUE);
    RECT area = host_area();
    result =
        object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &client_site_, 0, host_window_, &area);
  }
  if (SUCCEEDED(result))
    result = object_->QueryInterface(IID_IWebBrowser2, browser_.receive_untyped());
  if (FAILED(result)) {
    tear_down();
    return result;
  }
  object_->QueryInterface(IID_IOleInPlaceObject, in_place_object_.receive_untyped());
  if (!active_object_) {
    object_->QueryInterface(IID_IOleInPlaceActiveObject, active_object_.receive_untyped());
  }
  ComRef<IConnectionPointContainer> points;
  if (SUCCEEDED(object_->QueryInterface(IID_IConnectionPointContainer, points.receive_untyped())) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, connection_.receive())) &&
      FAILED(connection_->Advise(static_cast<IDispatch*>(&events_), &advise_cookie_))) {
    connection_.reset();
  }
  return S_OK;
}

void BrowserHost::tear_down() {
  if (torn_down_) return;
  torn_down_ = true;
  listener_ = nullptr;
  // 1. Deactivate while the host window still stands, so that the control
  //    takes its own windows down in an intact parent.
  if (in_place_object_) {
    in_place_object_->InPlaceDeactivate();
  } else if (object_) {
    ComRef<IOleInPlaceObject> in_place;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, in_place.receive_untyped()))) {
      in_place->InPlaceDeactivate();
    }
  }
  // 2. Unadvise, so that no notification reaches a half-dismantled host.
  if (connection_) {
    connection_->Unadvise(advise_cookie_);
    connection_.reset();
  }
  // 3. Clear the client site: the control drops its references to our
  //    site and frame, which breaks the cycle between the two objects.
  if (object_) object_->SetClientSite(nullptr);
  // 4. Close last: the control releases everything else it holds.
  if (object_) object_->Close(OLECLOSE_NOSAVE);
  active_object_.reset();
  in_place_object_.reset();
  browser_.reset();
  object_.reset();
}

void BrowserHost::resize() {
  if (!in_place_object_) return;
  RECT area = host_area();
  in_place_object_->SetObjectRects(&area, &area);
}

void BrowserHost::take_focus() {
  if (!object_) return;
  RECT area = host_area();
  object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &client_site_, 0, host_window_, &area);
  HWND inner = nullptr;
  if (in_place_object_ && SUCCEEDED(in_place_object_->GetWindow(&inner)) && inner != nullptr) {
    HWND focused = GetFocus();
    if (focused == nullptr || (focused != inner && !IsChild(inner, focused))) SetFocus(inner);
  }
}

bool BrowserHost::translate_accelerator(MSG& message) {
  return active_object_ && active_object_->TranslateAccelerator(&message) == S_OK;
}

// The notifications of DWebBrowserEvents2 as the browser area's events
// 0 to 9. Nothing is answered: a navigation is never cancelled and a new
// window is left to the control.
void BrowserHost::notification(DISPID id, const DISPPARAMS* parameters) {
  if (listener_ == nullptr) return;
  // Arguments arrive last first.
  auto argument = [parameters](UINT from_first) -> const VARIANT* {
    if (parameters == nullptr || from_first >= parameters->cArgs) return nullptr;
    return &parameters->rgvarg[parameters->cArgs - 1 - from_first];
  };
  auto as_number = [](const VARIANT* value) -> int32_t {
    if (value == nullptr) return 0;
    VARIANT converted;
    VariantInit(&converted);
    int32_t number = 0;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_I4)))
      number = converted.lVal;
    VariantClear(&converted);
    return number;
  };
  auto as_text = [](const VARIANT* value) -> std::wstring {
    if (value == nullptr) return {};
    VARIANT converted;
    VariantInit(&converted);
    std::wstring text;
    if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(value), 0, VT_BSTR)) &&
        converted.bstrVal != nullptr) {
      text.assign(converted.bstrVal, SysStringLen(converted.bstrVal));
    }
    VariantClear(&converted);
    return text;
  };
  switch (id) {
    case DISPID_BEFORENAVIGATE2: listener_->browser_event(0, {}); break;
    case DISPID_NAVIGATECOMPLETE2: listener_->browser_event(1, {}); break;
    case DISPID_DOWNLOADBEGIN: listener_->browser_event(2, {}); break;
    case DISPID_PROGRESSCHANGE: {
      const int32_t progress = as_number(argument(0));
      const int32_t maximum = as_number(argument(1));
      int32_t percent = 0;
      if (maximum > 0 && progress >= 0) {
        percent = static_cast<int32_t>(static_cast<int64_t>(progress) * 100 / maximum);
      }
      listener_->browser_event(3, {percent});
      break;
    }
    case DISPID_DOWNLOADCOMPLETE: listener_->browser_event(4, {}); break;
    case DISPID_DOCUMENTCOMPLETE: listener_->browser_event(5, {}); break;
    case DISPID_STATUSTEXTCHANGE:
      listener_->status_text_changed(as_text(argument(0)));
      listener_->browser_event(6, {});
      break;
    case DISPID_TITLECHANGE:
      listener_->title_changed(as_text(argument(0)));
      listener_->browser_event(7, {});
      break;
    case DISPID_COMMANDSTATECHANGE:
      listener_->browser_event(8, {as_number(argument(0)), as_number(argument(1)) != 0 ? 1 : 0});
      break;
    case DISPID_NEWWINDOW2: listener_->browser_event(9, {}); break;
    default: break;
  }
}

// ------------------------------------------------------------- ClientSite

HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::QueryInterface(REFIID iid, void** out) {
  return owner.query(iid, out);
}
ULONG STDMETHODCALLTYPE BrowserHost::ClientSite::AddRef() {
  return owner.add_ref();
}
ULONG STDMETHODCALLTYPE BrowserHost::ClientSite::Release() {
  return owner.release();
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::SaveObject() {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::ShowObject() {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::OnShowWindow(BOOL) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::ClientSite::RequestNewObjectLayout() {
  return E_NOTIMPL;
}

// ------------------------------------------------------------ InPlaceSite

HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::QueryInterface(REFIID iid, void** out) {
  return owner.query(iid, out);
}
ULONG STDMETHODCALLTYPE BrowserHost::InPlaceSite::AddRef() {
  return owner.add_ref();
}
ULONG STDMETHODCALLTYPE BrowserHost::InPlaceSite::Release() {
  return owner.release();
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = owner.host_window_;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::CanInPlaceActivate() {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::OnInPlaceActivate() {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::OnUIActivate() {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame,
                                                                     IOleInPlaceUIWindow** document,
                                                                     RECT* position, RECT* clip,
                                                                     OLEINPLACEFRAMEINFO* info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      info == nullptr) {
    return E_POINTER;
  }
  *frame = &owner.frame_;
  owner.add_ref();
  *document = nullptr;  // no document window between the frame and the site
  *position = owner.host_area();
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = GetAncestor(owner.host_window_, GA_ROOT);
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::Scroll(SIZE) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::OnUIDeactivate(BOOL) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::OnInPlaceDeactivate() {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::DiscardUndoState() {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::DeactivateAndUndo() {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceSite::OnPosRectChange(const RECT* position) {
  if (position == nullptr) return E_POINTER;
  if (owner.in_place_object_) {
    RECT clip = owner.host_area();
    owner.in_place_object_->SetObjectRects(position, &clip);
  }
  return S_OK;
}

// ----------------------------------------------------------- InPlaceFrame

HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::QueryInterface(REFIID iid, void** out) {
  return owner.query(iid, out);
}
ULONG STDMETHODCALLTYPE BrowserHost::InPlaceFrame::AddRef() {
  return owner.add_ref();
}
ULONG STDMETHODCALLTYPE BrowserHost::InPlaceFrame::Release() {
  return owner.release();
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = GetAncestor(owner.host_window_, GA_ROOT);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}
// The frame has no room for tool bars of the control.
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::GetBorder(RECT* border) {
  if (border == nullptr) return E_POINTER;
  return INPLACE_E_NOTOOLSPACE;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::RequestBorderSpace(const BORDERWIDTHS*) {
  return INPLACE_E_NOTOOLSPACE;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::SetBorderSpace(const BORDERWIDTHS* widths) {
  return widths == nullptr ? S_OK : INPLACE_E_NOTOOLSPACE;
}
HRESULT STDMETHODCALLTYPE
BrowserHost::InPlaceFrame::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  owner.active_object_.keep(object);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::InsertMenus(HMENU, OLEMENUGROUPWIDTHS*) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::SetMenu(HMENU, HOLEMENU, HWND) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::RemoveMenus(HMENU) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::SetStatusText(LPCOLESTR) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::EnableModeless(BOOL) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::InPlaceFrame::TranslateAccelerator(MSG*, WORD) {
  return S_FALSE;
}

// -------------------------------------------------------------- EventSink

HRESULT STDMETHODCALLTYPE BrowserHost::EventSink::QueryInterface(REFIID iid, void** out) {
  return owner.query(iid, out);
}
ULONG STDMETHODCALLTYPE BrowserHost::EventSink::AddRef() {
  return owner.add_ref();
}
ULONG STDMETHODCALLTYPE BrowserHost::EventSink::Release() {
  return owner.release();
}
HRESULT STDMETHODCALLTYPE BrowserHost::EventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE BrowserHost::EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                                                DISPID*) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE BrowserHost::EventSink::Invoke(DISPID id, REFIID, LCID, WORD,
                                                         DISPPARAMS* parameters, VARIANT* result,
                                                         EXCEPINFO*, UINT*) {
  if (result != nullptr) VariantInit(result);
  // The owner stays alive while the listener runs, whatever it does.
  owner.add_ref();
  owner.notification(id, parameters);
  owner.release();
  return S_OK;
}

}  // namespace filmbar::win32
