// Operation sequences on a variant wrapper and its interfaces, a safe array
// and two byte-string handles, each followed against a model: reference
// counts as handed out and given back, values read back as written, sizes
// asked with every buffer size. LeakSanitizer sees any object not freed at
// count zero, AddressSanitizer any freed before.
#include <cstddef>
#include <vector>

#include "fuzz_support.hpp"

namespace {

using element = std::optional<std::string>;  // raw bytes; none for a null unit

// Each type code's name, then names that are interfaces or nothing.
const char* const names[] = {
    "",      "char",         "unsigned char", "short",  "unsigned short", "int", "unsigned int",
    "long",  "unsigned long", "long long", "unsigned long long", "float", "double", "string",
    "bool",  "IBase",        "IVariantRead",  "IVariantWrite", "IBase ", "int "};

std::string name_from(fuzz::input& in) {
    return in.take<std::uint8_t>() % 2 ? names[in.take<std::uint8_t>() % 20] : in.text();
}

variant_type code_of(const std::string& name) {
    for (variant_type code = 1; code <= VARIANT_TYPE_BOOL; ++code) {
        if (name == names[code]) return code;
    }
    return 0;
}

bool same_record(const variant_record& a, const variant_record& b) {
    return a.type == VARIANT_TYPE_STRING ? variant_equal_variant(&a, &b)
                                         : a.type == b.type && a.value.u64 == b.value.u64;
}

// The wrapper hands out one read and one write interface, each counting the
// references held here plus the wrapper's own.
struct wrapper_model {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = nullptr;
    IVariantWrite* writer = nullptr;
    std::uint32_t reads = 0, writes = 0;
    variant_record owned{}, borrowed{};
    variant_record* expected = nullptr;  // null without a value
    std::uint8_t readable = 1, writable = 0;
};

template <typename Interface>
void hand_out(Interface* got, bool open, Interface*& held, std::uint32_t& count) {
    FUZZ_CHECK((got != nullptr) == open && (got == nullptr || held == nullptr || got == held));
    held = got != nullptr ? got : held;
    count += got != nullptr;
}

void wrapper_step(wrapper_model& m, fuzz::input& in) {
    const unsigned op = in.take<std::uint8_t>() % 9;
    if (op == 0) {
        m.readable = in.take<std::uint8_t>() % 3, m.writable = in.take<std::uint8_t>() % 3;
        variant_wrapper_set_mode(m.wrapper, m.readable, m.writable);
    } else if (op == 1) {
        hand_out(variant_wrapper_get_variantread(m.wrapper), m.readable == 1, m.reader, m.reads);
    } else if (op == 2) {
        hand_out(variant_wrapper_get_variantwrite(m.wrapper), m.writable == 1, m.writer, m.writes);
    } else if (op == 3 && m.reads > 0) {
        FUZZ_CHECK(m.reader->Release() == m.reads--);
    } else if (op == 3 && m.writes > 0) {
        FUZZ_CHECK(m.writer->Release() == m.writes--);
    } else if (op == 4 && m.reads > 0) {
        const std::string name = name_from(in);
        void* out = nullptr;
        const bool found = m.reader->Query(name.c_str(), &out);
        FUZZ_CHECK(found == (name == "IBase" || name == "IVariantRead"));
        FUZZ_CHECK(out == (found ? m.reader : nullptr));
        m.reads += found;
    } else if (op == 5) {
        // copy 1: the wrapper's own copy; 0: the record kept here; 2: none.
        // Its own value handed back, in any of them, stays its own and intact.
        const std::uint8_t copy = in.take<std::uint8_t>() % 3;
        variant_record* own = variant_wrapper_get_wrapper_value(m.wrapper);
        if (m.expected == &m.owned && in.take<std::uint8_t>() % 2) {
            variant_wrapper_set_wrapper_value(m.wrapper, own, copy);
        } else {
            variant_clear(&m.owned);
            m.owned.type = static_cast<variant_type>(in.take<std::uint8_t>() % 15);
            // An empty record's bytes would become a unit pointer as text.
            m.owned.value.u64 = m.owned.type == VARIANT_TYPE_EMPTY ? 0 : in.take<std::uint64_t>();
            m.owned =
                m.owned.type == VARIANT_TYPE_STRING ? fuzz::string_record(in.text()) : m.owned;
            m.expected = copy == 1 ? &m.owned : copy == 0 ? &m.borrowed : nullptr;
            variant_wrapper_set_wrapper_value(m.wrapper, m.expected, copy);
        }
    } else if (op == 6 && m.writes > 0) {
        const auto value = in.take<std::int32_t>();
        const std::uint8_t force = in.take<std::uint8_t>() % 3;
        FUZZ_CHECK(m.writer->SetInt(value, force) == (m.expected != nullptr));
        if (m.expected == &m.owned) variant_set_int(&m.owned, value, force);
    } else if (op == 7) {
        // Through the write interface or the wrapper; unknown names change nothing.
        const std::string name = name_from(in);
        const bool done = m.writes > 0 && in.take<std::uint8_t>() % 2
                              ? m.writer->SetType(name.c_str())
                              : variant_wrapper_set_type(m.wrapper, name.c_str());
        FUZZ_CHECK(done == (m.expected != nullptr));
        if (m.expected == &m.owned) variant_change_type(&m.owned, code_of(name));
    } else if (op == 8) {
        variant_wrapper_handle* clone = variant_wrapper_clone(m.wrapper);
        const variant_record* copy = variant_wrapper_get_wrapper_value(clone);
        FUZZ_CHECK((copy == nullptr) == (m.expected == nullptr));
        FUZZ_CHECK(copy == nullptr || (copy != m.expected && same_record(*copy, *m.expected)));
        variant_wrapper_destroy(&clone);
    }
    const variant_record* value = variant_wrapper_get_wrapper_value(m.wrapper);
    FUZZ_CHECK((value == nullptr) == (m.expected == nullptr));
    FUZZ_CHECK(m.expected != &m.borrowed || value == &m.borrowed);
    FUZZ_CHECK(m.expected != &m.owned || same_record(*value, m.owned));
    if (m.reads > 0) {
        IVariantRead* r = m.reader;
        const auto type =
            fuzz::text_with_every_size([r](char* b, std::uint32_t* n) { return r->GetType(b, n); });
        const auto text = fuzz::text_with_every_size(
            [r](char* b, std::uint32_t* n) { return r->GetString(b, n); });
        FUZZ_CHECK(type.has_value() == (value != nullptr) &&
                   text.has_value() == (value != nullptr));
        FUZZ_CHECK(value == nullptr || *type == names[value->type]);
        std::int64_t number = 0;
        FUZZ_CHECK(r->GetLongLong(&number) == (value != nullptr));
        FUZZ_CHECK(value == nullptr || number == variant_resolve_as_longlong(value));
    }
}

// An element read out of the array; string slots hand out units of their own.
void check_element(const char* slot, const element& expected, bool strings, std::size_t width) {
    if (!strings) {
        FUZZ_CHECK(expected == std::string(slot, width));
        return;
    }
    variant_record owner{};  // clearing it gives the unit back
    owner.type = VARIANT_TYPE_STRING;
    std::memcpy(&owner.value.unit, slot, sizeof owner.value.unit);
    const bstrunit* unit = owner.value.unit;
    FUZZ_CHECK(unit ? expected == std::string(reinterpret_cast<const char*>(unit->bytes),
                                              unit->length)
                    : !expected);
    variant_clear(&owner);
}

void array_step(safearray_handle* array, std::vector<element>& model, fuzz::input& in) {
    const variant_type type = safearray_get_element_type(array);
    const bool strings = type == VARIANT_TYPE_STRING;
    const std::size_t width = strings ? sizeof(bstrunit*) : fuzz::type_bits[type] / 8;
    const bool stored = width != 0;
    const unsigned op = in.take<std::uint8_t>() % 4;
    const std::uint32_t index = in.take<std::uint8_t>() % 20;
    const bool inside = stored && index < model.size();
    if (op == 0) {
        FUZZ_CHECK(safearray_resize(array, index) == (stored || index == model.size()));
        model.resize(index, strings ? element{} : element{std::string(width, '\0')});
    } else if (op == 1) {
        const std::string bytes = strings ? in.text() : in.bytes(width);
        std::string block = fuzz::unit_block(bytes);
        const bstrunit* unit = fuzz::as_unit(block);
        const std::string value = (bytes + std::string(width, '\0')).substr(0, width);
        const void* from = strings ? static_cast<const void*>(&unit) : value.data();
        FUZZ_CHECK(safearray_set_element(array, index, from) == inside);
        block.assign(block.size(), '\xA5');  // the array keeps a copy, not the caller's unit
        if (inside) model[index] = strings ? bytes : value;
    } else if (op == 2) {
        const auto out = std::make_unique<char[]>(width);
        FUZZ_CHECK(safearray_get_element(array, index, out.get()) == inside);
        if (inside) check_element(out.get(), model[index], strings, width);
    } else if (stored) {
        void* snapshot = nullptr;
        FUZZ_CHECK(safearray_access_element(array, &snapshot));
        FUZZ_CHECK((snapshot == nullptr) == model.empty());
        for (std::size_t i = 0; i < model.size(); ++i) {
            check_element(static_cast<const char*>(snapshot) + i * width, model[i], strings, width);
        }
        // The snapshot is the caller's copy: writing it changes nothing in the array.
        if (!strings && !model.empty()) std::memset(snapshot, 0xA5, width);
        FUZZ_CHECK(safearray_unaccess_element(array));
    }
    FUZZ_CHECK(safearray_get_element_count(array) == model.size());
}

void bstr_step(bstr_handle* (&handles)[2], element (&model)[2], fuzz::input& in) {
    const unsigned op = in.take<std::uint8_t>() % 6;
    const unsigned h = in.take<std::uint8_t>() % 2;
    if (op == 0) {
        const std::string text = in.text();
        FUZZ_CHECK(bstr_set_string(handles[h], text.c_str()));
        model[h] = text + '\0';
    } else if (op == 1) {
        const std::string bytes = in.text();
        std::string block = fuzz::unit_block(bytes);
        FUZZ_CHECK(bstr_set_bstrunit(handles[h], fuzz::as_unit(block)));
        block.assign(block.size(), '\xA5');
        model[h] = bytes;
    } else if (op == 2) {
        const unsigned from = in.take<std::uint8_t>() % 2;
        FUZZ_CHECK(bstr_set_bstr(handles[h], handles[from]));
        model[h] = model[from];
    } else if (op == 3) {
        bstr_attach_bstrunit(handles[1 - h], bstr_detach_bstrunit(handles[h]));
        model[1 - h] = model[h];
        model[h].reset();
    } else if (op == 4 && model[h]) {
        // A handle given its own unit keeps it.
        const char* bytes = bstr_get_string(handles[h]);
        auto* own = reinterpret_cast<bstrunit*>(const_cast<char*>(bytes) - sizeof(bstrunit));
        bstr_attach_bstrunit(handles[h], own);
    } else if (op == 5) {
        bstr_clear(handles[h]);
        model[h].reset();
    }
    FUZZ_CHECK(bstr_equal_bstr(handles[0], handles[1]) == (model[0] == model[1]));
    const std::string other = fuzz::unit_block(model[1 - h].value_or(""));
    FUZZ_CHECK(!model[1 - h] || bstr_equal_bstrunit(handles[h], fuzz::as_unit(other)) ==
                                    (model[0] == model[1]));
    for (unsigned i = 0; i < 2; ++i) {
        const char* bytes = bstr_get_string(handles[i]);
        FUZZ_CHECK(bytes ? model[i] && std::memcmp(bytes, model[i]->data(), model[i]->size()) == 0
                         : !model[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in{data, size};
    wrapper_model wrapper;
    wrapper.borrowed.type = VARIANT_TYPE_DOUBLE;
    safearray_handle* array = safearray_create(in.take<std::uint8_t>() % 16, 0);
    std::vector<element> array_model;
    bstr_handle* handles[2] = {bstr_create(), bstr_create()};
    element bstr_model[2];
    while (!in.empty()) {
        const unsigned family = in.take<std::uint8_t>() % 3;
        if (family == 0) wrapper_step(wrapper, in);
        if (family == 1) array_step(array, array_model, in);
        if (family == 2) bstr_step(handles, bstr_model, in);
    }
    for (; wrapper.reads > 0; --wrapper.reads) wrapper.reader->Release();
    for (; wrapper.writes > 0; --wrapper.writes) wrapper.writer->Release();
    variant_wrapper_destroy(&wrapper.wrapper);
    FUZZ_CHECK(wrapper.wrapper == nullptr);
    variant_clear(&wrapper.owned);
    variant_clear(&wrapper.borrowed);
    safearray_destroy(&array);
    bstr_destroy(&handles[0]);
    bstr_destroy(&handles[1]);
    return 0;
}
