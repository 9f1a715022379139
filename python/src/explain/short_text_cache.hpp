// The str objects of short UTF-8 texts, made once and shared: the originals and replacements
// of a change report repeat a few texts many times (a quote, a dash, a no-break space, "").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "py_ref.hpp"

namespace scrubix::py {

class ShortTextCache {
public:
    ShortTextCache() = default;
    ShortTextCache(const ShortTextCache&) = delete;
    ShortTextCache& operator=(const ShortTextCache&) = delete;

    // A new reference to the str of `text` (valid UTF-8), or null with an error set.
    PyObject* get(std::string_view text) {
        if (text.size() > kLongest) return decode(text);
        // The bytes, and the size in the last byte: one key per text.
        char bytes[8] = {};
        std::memcpy(bytes, text.data(), text.size());
        bytes[7] = static_cast<char>(text.size());
        std::uint64_t key;
        std::memcpy(&key, bytes, 8);
        Slot& slot = slots_[(key * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
        if (!slot.text || slot.key != key) {
            PyObject* made = decode(text);
            if (made == nullptr) return nullptr;
            slot.text = PyRef(made);
            slot.key = key;
        }
        PyObject* found = slot.text.get();
        Py_INCREF(found);
        return found;
    }

private:
    static constexpr std::size_t kLongest = 7;  // bytes, so that the size fits beside them in a key
    static constexpr unsigned kSlotBits = 8;

    static PyObject* decode(std::string_view text) {
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    }

    struct Slot {
        std::uint64_t key = 0;
        PyRef text;
    };
    std::array<Slot, std::size_t{1} << kSlotBits> slots_;
};

}  // namespace scrubix::py
