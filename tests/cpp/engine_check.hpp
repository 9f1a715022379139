// Helpers for engine tests: run the driver and compare the text and every counter.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "driver.hpp"
#include "harness.hpp"

namespace engine_check {

using Counts = std::initializer_list<std::pair<std::string_view, std::uint64_t>>;

// Every flag off, no line-ending style, no normalization.
inline scrubix::Options nothing_on() {
    scrubix::Options o;
    o.remove_hidden = o.remove_trailing_whitespace = o.normalize_spaces = o.normalize_dashes = false;
    o.normalize_quotes = o.normalize_other = o.keyboard_only = o.remove_control_chars = false;
    return o;
}

inline std::uint64_t sum(const scrubix::CleaningStats& s) {
    std::uint64_t total = 0;
    for (const auto& [name, value] : s.entries()) total += value;
    return total;
}

// Cleans `input` and checks the text, the named counters (all others must be 0) and that
// the total equals the sum of the counters.
#define CHECK_CLEAN(input, options, expected, ...)                                                   \
    do {                                                                                             \
        const std::string engine_in_(input);                                                         \
        const auto engine_r_ = scrubix::clean(engine_in_, options);                                  \
        const std::string engine_ctx_ = "cleaning " + harness::show(engine_in_);                     \
        CHECK_EQ_MSG(std::string(engine_r_.view(engine_in_)), std::string(expected), engine_ctx_);   \
        const engine_check::Counts engine_want_ = {__VA_ARGS__};                                     \
        for (const auto& [engine_name_, engine_value_] : engine_r_.stats.entries()) {                \
            std::uint64_t engine_exp_ = 0;                                                           \
            for (const auto& [n_, v_] : engine_want_)                                                \
                if (n_ == engine_name_) engine_exp_ = v_;                                            \
            CHECK_EQ_MSG(engine_value_, engine_exp_, engine_ctx_ + " counter " + std::string(engine_name_)); \
        }                                                                                            \
        CHECK_EQ_MSG(engine_r_.changes_made, engine_check::sum(engine_r_.stats), engine_ctx_ + " total"); \
    } while (0)

}  // namespace engine_check
