// GTK backend: the Platform of the Linux desktop program (GTK 3, GLib).
//
// The program heap is malloc's; the program file is /proc/self/exe; the
// clock is the C library's local time; the screen is GDK's primary
// monitor. The loop is the GLib main context: each call delivers one
// iteration, and a posted quit wakes it. The fatal-stop box is a modal
// GtkMessageDialog with no parent, running its own loop until it is closed.
// OLE has no counterpart here.
#include "platform/gtk/gtk_platform.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/gtk/input.h"
#include "platform/gtk/text_conversion.h"
#include "platform/gtk/window.h"

namespace filmbar::gtk {

GtkPlatform::GtkPlatform() {
  install_input_router();
}

void* GtkPlatform::heap_alloc(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

void GtkPlatform::heap_free(void* block) {
  std::free(block);
}

std::string GtkPlatform::program_file_path() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return std::string();
  return std::string(buffer.data(), static_cast<size_t>(length));
}

bool GtkPlatform::set_current_directory(const std::string& folder) {
  return chdir(folder.c_str()) == 0;
}

platform::LocalTime GtkPlatform::local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

platform::Size GtkPlatform::screen_size() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle geometry;
  gdk_monitor_get_geometry(monitor, &geometry);
  return {geometry.width, geometry.height};
}

void GtkPlatform::show_error_box(const std::string& message) {
  const std::string text = utf8_from_cp936(message);
  set_error_box_showing(true);
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "");
  // GTK's message dialogs no longer show their type's icon: put it back
  // beside the message, where the box that holds the message keeps it.
  GtkWidget* message_area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
  GtkWidget* beside_message = gtk_widget_get_parent(message_area);
  if (beside_message != nullptr && GTK_IS_BOX(beside_message)) {
    GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_widget_show(icon);
    gtk_box_pack_start(GTK_BOX(beside_message), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(beside_message), icon, 0);
  }
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  set_error_box_showing(false);
}

void GtkPlatform::exit_process(int32_t code) {
  std::fflush(nullptr);
  // No static destructors: the run time has shut down already, and the
  // toolkit's threads must not run on into a half-torn-down process.
  _exit(code);
}

std::unique_ptr<platform::NativeWindow> GtkPlatform::create_window(
    const form::UnitSettings& settings, const platform::Rect& outer) {
  auto window = std::make_unique<Window>(settings, outer);
  if (!window->exists()) return nullptr;
  return window;
}

bool GtkPlatform::deliver_next_message(int32_t& quit_code) {
  if (!quit_posted_) g_main_context_iteration(nullptr, TRUE);
  if (!quit_posted_) return true;
  quit_posted_ = false;
  quit_code = quit_code_;
  return false;
}

void GtkPlatform::post_quit(int32_t code) {
  quit_posted_ = true;
  quit_code_ = code;
  g_main_context_wakeup(nullptr);
}

void GtkPlatform::process_pending_messages() {
  while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

}  // namespace filmbar::gtk
