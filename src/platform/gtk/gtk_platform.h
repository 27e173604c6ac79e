// GTK backend: the process services, the loop and the error box.
#pragma once

#include "platform/platform.h"

namespace filmbar::gtk {

class GtkPlatform final : public platform::Platform {
 public:
  // Needs gtk_init to have run; puts the input router in front of GTK.
  GtkPlatform();

  void* heap_alloc(std::size_t size) override;
  void heap_free(void* block) override;
  std::string program_file_path() override;
  char path_separator() const override { return '/'; }
  bool set_current_directory(const std::string& folder) override;
  void ole_initialize() override {}
  void ole_uninitialize() override {}
  platform::LocalTime local_time_now() override;
  platform::Size screen_size() override;

  void show_error_box(const std::string& message) override;
  [[noreturn]] void exit_process(int32_t code) override;

  std::unique_ptr<platform::NativeWindow> create_window(const form::UnitSettings& settings,
                                                        const platform::Rect& outer) override;

  bool deliver_next_message(int32_t& quit_code) override;
  void post_quit(int32_t code) override;
  void process_pending_messages() override;

 private:
  bool quit_posted_ = false;
  int32_t quit_code_ = 0;
};

}  // namespace filmbar::gtk
