// Win32 backend: the Platform implementation that main.cpp installs.
#pragma once

#include <string>

#include "platform/platform.h"

namespace filmbar::win32 {

class Win32Platform final : public platform::Platform {
 public:
  void* heap_alloc(std::size_t size) override;
  void heap_free(void* block) override;
  std::string program_file_path() override;
  char path_separator() const override { return '\\'; }
  bool set_current_directory(const std::string& folder) override;
  void ole_initialize() override;
  void ole_uninitialize() override;
  platform::LocalTime local_time_now() override;
  platform::Size screen_size() override;
  void connect_control_libraries() override;
  void show_error_box(const std::string& message) override;
  [[noreturn]] void exit_process(int32_t code) override;
  std::unique_ptr<platform::NativeWindow> create_window(const form::UnitSettings& settings,
                                                        const platform::Rect& outer) override;
  bool deliver_next_message(int32_t& quit_code) override;
  void post_quit(int32_t code) override;
  void process_pending_messages() override;

 private:
  // The program file's folder as the system gave it, so that a folder
  // name that code page 936 cannot spell still becomes the current one.
  std::wstring program_folder_wide_;
  std::string program_folder_cp936_;
};

}  // namespace filmbar::win32
