// A minimal test harness for the engine's native tests.
//
//   TEST_CASE("suite", "name") { CHECK(x == 1); CHECK_EQ(a, b); }
//
// The runner takes `--data DIR` (the folder holding the Unicode and transliteration data)
// and optional suite names to run; a test that needs absent data calls SKIP(...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace harness {

struct Case {
    const char* suite;
    const char* name;
    void (*fn)();
};

std::vector<Case>& registry();
// The shared data folder given on the command line (empty when none).
const std::filesystem::path& data_dir();
// `data_dir() / rel` when it exists; otherwise the test is skipped with a message.
std::filesystem::path require_data(const std::string& rel);

struct Registrar {
    Registrar(const char* suite, const char* name, void (*fn)()) {
        registry().push_back({suite, name, fn});
    }
};

struct Skip {
    std::string why;
};

void record_failure(const char* file, int line, const std::string& what);

template <class T>
std::string show(const T& v) {
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view> ||
                  std::is_same_v<T, const char*>) {
        std::string s = "\"";
        for (unsigned char ch : std::string_view(v)) {
            if (ch >= 0x20 && ch < 0x7F && ch != '"' && ch != '\\') {
                s += char(ch);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", ch);
                s += buf;
            }
        }
        return s + "\"";
    } else if constexpr (std::is_same_v<T, char32_t>) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "U+%04X", unsigned(v));
        return buf;
    } else if constexpr (std::is_enum_v<T>) {
        return std::to_string(static_cast<long long>(v));
    } else if constexpr (std::is_same_v<T, bool>) {
        return v ? "true" : "false";
    } else if constexpr (std::is_arithmetic_v<T>) {
        return std::to_string(v);
    } else {
        return "<value>";
    }
}

}  // namespace harness

#define HARNESS_CAT2(a, b) a##b
#define HARNESS_CAT(a, b) HARNESS_CAT2(a, b)
#define TEST_CASE(suite, name)                                                             \
    static void HARNESS_CAT(test_fn_, __LINE__)();                                         \
    static harness::Registrar HARNESS_CAT(test_reg_, __LINE__)(suite, name,                \
                                                               &HARNESS_CAT(test_fn_, __LINE__)); \
    static void HARNESS_CAT(test_fn_, __LINE__)()

#define CHECK(expr)                                                                        \
    do {                                                                                   \
        if (!(expr)) harness::record_failure(__FILE__, __LINE__, "CHECK(" #expr ")");      \
    } while (0)

#define CHECK_EQ(a, b)                                                                     \
    do {                                                                                   \
        const auto& harness_a_ = (a);                                                      \
        const auto& harness_b_ = (b);                                                      \
        if (!(harness_a_ == harness_b_))                                                   \
            harness::record_failure(__FILE__, __LINE__,                                    \
                                    "CHECK_EQ(" #a ", " #b "): " + harness::show(harness_a_) + \
                                        " != " + harness::show(harness_b_));               \
    } while (0)

// Like CHECK_EQ, with extra context (a string) in the failure message.
#define CHECK_EQ_MSG(a, b, msg)                                                            \
    do {                                                                                   \
        const auto& harness_a_ = (a);                                                      \
        const auto& harness_b_ = (b);                                                      \
        if (!(harness_a_ == harness_b_))                                                   \
            harness::record_failure(__FILE__, __LINE__,                                    \
                                    std::string(msg) + ": " + harness::show(harness_a_) +  \
                                        " != " + harness::show(harness_b_));               \
    } while (0)

#define SKIP(why) throw harness::Skip{why}
