// GTK backend: the HtmlViewer kind on a WebKitWebView (WebKitGTK 4.1).
//
// The view fills a white host that takes the browser area's place, so the
// area is white before its first page. Writing
// Address loads it (an empty text is passed on as it is). Silent declines
// every script dialog and authentication request without showing anything;
// ZoomLevel 0 to 4 sets the text size, 2 being normal. The view's
// notifications are raised as the browser area's events 0 to 9 and nothing
// is ever cancelled. A page's fullscreen request makes the view fill the
// screen until the page leaves fullscreen, and a page may open a new
// window, as its own top-level window, only after a user gesture.
//
// When the build embeds a trusted certificate (a loopback first service),
// it is trusted for that one host when the first view is made.
#include <webkit2/webkit2.h>

#include <string>

#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"
#include "platform/gtk/trusted_cert.h"
#include "platform/gtk/window.h"

namespace filmbar::gtk {
namespace {

using form::browser_prop::Address;
using form::browser_prop::PageTitle;
using form::browser_prop::Silent;
using form::browser_prop::StatusText;
using form::browser_prop::ZoomLevel;
namespace event = form::browser_event;

// Text sizes from smallest to largest; 2 is the page's own size.
constexpr double kTextSizes[] = {0.7, 0.85, 1.0, 1.2, 1.5};

// Size of a new window when the page names none.
constexpr int kNewWindowWidth = 800;
constexpr int kNewWindowHeight = 600;

void trust_configured_certificate() {
  static bool done = false;
  if (done) return;
  done = true;
  const char* pem = trusted_certificate_pem();
  const char* host = trusted_certificate_host();
  if (pem[0] == '\0' || host[0] == '\0') return;
  GError* error = nullptr;
  GTlsCertificate* certificate = g_tls_certificate_new_from_pem(pem, -1, &error);
  if (certificate == nullptr) {
    g_warning("filmbar: the embedded certificate cannot be read: %s", error->message);
    g_error_free(error);
    return;
  }
  webkit_web_context_allow_tls_certificate_for_host(webkit_web_context_get_default(), certificate,
                                                    host);
  g_object_unref(certificate);
}

// What every view of the program does, the browser area's and those of the
// windows its pages open: silent views answer their dialogs themselves.
struct ViewPolicy {
  static gboolean on_script_dialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer silent) {
    if (GPOINTER_TO_INT(silent) == 0) return FALSE;
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
      case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
        break;
      case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
        // Leaving the page goes ahead: a navigation is never cancelled.
        webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
        break;
      default:
        // An alert is dismissed; a prompt left unanswered returns null.
        break;
    }
    return TRUE;
  }

  static gboolean on_authenticate(WebKitWebView*, WebKitAuthenticationRequest* request,
                                  gpointer silent) {
    if (GPOINTER_TO_INT(silent) == 0) return FALSE;
    webkit_authentication_request_cancel(request);
    return TRUE;
  }

  static gboolean on_print(WebKitWebView*, WebKitPrintOperation*, gpointer silent) {
    return GPOINTER_TO_INT(silent) != 0;  // silent: no print dialog
  }
};

// A top-level window for a page that a page opened.
class NewWindow {
 public:
  static GtkWidget* open(WebKitWebView* opener, bool silent) {
    auto* owner = new NewWindow(opener, silent);  // deleted when its window goes
    return owner->view_;
  }

