// The portable half of each control kind: its property list in order, with
// value kinds and defaults, whether it raises events and takes the focus.
#include "form/form.h"

namespace filmbar::form {
namespace {

using VK = ValueKind;

PropertyDecl integer(const char* name, int64_t value) {
  return {name, VK::Integer, Value::of_number(value)};
}
PropertyDecl non_negative(const char* name, int64_t value) {
  return {name, VK::NonNegativeInteger, Value::of_number(value)};
}
PropertyDecl logical(const char* name, int64_t value) {
  return {name, VK::Logical, Value::of_number(value)};
}
PropertyDecl text(const char* name, const char* value, bool read_only = false) {
  return {name, VK::Text, Value::of_text(value), read_only};
}
PropertyDecl bytes(const char* name) {
  return {name, VK::ByteData, Value{}};
}
// "None" means the stock default GUI font.
PropertyDecl font(const char* name) {
  return {name, VK::Font, Value{}};
}

constexpr int64_t kBlack = 0x00000000;
constexpr int64_t kWhite = 0x00FFFFFF;
constexpr int64_t kButtonFace = 0xFF000000;

const std::vector<KindDecl>& kinds() {
  static const std::vector<KindDecl> all = {
      {Kind::Window,
       "window",
       {text("Caption", ""),
        integer("BorderStyle", 2),
        logical("ControlBox", 1),
        logical("MinButton", 1),
        logical("MaxButton", 0),
        integer("StartPosition", 1),
        integer("BackColor", kButtonFace),
        bytes("Picture"),
        integer("PictureLayout", 1),
        bytes("Icon"),
        bytes("BackgroundSound"),
        logical("Movable", 1),
        logical("ShowInTaskbar", 1),
        logical("EscCloses", 1),
        logical("EnterMovesFocus", 0),
        logical("F1Help", 0),
        text("HelpFile", ""),
        integer("HelpTopic", 0),
        logical("DragAnywhere", 0),
        integer("Shape", 0),
        logical("AlwaysOnTop", 0),
        logical("KeepTitleActive", 0)},
       true,
       false},
      {Kind::EditBox,
       "EditBox",
       {text("Content", ""),
        integer("Border", 1),
        integer("TextColor", kBlack),
        integer("BackColor", kWhite),
        font("Font"),
        logical("HideSelection", 1),
        non_negative("MaxLength", 0),
        logical("MultiLine", 0),
        integer("ScrollBars", 0),
        integer("Alignment", 0),
        integer("InputMode", 0),
        text("PasswordChar", "*"),
        integer("CaseConversion", 0),
        integer("SpinMode", 0),
        integer("SpinMin", 0),
        integer("SpinMax", 100),
        non_negative("SelStart", 0),
        non_negative("SelLength", 0),
        text("SelText", ""),
        text("DataSource", ""),
        text("DataColumn", "")},
       true,
       true},
      {Kind::Button,
       "Button",
       // "按钮"
       {bytes("Picture"), integer("ButtonType", 0), text("Caption", "\xB0\xB4\xC5\xA5"),
        integer("HorizontalAlign", 1), integer("VerticalAlign", 1), font("Font")},
       true,
       true},
      {Kind::ComboBox,
       "ComboBox",
       {integer("Style", 1), text("Content", ""), non_negative("MaxLength", 0),
        non_negative("SelStart", 0), non_negative("SelLength", 0), text("SelText", ""),
        logical("Sorted", 0), integer("LineSpacing", 1), integer("TextColor", kBlack),
        integer("BackColor", kWhite), font("Font"), integer("CurrentSelection", -1), bytes("Items"),
        bytes("ItemValues"), text("DataSource", ""), text("DataColumn", "")},
       true,
       true},
      {Kind::Timer, "Timer", {non_negative("Period", 0)}, true, false},
      {Kind::TransLabel,
       "TransLabel",
       // "透明标签"
       {text("Title", "\xCD\xB8\xC3\xF7\xB1\xEA\xC7\xA9"), integer("Effect", 0), font("Font"),
        integer("TextColor", kBlack), integer("HorizontalAlign", 0), logical("WordWrap", 0),
        integer("VerticalAlign", 1)},
       true,
       false},
      {Kind::HtmlViewer,
       "HtmlViewer",
       {integer("ZoomLevel", 2), logical("Offline", 0), logical("Silent", 0), text("Address", ""),
        text("StatusText", "", true), text("PageTitle", "", true), logical("DesignPreview", 0)},
       true,
       true},
  };
  return all;
}

}  // namespace

const KindDecl* find_kind(Kind kind) {
  for (const KindDecl& decl : kinds()) {
    if (decl.kind == kind) return &decl;
  }
  return nullptr;
}

bool resolve_settings(const UnitDecl& unit, UnitSettings& out) {
  const KindDecl* decl = find_kind(unit.kind);
  if (decl == nullptr) return false;
  out = UnitSettings{
      unit.kind,   unit.name,    unit.number,   unit.left,     unit.top,       unit.width,
      unit.height, unit.visible, unit.tab_stop, unit.disabled, unit.tab_order, unit.mouse_pointer,
      {}};
  out.own.reserve(decl->properties.size());
  for (const PropertyDecl& property : decl->properties) out.own.push_back(property.default_value);
  for (const SettingDecl& setting : unit.settings) {
    if (setting.own_property < 0 ||
        static_cast<size_t>(setting.own_property) >= decl->properties.size()) {
      return false;
    }
    out.own[static_cast<size_t>(setting.own_property)] = setting.value;
  }
  return true;
}

}  // namespace filmbar::form
