// File names as text: whether bytes are UTF-8, the Windows ANSI code page
// read as UTF-8, and names folded so that letter case does not count.
#pragma once

#include <string>
#include <string_view>

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool valid_utf8(std::string_view bytes);

// Windows-1252 bytes as UTF-8, byte for byte. The five bytes that code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+0081 and so on,
// as Windows itself converts them: a name with one of them, written by a
// Windows program, is stored with that code point.
std::string windows_1252_to_utf8(std::string_view bytes);

// UTF-8 text with each code point simply case-folded; what is not
// well-formed UTF-8 comes out as U+FFFD.
std::string case_folded(std::string_view text);
