// The declared main window: units, kinds, their property lists and the
// bindings of events to routines. Everything here is data; nothing in the
// program creates or moves a control except by reading it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace filmbar::form {

// High 16 bits: the control library (1 basic, 2 extended, 3 browser);
// low 16 bits: the kind within it.
enum class Kind : uint32_t {
  Window = 0x10001,
  EditBox = 0x10005,
  Button = 0x1000b,
  ComboBox = 0x1000e,
  Timer = 0x10020,
  TransLabel = 0x20005,
  HtmlViewer = 0x30001,
};

// How a property value crosses read_property / write_property.
enum class ValueKind {
  Integer,
  NonNegativeInteger,
  Logical,
  Number64,
  Text,
  ByteData,
  Font,
};

// One setting's value as the form stores it. Texts are code page 936 bytes.
// A list of texts (the chooser's entries) uses `items`.
struct Value {
  int64_t number = 0;
  std::string text;
  std::vector<std::string> items;
  bool has_items = false;

  static Value of_number(int64_t n) { return Value{n, {}, {}, false}; }
  static Value of_text(std::string t) { return Value{0, std::move(t), {}, false}; }
  static Value of_items(std::vector<std::string> list) { return Value{0, {}, std::move(list), true}; }
};

// One entry of a kind's property list.
struct PropertyDecl {
  const char* name;
  ValueKind kind;
  Value default_value;
  bool read_only = false;
};

// The portable half of a control kind.
struct KindDecl {
  Kind kind;
  const char* name;
  std::vector<PropertyDecl> properties;  // own property n has index 8 + n
  bool raises_events;
  bool takes_focus;
};

// Returns the declaration of a kind, or nullptr for an unknown kind number.
const KindDecl* find_kind(Kind kind);

// The eight properties that every unit has, indices 0 to 7.
enum CommonProperty : int32_t {
  kLeft = 0,
  kTop,
  kWidth,
  kHeight,
  kTag,
  kVisible,
  kDisabled,
  kMousePointer,
  kFirstOwnProperty = 8,
};

// Own property numbers of each kind (property index = 8 + number).
namespace window_prop {
enum : int32_t {
  Caption, BorderStyle, ControlBox, MinButton, MaxButton, StartPosition, BackColor, Picture,
  PictureLayout, Icon, BackgroundSound, Movable, ShowInTaskbar, EscCloses, EnterMovesFocus,
  F1Help, HelpFile, HelpTopic, DragAnywhere, Shape, AlwaysOnTop, KeepTitleActive,
};
}
namespace timer_prop {
enum : int32_t { Period };
}
namespace label_prop {
enum : int32_t { Title, Effect, Font, TextColor, HorizontalAlign, WordWrap, VerticalAlign };
}
namespace combo_prop {
enum : int32_t {
  Style, Content, MaxLength, SelStart, SelLength, SelText, Sorted, LineSpacing, TextColor,
  BackColor, Font, CurrentSelection, Items, ItemValues, DataSource, DataColumn,
};
}
namespace browser_prop {
enum : int32_t { ZoomLevel, Offline, Silent, Address, StatusText, PageTitle, DesignPreview };
}
namespace button_prop {
enum : int32_t { Picture, ButtonType, Caption, HorizontalAlign, VerticalAlign, Font };
}
namespace edit_prop {
enum : int32_t {
  Content, Border, TextColor, BackColor, Font, HideSelection, MaxLength, MultiLine, ScrollBars,
  Alignment, InputMode, PasswordChar, CaseConversion, SpinMode, SpinMin, SpinMax, SelStart,
  SelLength, SelText, DataSource, DataColumn,
};
}

// A kind setting that differs from the kind's default.
struct SettingDecl {
  int32_t own_property;
  Value value;
};

// (event number, index into the program's routine table; -1 for none).
struct BindingDecl {
  int32_t event;
  int32_t routine_index;
};

// One unit (the window or a control) as the form declares it.
struct UnitDecl {
  Kind kind;
  std::string name;  // code page 936
  uint32_t number;
  int32_t left, top, width, height;
  bool visible;
  bool tab_stop;
  bool disabled = false;
  int32_t tab_order = 0;
  int32_t mouse_pointer = 0;
  uint32_t parent = 0;
  std::vector<SettingDecl> settings;
  std::vector<BindingDecl> bindings;
  uint32_t binding_link = 0;  // another control whose binding list this one uses; 0 for none
};

// A window and its controls in form order (the first control in front).
struct WindowDecl {
  UnitDecl window;
  std::vector<UnitDecl> controls;
};

struct FormDecl {
  std::vector<WindowDecl> windows;
};

// A unit with every kind setting resolved against the kind's defaults:
// what a backend builds a control from.
struct UnitSettings {
  Kind kind;
  std::string name;
  uint32_t number;
  int32_t left, top, width, height;
  bool visible, tab_stop, disabled;
  int32_t tab_order;
  int32_t mouse_pointer;
  std::vector<Value> own;  // indexed by own property number
};

// Fills every own setting of `unit`: the form's value where it gives one,
// the kind's default otherwise. Returns false for an unknown kind or a
// setting number outside the kind's property list.
bool resolve_settings(const UnitDecl& unit, UnitSettings& out);

// Window and control numbers of the main window.
inline constexpr uint32_t kMainWindow = 0x52010001;
inline constexpr uint32_t kTimer = 0x16010013;
inline constexpr uint32_t kClockLabel = 0x1601000d;
inline constexpr uint32_t kServiceChooser = 0x1601000c;
inline constexpr uint32_t kBrowserArea = 0x16010006;
inline constexpr uint32_t kPlayButton = 0x16010005;
inline constexpr uint32_t kCaptionLabel = 0x16010003;
inline constexpr uint32_t kAddressBox = 0x16010002;

// Indices of the program's routine table that the main form binds.
enum RoutineIndex : int32_t {
  kWindowCreatedRoutine = 0,
  kPlayClickedRoutine = 1,
  kAddressBoxMouseMovedRoutine = 2,
};

// The program's own form: the main window and its seven controls.
const FormDecl& main_form();

// Event numbers shared by every unit with a visible window.
enum SharedEvent : int32_t {
  kLeftDown = -1,
  kLeftUp = -2,
  kLeftDouble = -3,
  kRightDown = -4,
  kRightUp = -5,
  kMouseMoved = -6,
  kGotFocus = -7,
  kLostFocus = -8,
  kKeyDown = -9,
  kKeyUp = -10,
  kCharacter = -11,
  kWheel = -12,
};

namespace window_event {
enum : int32_t {
  Created = 0, SecondCloseQuery = 1, BeingDestroyed = 2, Moved = 3, Resized = 4, Activated = 5,
  Deactivated = 6, Idle = 7, FirstActivated = 8, Shown = 10, Hidden = 11, FirstCloseQuery = 12,
};
}
namespace combo_event {
enum : int32_t { EntryPicked = 0, EditTextChanged, ListDropping, ListClosed, DoubleClick };
}
namespace browser_event {
enum : int32_t {
  BeforeNavigate = 0, NavigateComplete, DownloadBegin, ProgressChange, DownloadComplete,
  DocumentComplete, StatusTextChange, TitleChange, CommandStateChange, NewWindow,
};
}
inline constexpr int32_t kClicked = 0;         // Button
inline constexpr int32_t kContentChanged = 0;  // EditBox
inline constexpr int32_t kTick = 0;            // Timer

}  // namespace filmbar::form
