// Helpers shared by the variant record tests.
#pragma once

#include <string>

#include "corvane/value.h"

namespace corvane::test {

// A variant record that starts empty and is cleared when it goes out of
// scope, so that a failing assertion leaks no unit.
struct scoped_record {
    variant_record r{};
    scoped_record() = default;
    scoped_record(const scoped_record&) = delete;
    scoped_record& operator=(const scoped_record&) = delete;
    ~scoped_record() { variant_clear(&r); }
};

// A string record holding `text` and its NUL.
inline void make_string(scoped_record& record, const char* text) {
    variant_set_string(&record.r, text, 1);
}

// The bytes of a string record's unit as text, without the NUL that ends
// them; "<null>" for a null unit.
inline std::string unit_text(const variant_record& r) {
    if (r.value.unit == nullptr) {
        return "<null>";
    }
    std::string text(reinterpret_cast<const char*>(r.value.unit->bytes), r.value.unit->length);
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

}  // namespace corvane::test
