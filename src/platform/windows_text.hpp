// Text between UTF-8, which the tool keeps every name in, and the UTF-16
// of the wide Windows interfaces.
#pragma once

#include <string>

// Empty where the conversion fails.
std::wstring utf16(const std::string& text);
std::string utf8_of(const wchar_t* wide);
