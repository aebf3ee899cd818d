#include "base/ascii_words.hpp"

#include <algorithm>

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_word(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ascii_lower(x) == ascii_lower(y);
           });
}

bool ends_with_word(std::string_view text, std::string_view ending) {
    return text.size() >= ending.size() &&
           same_word(text.substr(text.size() - ending.size()), ending);
}
