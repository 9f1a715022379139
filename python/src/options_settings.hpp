// The fifteen public settings of the options record as Python spells them, all expanded from
// the list in options_members.hpp: their indices and names, reading Python values into a
// record, the Python values of a record, its repr and the constructor's signature line.
#pragma once

#include <cstddef>
#include <string>

#include "records/options.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

// The settings in declaration order: that of the constructor's parameters, the getters, the
// repr and the pickled state.
namespace setting {
enum Index : std::size_t {
#define SCRUBIX_SETTING_INDEX(name, member, Type, value) name,
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_INDEX)
#undef SCRUBIX_SETTING_INDEX
};
}  // namespace setting

inline constexpr std::size_t kSettingCount = 0
#define SCRUBIX_SETTING_ONE(name, member, Type, value) +1
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_ONE)
#undef SCRUBIX_SETTING_ONE
    ;

// The public names, as keywords, attributes and pickled state spell them.
extern const char* const kSettingNames[kSettingCount];

// Reads the constructor's bound arguments (null where not given) into `record`: the type of
// each given value in parameter order (flags are read at once; a TypeError gets the argument
// prefix), then the words, parsed in the order line_endings, unicode_normalization,
// non_ascii_policy. Returns false with the first error set.
bool read_arguments(PyObject* const* values, Options& record);

// Applies the entries of a dict (replace's keywords, or a pickled state) in its order. The
// first failing entry stops with its error set; the record is then partly changed.
bool apply_settings(Options& record, PyObject* mapping);

// The Python value of a setting: bool, canonical str, or None for absent line endings.
PyObject* setting_value(const Options& record, std::size_t s);

// A new dict of the fifteen settings and their values, in declaration order.
PyObject* settings_dict(const Options& record);

// "Options(remove_hidden=true, ..., emoji_policy='drop', ...)": the members' names and values.
std::string options_repr_text(const Options& record);

// ---- The constructor's signature line, written at compile time -----------------------------

// Text built in a constant expression, where writing past `Capacity` fails to compile.
template <std::size_t Capacity>
struct ConstantText {
    char text[Capacity + 1] = {};
    std::size_t size = 0;

    constexpr void append(const char* part) {
        while (*part != '\0') text[size++] = *part++;
    }
};

// A default value as a Python signature writes it.
constexpr void append_default(auto& out, bool flag) { out.append(flag ? "True" : "False"); }
constexpr void append_default(auto& out, EmojiPolicy policy) {
    append_default(out, policy == EmojiPolicy::Keep);
}
constexpr void append_default(auto& out, LineEndingStyle style) {
    if (style == LineEndingStyle::Absent) {
        out.append("None");
    } else {
        out.append("\"");
        out.append(to_string(style));
        out.append("\"");
    }
}
constexpr void append_default(auto& out, auto word) {
    out.append("\"");
    out.append(to_string(word));
    out.append("\"");
}

// "Options(remove_hidden=True, ..., unicode_normalization="none")" from the default record.
constexpr void append_signature_line(auto& out) {
    constexpr Options defaults{};
    out.append("Options(");
#define SCRUBIX_SETTING_DEFAULT(name, member, Type, value) \
    if (setting::name != 0) out.append(", ");              \
    out.append(#name "=");                                 \
    append_default(out, defaults.member);
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_DEFAULT)
#undef SCRUBIX_SETTING_DEFAULT
    out.append(")");
}

}  // namespace scrubix::py