 private:
  NewWindow(WebKitWebView* opener, bool silent) : silent_(silent) {
    view_ = webkit_web_view_new_with_related_view(opener);
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), kNewWindowWidth, kNewWindowHeight);
    gtk_container_add(GTK_CONTAINER(window_), view_);
    connect_policy(WEBKIT_WEB_VIEW(view_), silent);
    g_signal_connect(view_, "ready-to-show", G_CALLBACK(on_ready), this);
    g_signal_connect(view_, "close", G_CALLBACK(on_close), this);
    g_signal_connect(view_, "create", G_CALLBACK(on_create), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(on_title), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(on_destroyed), this);
  }

 public:
  static void connect_policy(WebKitWebView* view, bool silent) {
    gpointer data = GINT_TO_POINTER(silent ? 1 : 0);
    g_signal_connect(view, "script-dialog", G_CALLBACK(ViewPolicy::on_script_dialog), data);
    g_signal_connect(view, "authenticate", G_CALLBACK(ViewPolicy::on_authenticate), data);
    g_signal_connect(view, "print", G_CALLBACK(ViewPolicy::on_print), data);
  }

 private:
  static void on_ready(WebKitWebView* view, gpointer self) {
    auto* owner = static_cast<NewWindow*>(self);
    WebKitWindowProperties* properties = webkit_web_view_get_window_properties(view);
    GdkRectangle geometry{0, 0, 0, 0};
    webkit_window_properties_get_geometry(properties, &geometry);
    if (geometry.width > 0 && geometry.height > 0) {
      gtk_window_resize(GTK_WINDOW(owner->window_), geometry.width, geometry.height);
    }
    if (geometry.x != 0 || geometry.y != 0) {
      gtk_window_move(GTK_WINDOW(owner->window_), geometry.x, geometry.y);
    }
    gtk_widget_show_all(owner->window_);
  }

  static void on_close(WebKitWebView*, gpointer self) {
    gtk_widget_destroy(static_cast<NewWindow*>(self)->window_);
  }

  static GtkWidget* on_create(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
    if (!webkit_navigation_action_is_user_gesture(action)) return nullptr;
    return open(view, static_cast<NewWindow*>(self)->silent_);
  }

  static void on_title(WebKitWebView* view, GParamSpec*, gpointer self) {
    const gchar* title = webkit_web_view_get_title(view);
    gtk_window_set_title(GTK_WINDOW(static_cast<NewWindow*>(self)->window_),
                         title != nullptr ? title : "");
  }

  static void on_destroyed(GtkWidget*, gpointer self) { delete static_cast<NewWindow*>(self); }

  GtkWidget* view_ = nullptr;
  GtkWidget* window_ = nullptr;
  bool silent_;
};

