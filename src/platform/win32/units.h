// Win32 backend: the window and control classes shared by the backend's
// files, the property store every unit keeps its own settings in, and the
// small RAII holders for GDI objects. Plain Win32, W functions.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "form/form.h"
#include "platform/events.h"
#include "platform/platform.h"

namespace filmbar::win32 {

// Owns one GDI object (brush, font) and deletes it once.
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(HGDIOBJ handle) : handle_(handle) {}
  ~GdiObject() { reset(); }
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(other.release()) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  void reset(HGDIOBJ handle = nullptr) {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = handle;
  }
  HGDIOBJ release() {
    HGDIOBJ handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  HGDIOBJ get() const { return handle_; }

 private:
  HGDIOBJ handle_ = nullptr;
};

// A unit's own properties as raw values: what the form set, or what was
// written since. Kinds answer the properties the system control holds
// itself (texts, selection) from the control and keep the rest here.
class OwnValues {
 public:
  explicit OwnValues(const std::vector<form::Value>& settings);

  bool valid(int32_t n) const { return n >= 0 && static_cast<std::size_t>(n) < values_.size(); }
  platform::RawValue raw(int32_t n) const;
  void set(int32_t n, const platform::RawValue& value);

  int32_t number(int32_t n) const;
  void set_number(int32_t n, int32_t value);
  const std::string& bytes(int32_t n) const;
  void set_bytes(int32_t n, std::string bytes);
  // Whether a byte-data or font value is present (a font record, a list).
  bool has_data(int32_t n) const;
  // A list property's entries (each stored followed by one zero byte).
  std::vector<std::string> items(int32_t n) const;

 private:
  struct Stored {
    int32_t number = 0;
    int32_t number_high = 0;
    std::string bytes;
    bool has_data = false;
  };
  std::vector<Stored> values_;
};

// A colour setting (0x00BBGGRR; 0xFF000000 the system's button face).
COLORREF colour_of(int32_t setting);

// The font a control draws with: the stock default GUI font, or one made
// from a 60-byte font record.
class ControlFont {
 public:
  void choose(const OwnValues& own, int32_t n);
  HFONT get() const;

 private:
  GdiObject made_;
};

// Registers a window class of the backend's own once; its procedure hands
// every message to the Win32Control passed as the creation parameter.
void register_unit_class(const wchar_t* class_name, HBRUSH background);

class Win32Window;

// What every control has in common: its system window, its place in the
// window, its own properties and the window it lies on.
class Win32Control : public platform::NativeControl {
 public:
  Win32Control(Win32Window& window, const form::UnitSettings& settings);
  ~Win32Control() override;
  Win32Control(const Win32Control&) = delete;
  Win32Control& operator=(const Win32Control&) = delete;

  bool exists() const override;
  platform::Rect bounds() const override;
  void set_bounds(const platform::Rect& place) override;
  bool visible() const override;
  void set_visible(bool visible) override;
  bool enabled() const override;
  void set_enabled(bool enabled) override;
  platform::RawValue get_own(int32_t n) override;
  bool set_own(int32_t n, const platform::RawValue& value) override;
  void recreate() override;
  void focus() override;

  // Builds the system window, hidden; false when it cannot be had.
  bool create();

  uint32_t number() const { return number_; }
  HWND hwnd() const { return hwnd_; }
  // Whether `inner` is a window inside this control that counts as the
  // control itself (the chooser's list, the browser's own windows).
  virtual bool contains(HWND inner) const;
  // A WM_COMMAND notification from the system control.
  virtual void on_command(UINT code) { (void)code; }
  // WM_CTLCOLOR*: colours for the control; nullptr for the system's.
  virtual HBRUSH on_colour(HDC dc) {
    (void)dc;
    return nullptr;
  }
  // Keys offered to the control before the window's pre-translation;
  // true when the control took the message.
  virtual bool take_keys_first(MSG& message) {
    (void)message;
    return false;
  }
  // The system window of the backend's own class being created for this
  // control, known before CreateWindowExW returns.
  void bind_window(HWND hwnd) { hwnd_ = hwnd; }
  // Messages of the backend's own window classes.
  virtual bool own_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

