// Small readers of Unicode Character Database files, for tests that check generated tables
// against the published data. Slow and simple on purpose: they are the oracle.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "harness.hpp"
#include "unicode/generated/unicode_version.hpp"

namespace ucd_reader {

inline constexpr char32_t kCodeSpaceEnd = 0x110000;

// The path of a file of the Unicode Character Database the engine's tables are built from
// (the test is skipped when the shared data is absent).
inline std::filesystem::path ucd_file(std::string_view name) {
    return harness::require_data("unicode/" + std::string(scrubix::unicode::kUnicodeVersion) + "/" +
                                 std::string(name));
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

inline std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    for (;;) {
        const auto at = s.find(sep);
        out.push_back(trim(s.substr(0, at)));
        if (at == std::string_view::npos) return out;
        s.remove_prefix(at + 1);
    }
}

inline char32_t parse_hex(std::string_view s) {
    const std::string text(s);
    std::size_t used = 0;
    const unsigned long v = std::stoul(text, &used, 16);
    if (used != text.size() || v >= kCodeSpaceEnd) throw std::runtime_error("bad code point: " + text);
    return char32_t(v);
}

// Calls f(fields) with the trimmed ';'-separated fields of each data line (comments removed).
template <class F>
void for_each_record(const std::filesystem::path& path, F&& f) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::string line;
    while (std::getline(in, line)) {
        const std::string_view data = trim(std::string_view(line).substr(0, line.find('#')));
        if (!data.empty()) f(split(data, ';'));
    }
}

// Calls f(first, last, fields) for each line whose first field is a code point or a range.
template <class F>
void for_each_range(const std::filesystem::path& path, F&& f) {
    for_each_record(path, [&](const std::vector<std::string_view>& fields) {
        const std::string_view range = fields[0];
        const auto dots = range.find("..");
        const char32_t first = parse_hex(range.substr(0, dots));
        const char32_t last = dots == std::string_view::npos ? first : parse_hex(range.substr(dots + 2));
        f(first, last, fields);
    });
}

// One flag per code point: listed in `path` with `property` as the second field.
inline std::vector<bool> property_set(const std::filesystem::path& path, std::string_view property) {
    std::vector<bool> set(kCodeSpaceEnd, false);
    std::size_t lines = 0;
    for_each_range(path, [&](char32_t first, char32_t last, const std::vector<std::string_view>& fields) {
        if (fields.size() < 2 || fields[1] != property) return;
        ++lines;
        for (char32_t c = first; c <= last; ++c) set[c] = true;
    });
    if (lines == 0) throw std::runtime_error("no " + std::string(property) + " in " + path.string());
    return set;
}

// The General_Category of every code point from UnicodeData.txt ("Cn" when unlisted),
// with "<..., First>" / "<..., Last>" pairs spanning their range.
inline std::vector<std::string> general_categories(const std::filesystem::path& path) {
    std::vector<std::string> gc(kCodeSpaceEnd, "Cn");
    char32_t range_first = 0;
    bool in_range = false;
    for_each_record(path, [&](const std::vector<std::string_view>& fields) {
        const char32_t c = parse_hex(fields.at(0));
        const std::string_view name = fields.at(1);
        if (name.ends_with(", First>")) {
            range_first = c;
            in_range = true;
            return;
        }
        const char32_t first = in_range && name.ends_with(", Last>") ? range_first : c;
        in_range = false;
        for (char32_t d = first; d <= c; ++d) gc[d] = std::string(fields.at(2));
    });
    return gc;
}

}  // namespace ucd_reader