class BrowserArea final : public Control {
 public:
  BrowserArea(Window& window, const form::UnitSettings& settings, GtkWidget* view)
      : Control(window, settings), view_(WEBKIT_WEB_VIEW(view)) {
    GtkWidget* host = gtk_event_box_new();
    set_widget_css(host, "* { background-color: #ffffff; }");
    gtk_container_add(GTK_CONTAINER(host), view);
    gtk_widget_show(view);
    attach(host, settings.height);
    const GdkRGBA white{1, 1, 1, 1};
    webkit_web_view_set_background_color(view_, &white);
    WebKitSettings* view_settings = webkit_web_view_get_settings(view_);
    webkit_settings_set_zoom_text_only(view_settings, TRUE);
    webkit_settings_set_javascript_can_open_windows_automatically(view_settings, FALSE);
    webkit_settings_set_enable_fullscreen(view_settings, TRUE);
    apply_zoom();
    NewWindow::connect_policy(view_, own_.number(Silent) != 0);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(on_decide_policy), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(on_load_changed), this);
    g_signal_connect(view_, "notify::estimated-load-progress", G_CALLBACK(on_progress), this);
    g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(on_mouse_target), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(on_title), this);
    history_ = WEBKIT_BACK_FORWARD_LIST(g_object_ref(webkit_web_view_get_back_forward_list(view_)));
    g_signal_connect(history_, "changed", G_CALLBACK(on_history_changed), this);
    g_signal_connect(view_, "create", G_CALLBACK(on_create), this);
    g_signal_connect(view_, "enter-fullscreen", G_CALLBACK(on_enter_fullscreen), this);
    g_signal_connect(view_, "leave-fullscreen", G_CALLBACK(on_leave_fullscreen), this);
    if (!own_.text(Address).empty()) load();
  }

  ~BrowserArea() override {
    g_signal_handlers_disconnect_by_data(history_, this);
    g_object_unref(history_);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    if (n == StatusText || n == PageTitle) return false;  // the view's own, read-only
    own_.set(n, value);
    if (n == Address) load();
    if (n == ZoomLevel) apply_zoom();
    if (n == Silent) {
      g_signal_handlers_disconnect_matched(view_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           reinterpret_cast<gpointer>(ViewPolicy::on_script_dialog),
                                           nullptr);
      g_signal_handlers_disconnect_matched(view_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           reinterpret_cast<gpointer>(ViewPolicy::on_authenticate),
                                           nullptr);
      g_signal_handlers_disconnect_matched(view_, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr,
                                           reinterpret_cast<gpointer>(ViewPolicy::on_print),
                                           nullptr);
      NewWindow::connect_policy(view_, own_.number(Silent) != 0);
    }
    return false;
  }

 private:
  void load() {
    const std::string address = utf8_from_cp936(own_.text(Address));
    webkit_web_view_load_uri(view_, address.c_str());
  }

  void apply_zoom() {
    int32_t level = own_.number(ZoomLevel);
    level = level < 0 ? 0 : level > 4 ? 4 : level;
    webkit_web_view_set_zoom_level(view_, kTextSizes[level]);
  }

  static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision*,
                                   WebKitPolicyDecisionType type, gpointer self) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
      static_cast<BrowserArea*>(self)->raise(event::BeforeNavigate);
    }
    return FALSE;  // the view decides as it would by itself
  }

  static void on_load_changed(WebKitWebView*, WebKitLoadEvent load_event, gpointer self) {
    auto* area = static_cast<BrowserArea*>(self);
    switch (load_event) {
      case WEBKIT_LOAD_STARTED: area->raise(event::DownloadBegin); break;
      case WEBKIT_LOAD_COMMITTED: area->raise(event::NavigateComplete); break;
      case WEBKIT_LOAD_FINISHED:
        area->raise(event::DownloadComplete);
        if (area->exists()) area->raise(event::DocumentComplete);
        break;
      default: break;
    }
  }

  static void on_progress(WebKitWebView* view, GParamSpec*, gpointer self) {
    const double progress = webkit_web_view_get_estimated_load_progress(view);
    static_cast<BrowserArea*>(self)->raise(event::ProgressChange,
                                           {static_cast<int32_t>(progress * 100.0)});
  }

  static void on_mouse_target(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) {
    auto* area = static_cast<BrowserArea*>(self);
    const gchar* link = webkit_hit_test_result_context_is_link(hit)
                            ? webkit_hit_test_result_get_link_uri(hit)
                            : nullptr;
    std::string status = cp936_from_utf8(link);
    if (status == area->own_.text(StatusText)) return;
    area->own_.set(StatusText,
                   platform::RawValue{0, 0, status.data(), static_cast<uint32_t>(status.size())});
    area->raise(event::StatusTextChange);
  }

  static void on_title(WebKitWebView* view, GParamSpec*, gpointer self) {
    auto* area = static_cast<BrowserArea*>(self);
    std::string title = cp936_from_utf8(webkit_web_view_get_title(view));
    area->own_.set(PageTitle,
                   platform::RawValue{0, 0, title.data(), static_cast<uint32_t>(title.size())});
    area->raise(event::TitleChange);
  }

  static void on_history_changed(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                 gpointer self) {
    static_cast<BrowserArea*>(self)->raise(event::CommandStateChange);
  }

  static GtkWidget* on_create(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
    auto* area = static_cast<BrowserArea*>(self);
    area->raise(event::NewWindow);
    if (!area->exists() || !webkit_navigation_action_is_user_gesture(action)) return nullptr;
    return NewWindow::open(view, area->own_.number(Silent) != 0);
  }

  // The window makes room for the view first; the view's own handling then
  // runs as well and shows the element fullscreen in it (taking that over
  // leaves the video unpainted).
  static gboolean on_enter_fullscreen(WebKitWebView*, gpointer self) {
    auto* area = static_cast<BrowserArea*>(self);
    area->window().enter_fullscreen(*area);
    return FALSE;
  }

  static gboolean on_leave_fullscreen(WebKitWebView*, gpointer self) {
    static_cast<BrowserArea*>(self)->window().leave_fullscreen();
    return FALSE;
  }

  GtkWidget* focus_widget() const override { return GTK_WIDGET(view_); }

  WebKitWebView* view_;
  WebKitBackForwardList* history_ = nullptr;
};

}  // namespace

std::unique_ptr<Control> make_browser_area(Window& window, const form::UnitSettings& settings) {
  trust_configured_certificate();
  // The view cannot be had when the engine cannot start: the browser area,
  // and with it the window, cannot be built.
  GtkWidget* view = webkit_web_view_new();
  if (view == nullptr) return nullptr;
  return std::make_unique<BrowserArea>(window, settings, view);
}

}  // namespace filmbar::gtk
