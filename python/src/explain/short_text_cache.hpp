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
        char bytes[16] = {};
        std::memcpy(bytes, text.data(), text.size());
        bytes[15] = static_cast<char>(text.size());
        Key key;
        std::memcpy(key.words, bytes, 16);
        Slot& slot = slots_[((key.words[0] ^ (key.words[1] * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull) >>
                            (64 - kSlotBits)];
        if (!slot.text || slot.key.words[0] != key.words[0] || slot.key.words[1] != key.words[1]) {
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
    static constexpr std::size_t kLongest = 15;  // bytes, so that the size fits beside them in a key
    static constexpr unsigned kSlotBits = 8;

    static PyObject* decode(std::string_view text) {
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    }

    struct Key {
        std::uint64_t words[2] = {0, 0};
    };
    struct Slot {
        Key key;
        PyRef text;
    };
    std::array<Slot, std::size_t{1} << kSlotBits> slots_;
};

}  // namespace scrubix::py
