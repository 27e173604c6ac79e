// The program's one window: the browser area on top, the bar along the
// bottom (caption, address box, service chooser, clock, Play), and a timer.
// Chinese texts stand as code page 936 bytes with their reading beside them.
#include "form/form.h"

namespace filmbar::form {

const FormDecl& main_form() {
  static const FormDecl form = {{WindowDecl{
      UnitDecl{Kind::Window, "", kMainWindow, 50, 50, 822, 554, true, false, false, 0, 0, 0,
               {{window_prop::BackColor, Value::of_number(0x00000000)}},
               {{window_event::Created, kWindowCreatedRoutine}}},
      {
          // "时钟1"
          UnitDecl{Kind::Timer, "\xCA\xB1\xD6\xD3" "1", kTimer, 640, 512, 16, 16, false, false},
          // "透明标签2": the clock label, violet.
          UnitDecl{Kind::TransLabel,
                   "\xCD\xB8\xC3\xF7\xB1\xEA\xC7\xA9" "2",
                   kClockLabel, 512, 504, 160, 24, true, false, false, 0, 0, 0,
                   {{label_prop::TextColor, Value::of_number(0x00FF0090)}}},
          // "组合框1": the service chooser, a drop-down list of
          // " 万能 接口", " 备用 接口" and a blank entry.
          UnitDecl{Kind::ComboBox,
                   "\xD7\xE9\xBA\xCF\xBF\xF2" "1",
                   kServiceChooser, 384, 504, 120, 20, true, true, false, 0, 0, 0,
                   {{combo_prop::Style, Value::of_number(2)},
                    {combo_prop::CurrentSelection, Value::of_number(0)},
                    {combo_prop::Items, Value::of_items({"\x20\xCD\xF2\xC4\xDC\x20\xBD\xD3\xBF\xDA",
                                                         "\x20\xB1\xB8\xD3\xC3\x20\xBD\xD3\xBF\xDA",
                                                         ""})}}},
          // "超文本浏览框1": the browser area, silent.
          UnitDecl{Kind::HtmlViewer,
                   "\xB3\xAC\xCE\xC4\xB1\xBE\xE4\xAF\xC0\xC0\xBF\xF2" "1",
                   kBrowserArea, 0, 0, 856, 496, true, true, false, 0, 0, 0,
                   {{browser_prop::Silent, Value::of_number(1)}}},
          // "按钮1": the Play button, "播放".
          UnitDecl{Kind::Button,
                   "\xB0\xB4\xC5\xA5" "1",
                   kPlayButton, 672, 504, 144, 24, true, true, false, 0, 0, 0,
                   {{button_prop::Caption, Value::of_text("\xB2\xA5\xB7\xC5")}},
                   {{kClicked, kPlayClickedRoutine}}},
          // "透明标签1": the caption label "电影 地址：", red.
          UnitDecl{Kind::TransLabel,
                   "\xCD\xB8\xC3\xF7\xB1\xEA\xC7\xA9" "1",
                   kCaptionLabel, 16, 504, 72, 24, true, false, false, 0, 0, 0,
                   {{label_prop::Title, Value::of_text("\xB5\xE7\xD3\xB0\x20\xB5\xD8\xD6\xB7\xA3\xBA")},
                    {label_prop::TextColor, Value::of_number(0x000000FF)}}},
          // "编辑框1": the address box, all defaults.
          UnitDecl{Kind::EditBox,
                   "\xB1\xE0\xBC\xAD\xBF\xF2" "1",
                   kAddressBox, 80, 504, 296, 24, true, true, false, 0, 0, 0,
                   {},
                   {{kMouseMoved, kAddressBoxMouseMovedRoutine}}},
      }}}};
  return form;
}

}  // namespace filmbar::form
