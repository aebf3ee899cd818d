// Tables for the look-up of a track file by the name a sheet gives it: the
// text it rests on, then the choice among a folder's names.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "base/case_folding.hpp"
#include "base/unicode_text.hpp"
#include "containers/track_file_name.hpp"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/windows_text.hpp"
#else
#include <iconv.h>
#endif

namespace {

// The system's own reading of one Windows-1252 byte, in its own form of
// Unicode (UTF-16 on Windows); empty where it has none.
#ifdef _WIN32
using system_text = std::wstring;
system_text in_system_form(const std::string& utf8) { return utf16(utf8); }
system_text system_reading(char byte) {
    std::wstring wide(2, L'\0');
    const int length = MultiByteToWideChar(1252, 0, &byte, 1, wide.data(), 2);
    return wide.substr(0, static_cast<std::size_t>(std::max(length, 0)));
}
#else
using system_text = std::string;
system_text in_system_form(const std::string& utf8) { return utf8; }
system_text system_reading(char byte) {
    iconv_t code = iconv_open("UTF-8", "CP1252");
    std::string text(4, '\0');
    char* in = &byte;
    char* out = text.data();
    std::size_t in_left = 1;
    std::size_t out_left = text.size();
    const bool read = iconv(code, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(code);
    return read ? text.substr(0, text.size() - out_left) : std::string();
}
#endif

TEST(TrackFileName, ReadsWindows1252AsTheSystemDoes) {
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const system_text theirs = system_reading(byte);
        // glibc leaves the five undefined bytes undefined: they stand for
        // themselves, as under Windows.
        EXPECT_EQ(in_system_form(windows_1252_to_utf8(std::string(1, byte))),
                  theirs.empty() ? in_system_form("\xC2" + std::string(1, byte)) : theirs)
            << b;
    }
}

TEST(TrackFileName, TellsUtf8AndFoldsItsLetters) {
    // Bytes, whether UTF-8, folded where they are.
    const std::vector<std::tuple<std::string, bool, std::string>> table{
        {"ISOFS-M1.BIN", true, "isofs-m1.bin"},
        {"ÉTÉ Œ ΣΑΣ ς ẞ K", true, "été œ σασ σ ß k"},  // K: the Kelvin sign
        {"ĀāĂ İ ǅ", true, "āāă İ ǆ"},                  // İ folds only to two code points
        {"𐐀 \U0001E921\U0001E922", true, "𐐨 \U0001E943\U0001E922"},
        {"caf\xE9", false, ""},
        {"\xC0\x80", false, ""},                         // overlong
        {"\xE0\x9F\xBF", false, ""},                     // overlong
        {"\xED\xA0\x80", false, ""},                     // a surrogate
        {"\xED\xBF\xBF", false, ""},                     // the last surrogate
        {"\x80", false, ""},                             // a continuation alone
        {"\xF4\x8F\xBF\xBF", true, "\xF4\x8F\xBF\xBF"},  // U+10FFFF, the last
        {"\xF4\x90\x80\x80", false, ""},                 // past it
        {"\xE2\x82", false, ""},                         // cut short
        {"\xF0\x9F\x92\xBF\x7F", true, "\xF0\x9F\x92\xBF\x7F"},
    };
    for (const auto& [bytes, utf8, folded] : table) {
        EXPECT_EQ(valid_utf8(bytes), utf8) << bytes;
        if (utf8) {
            EXPECT_EQ(case_folded(bytes), folded);
        }
    }
}

// Every code point against the Unicode data the table was made from, where
// the system has that edition (Debian's unicode-data).
TEST(TrackFileName, FoldsEveryCodePointAsUnicodeSays) {
    std::ifstream data("/usr/share/unicode/CaseFolding.txt");
    std::string line;
    if (!std::getline(data, line) || line != "# CaseFolding-15.0.0.txt") {
        GTEST_SKIP() << "no CaseFolding.txt of Unicode 15.0.0";
    }
    std::map<char32_t, char32_t> folds;
    while (std::getline(data, line)) {
        std::istringstream fields(line);
        std::uint32_t code = 0;
        std::uint32_t folded = 0;
        char status = 0;
        char sep = 0;
        if (fields >> std::hex >> code >> sep >> status >> sep >> folded &&
            (status == 'C' || status == 'S')) {
            folds[code] = folded;
        }
    }
    ASSERT_GT(folds.size(), 1400U);
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto found = folds.find(c);
        ASSERT_EQ(fold_case(c), found == folds.end() ? c : found->second) << std::hex << c;
    }
}

TEST(TrackFileName, TakesTheOneEntryTheSheetMeans) {
    const std::vector<std::string> folder{"isofs-m1.bin", "Disc Image.Bin", "ÉTÉ.bin",  "café.bin",
                                          "twin.bin",     "TWIN.bin",       "Twin.BIN", "Twins.bin",
                                          "TWINS.BIN",    "ansi\xE9",       "x\x81.bin"};
    // The name as the sheet gives it, the entry taken ("": none).
    const std::vector<std::pair<std::string, std::string>> table{
        {"ISOFS-M1.BIN", "isofs-m1.bin"},
        {"DISC IMAGE.BIN", "Disc Image.Bin"},
        {"été.BIN", "ÉTÉ.bin"},
        {"caf\xE9.bin", "café.bin"},
        {"CAF\xC9.BIN", "café.bin"},
        {"x\x81.bin", "x\x81.bin"},
        {"X\xC2\x81.BIN", "x\x81.bin"},  // U+0081, as Windows reads that byte
        {"ANSIé", "ansi\xE9"},
        {"Twin.BIN", "Twin.BIN"},
        {"twins.bin", ""},
        {"tWIN.bin", ""},
        {"disc.bin", ""},
        {"", ""},
    };
    for (const auto& [name, entry] : table) {
        EXPECT_EQ(track_file_entry(name, folder).value_or(""), entry) << name;
    }
}

}  // namespace
