// Win32 backend: conversion between the core's code page 936 texts and the
// UTF-16 strings of the W functions. Always code page 936 itself, never the
// system's ANSI code page, so that the window reads the same on every locale.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace filmbar::win32 {

inline constexpr unsigned kCorePage = 936;

std::wstring wide_from_cp936(const char* bytes, std::size_t length);
std::wstring wide_from_cp936(const std::string& bytes);
std::wstring wide_from_raw(const platform::RawValue& value);
std::string cp936_from_wide(const wchar_t* text, std::size_t length);
std::string cp936_from_wide(const std::wstring& text);

}  // namespace filmbar::win32