  // The window is about to destroy its system window and every child.
  virtual void window_destroying() {}
  // The system window went with its parent's.
  void window_gone();
  // The window object itself is going; forget it.
  void detach_window() { window_ = nullptr; }

 protected:
  // Creates the system window from the current state, hidden, at `place`.
  virtual HWND build(HWND parent, const platform::Rect& place) = 0;
  // Saves what only the system window holds before it is rebuilt.
  virtual void keep_state() {}
  // Styles every child has: tab stop and disabled as the settings say.
  DWORD child_style() const;
  void raise(int32_t event, std::initializer_list<int32_t> arguments = {});
  // Tells the window that the keyboard focus may have moved.
  void focus_moved();
  // Keeps a code page 936 copy for get_own to point at.
  platform::RawValue hand_out(std::string bytes);
  std::wstring window_text() const;

  Win32Window* window_;
  uint32_t window_number_;
  uint32_t number_;
  OwnValues own_;
  HWND hwnd_ = nullptr;
  bool tab_stop_;
  bool disabled_at_start_;
  platform::Rect initial_place_;

 private:
  std::string handed_out_;
};

// The top-level window of a form.
class Win32Window : public platform::NativeWindow {
 public:
  explicit Win32Window(const form::UnitSettings& settings);
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  bool create(const platform::Rect& outer);

  bool exists() const override;
  platform::Rect bounds() const override;
  void set_bounds(const platform::Rect& place) override;
  bool visible() const override;
  void set_visible(bool visible) override;
  bool enabled() const override;
  void set_enabled(bool enabled) override;
  platform::RawValue get_own(int32_t n) override;
  bool set_own(int32_t n, const platform::RawValue& value) override;
  void focus() override;

  std::unique_ptr<platform::NativeControl> create_control(
      const form::UnitSettings& settings) override;
  void stack_front_to_back(const std::vector<platform::NativeControl*>& controls) override;
  void show(int32_t start_position) override;
  void destroy() override;

  HWND hwnd() const { return hwnd_; }
  uint32_t number() const { return number_; }
  void attach(Win32Control* control);
  void detach(Win32Control* control);

  // Whether `target` is this window, a window inside it or a part of one
  // of its controls.
  bool holds(HWND target) const;
  // The control that `target` belongs to; nullptr for the window's body.
  Win32Control* control_at(HWND target) const;
  // Reports a change of the focused control to the core.
  void sync_focus();

  // The live window that holds `target`, if any.
  static Win32Window* owner_of(HWND target);
  static void sync_focus_everywhere();

 private:
  static void register_class();
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void apply_background();
  void apply_frame_styles();
  void raise(int32_t event);

  uint32_t number_;
  OwnValues own_;
  HWND hwnd_ = nullptr;
  GdiObject background_;
  std::vector<Win32Control*> controls_;
  uint32_t focused_control_ = 0;
  bool shown_ = false;
  bool activated_once_ = false;
  bool destroying_ = false;
  std::string handed_out_;
};

// The kinds' native halves (edit_box.cpp, button.cpp, ...).
std::unique_ptr<Win32Control> make_edit_box(Win32Window& window,
                                            const form::UnitSettings& settings);
std::unique_ptr<Win32Control> make_button(Win32Window& window, const form::UnitSettings& settings);
std::unique_ptr<Win32Control> make_combo_box(Win32Window& window,
                                             const form::UnitSettings& settings);
std::unique_ptr<Win32Control> make_trans_label(Win32Window& window,
                                               const form::UnitSettings& settings);
std::unique_ptr<Win32Control> make_timer(Win32Window& window, const form::UnitSettings& settings);
std::unique_ptr<Win32Control> make_browser_area(Win32Window& window,
                                                const form::UnitSettings& settings);

HINSTANCE program_instance();

}  // namespace filmbar::win32
