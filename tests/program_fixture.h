// A fixture that runs the program on the headless backend, and helpers to
// build variants of the program (extra bindings, spy routines) for tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless_platform.h"
#include "routines/routines.h"
#include "shell/shell.h"

namespace filmbar::testing {

inline const std::string kFirstBase = FIRST_BASE;
inline const std::string kSecondBase = SECOND_BASE;

// Code page 936 texts of the window.
inline const std::string kCaptionTitle =
    "\xB5\xE7\xD3\xB0\x20\xB5\xD8\xD6\xB7\xA3\xBA";      // 电影 地址：
inline const std::string kChinese = "\xB5\xE7\xD3\xB0";  // 电影

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell::reset_for_tests();
    platform::install(&backend);
  }
  void TearDown() override {
    shell::reset_for_tests();
    platform::install(nullptr);
  }

  // Runs the program until its window is gone; returns program_entry's result.
  int32_t run(const shell::Program& program = shell::the_program()) {
    return shell::program_entry(program);
  }

  // The index of a log entry, failing the test when it is missing.
  int at(const std::string& prefix) {
    const int index = backend.find(prefix);
    EXPECT_GE(index, 0) << "no log entry starting with '" << prefix << "' in:\n"
                        << backend.joined_log();
    return index;
  }

  headless::HeadlessPlatform backend;
};

// The program's own form with extra bindings, and its routine table with
// extra routines appended after the program's three.
struct ProgramVariant {
  form::FormDecl form = form::main_form();
  shell::Program program = shell::the_program();

  ProgramVariant() { program.form = &form; }

  form::UnitDecl& unit(uint32_t number) {
    form::WindowDecl& window = form.windows.at(0);
    if (window.window.number == number) return window.window;
    for (form::UnitDecl& control : window.controls) {
      if (control.number == number) return control;
    }
    throw std::runtime_error("no such unit");
  }

  // Binds `routine` to `event` of unit `number`, in front of existing ones.
  void bind(uint32_t number, int32_t event, shell::EventRoutine routine) {
    program.routines.push_back(routine);
    auto& bindings = unit(number).bindings;
    bindings.insert(bindings.begin(),
                    form::BindingDecl{event, static_cast<int32_t>(program.routines.size() - 1)});
  }
};

}  // namespace filmbar::testing
