// Keywords and endings compared as their ASCII letters in any case: what
// every table and file name here calls the same word.
#pragma once

#include <string_view>

char ascii_lower(char c);

bool same_word(std::string_view a, std::string_view b);

// Whether `text` ends in `ending`, in any letter case; no byte before the
// start of a shorter text is looked at.
bool ends_with_word(std::string_view text, std::string_view ending);
