// Operation sequences on a variant wrapper and its interfaces, a safe array
// and two byte-string handles, each followed against a model: reference
// counts as handed out and given back, values read back as written, sizes
// asked with every buffer size. LeakSanitizer sees any object not freed at
// count zero, AddressSanitizer any freed before.
#include <vector>

#include "fuzz_support.hpp"

namespace {

using element = std::optional<std::string>;  // raw bytes; none for a null unit

bool same_record(const variant_record& a, const variant_record& b) {
    return a.type == VARIANT_TYPE_STRING ? variant_equal_variant(&a, &b)
                                         : a.type == b.type && a.value.u64 == b.value.u64;
}

struct wrapper_model {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_record owned{}, borrowed{};
    const variant_record* expected = nullptr;  // null without a value
    std::uint8_t readable = 1, writable = 0;
    std::vector<IVariantRead*> readers;
    std::vector<IVariantWrite*> writers;
};

void wrapper_step(wrapper_model& m, fuzz::input& in) {
    static const char* const names[] = {
        "IBase",  "IVariantRead", "IVariantWrite", "char", "unsigned long long",
        "double", "string",       "bool",          "int",  ""};
    const unsigned op = in.take<std::uint8_t>() % 8;
    if (op == 0) {
        m.readable = in.take<std::uint8_t>() % 3, m.writable = in.take<std::uint8_t>() % 3;
        variant_wrapper_set_mode(m.wrapper, m.readable, m.writable);
    } else if (op == 1) {
        IVariantRead* r = variant_wrapper_get_variantread(m.wrapper);
        FUZZ_CHECK((r != nullptr) == (m.readable == 1));
        if (r != nullptr) m.readers.push_back(r);
    } else if (op == 2) {
        IVariantWrite* w = variant_wrapper_get_variantwrite(m.wrapper);
        FUZZ_CHECK((w != nullptr) == (m.writable == 1));
        if (w != nullptr) m.writers.push_back(w);
    } else if (op == 3 && !m.readers.empty()) {
        IVariantRead* r = m.readers.back();
        m.readers.pop_back();
        FUZZ_CHECK(r->Release() == m.readers.size() + 1);
    } else if (op == 3 && !m.writers.empty()) {
        IVariantWrite* w = m.writers.back();
        m.writers.pop_back();
        FUZZ_CHECK(w->Release() == m.writers.size() + 1);
    } else if (op == 4 && !m.readers.empty()) {
        const std::string name =
            in.take<std::uint8_t>() % 2 ? names[in.take<std::uint8_t>() % 10] : in.text();
        void* out = nullptr;
        const bool found = m.readers.front()->Query(name.c_str(), &out);
        FUZZ_CHECK(found == (name == "IBase" || name == "IVariantRead"));
        if (found) m.readers.push_back(static_cast<IVariantRead*>(out));
    } else if (op == 5) {
        // copy 1: the wrapper's own copy; otherwise the record kept here, or none.
        variant_clear(&m.owned);
        m.owned.type = static_cast<variant_type>(in.take<std::uint8_t>() % 15);
        // An empty record's bytes would become a unit pointer as text.
        m.owned.value.u64 = m.owned.type == VARIANT_TYPE_EMPTY ? 0 : in.take<std::uint64_t>();
        m.owned = m.owned.type == VARIANT_TYPE_STRING ? fuzz::string_record(in.text()) : m.owned;
        const std::uint8_t copy = in.take<std::uint8_t>() % 3;
        if (copy == 1) {
            variant_wrapper_set_wrapper_value(m.wrapper, &m.owned, 1);
            m.expected = &m.owned;
        } else {
            variant_wrapper_set_wrapper_value(m.wrapper, copy == 0 ? &m.borrowed : nullptr, copy);
            m.expected = copy == 0 ? &m.borrowed : nullptr;
        }
    } else if (op == 6 && !m.writers.empty()) {
        const auto value = in.take<std::int32_t>();
        const std::uint8_t force = in.take<std::uint8_t>() % 3;
        FUZZ_CHECK(m.writers.front()->SetInt(value, force) == (m.expected != nullptr));
        if (m.expected == &m.owned) variant_set_int(&m.owned, value, force);
    } else if (op == 7) {
        const std::string name =
            in.take<std::uint8_t>() % 2 ? names[in.take<std::uint8_t>() % 10] : in.text();
        FUZZ_CHECK(variant_wrapper_set_type(m.wrapper, name.c_str()) == (m.expected != nullptr));
        variant_type code = 0;
        variant_resolve_type(name.c_str(), &code);
        if (m.expected == &m.owned) variant_change_type(&m.owned, code);
    }
    const variant_record* value = variant_wrapper_get_wrapper_value(m.wrapper);
    FUZZ_CHECK((value == nullptr) == (m.expected == nullptr));
    FUZZ_CHECK(m.expected != &m.borrowed || value == &m.borrowed);
    FUZZ_CHECK(value == nullptr || same_record(*value, m.owned) || m.expected == &m.borrowed);
    for (IVariantRead* r : m.readers) {
        const auto type =
            fuzz::text_with_every_size([r](char* b, std::uint32_t* n) { return r->GetType(b, n); });
        const auto text = fuzz::text_with_every_size(
            [r](char* b, std::uint32_t* n) { return r->GetString(b, n); });
        FUZZ_CHECK(type.has_value() == (value != nullptr) &&
                   text.has_value() == (value != nullptr));
        std::int64_t number = 0;
        FUZZ_CHECK(r->GetLongLong(&number) == (value != nullptr));
        FUZZ_CHECK(value == nullptr || number == variant_resolve_as_longlong(value));
    }
}

void array_step(safearray_handle* array, std::vector<element>& model, fuzz::input& in) {
    const variant_type type = safearray_get_element_type(array);
    std::uint32_t bits = 0;
    const bool stored = variant_get_datatype_size(type, &bits) || type == VARIANT_TYPE_STRING;
    const std::size_t width = type == VARIANT_TYPE_STRING ? sizeof(bstrunit*) : bits / 8;
    const unsigned op = in.take<std::uint8_t>() % 4;
    const std::uint32_t index = in.take<std::uint8_t>() % 20;
    if (op == 0) {
        const bool resized = safearray_resize(array, index);
        FUZZ_CHECK(resized == (stored || index == model.size()));
        model.resize(index,
                     type == VARIANT_TYPE_STRING ? element{} : element{std::string(width, '\0')});
    } else if (op == 1) {
        const std::string bytes = type == VARIANT_TYPE_STRING ? in.text() : in.bytes(width);
        const std::string block = fuzz::unit_block(bytes);
        const bstrunit* unit = fuzz::as_unit(block);
        const std::string value = (bytes + std::string(width, '\0')).substr(0, width);
        const void* from =
            type == VARIANT_TYPE_STRING ? static_cast<const void*>(&unit) : value.data();
        FUZZ_CHECK(safearray_set_element(array, index, from) == (stored && index < model.size()));
        if (stored && index < model.size())
            model[index] = type == VARIANT_TYPE_STRING ? bytes : value;
    } else if (op == 2) {
        const auto out = std::make_unique<char[]>(width);
        FUZZ_CHECK(safearray_get_element(array, index, out.get()) ==
                   (stored && index < model.size()));
        if (stored && index < model.size() && type == VARIANT_TYPE_STRING) {
            bstrunit* unit = nullptr;
            std::memcpy(&unit, out.get(), sizeof unit);
            FUZZ_CHECK(unit ? model[index] == fuzz::unit_bytes(unit) : !model[index]);
            fuzz::release_unit(unit);
        } else if (stored && index < model.size()) {
            FUZZ_CHECK(model[index] == std::string(out.get(), width));
        }
    } else if (stored) {
        void* snapshot = nullptr;
        FUZZ_CHECK(safearray_access_element(array, &snapshot));
        FUZZ_CHECK((snapshot == nullptr) == model.empty());
        for (std::size_t i = 0; i < model.size(); ++i) {
            const char* slot = static_cast<const char*>(snapshot) + i * width;
            bstrunit* unit = nullptr;
            if (type == VARIANT_TYPE_STRING) {
                std::memcpy(&unit, slot, sizeof unit);
                FUZZ_CHECK(unit ? model[i] == fuzz::unit_bytes(unit) : !model[i]);
                fuzz::release_unit(unit);
            } else {
                FUZZ_CHECK(model[i] == std::string(slot, width));
            }
        }
        FUZZ_CHECK(safearray_unaccess_element(array));
    }
    FUZZ_CHECK(safearray_get_element_count(array) == model.size());
}

void bstr_step(bstr_handle* (&handles)[2], element (&model)[2], fuzz::input& in) {
    const unsigned op = in.take<std::uint8_t>() % 5;
    const unsigned h = in.take<std::uint8_t>() % 2;
    if (op == 0) {
        const std::string text = in.text();
        FUZZ_CHECK(bstr_set_string(handles[h], text.c_str()));
        model[h] = text + '\0';
    } else if (op == 1) {
        const std::string bytes = in.text();
        FUZZ_CHECK(bstr_set_bstrunit(handles[h], fuzz::as_unit(fuzz::unit_block(bytes))));
        model[h] = bytes;
    } else if (op == 2) {
        FUZZ_CHECK(bstr_set_bstr(handles[h], handles[1 - h]));
        model[h] = model[1 - h];
    } else if (op == 3) {
        bstr_attach_bstrunit(handles[1 - h], bstr_detach_bstrunit(handles[h]));
        model[1 - h] = model[h];
        model[h].reset();
    } else {
        bstr_clear(handles[h]);
        model[h].reset();
    }
    FUZZ_CHECK(bstr_equal_bstr(handles[0], handles[1]) == (model[0] == model[1]));
    for (unsigned i = 0; i < 2; ++i) {
        const char* bytes = bstr_get_string(handles[i]);
        FUZZ_CHECK(bytes ? model[i] && std::memcmp(bytes, model[i]->data(), model[i]->size()) == 0
                         : !model[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in(data, size);
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
    for (IVariantRead* r : wrapper.readers) r->Release();
    for (IVariantWrite* w : wrapper.writers) w->Release();
    variant_wrapper_destroy(&wrapper.wrapper);
    FUZZ_CHECK(wrapper.wrapper == nullptr);
    variant_clear(&wrapper.owned);
    variant_clear(&wrapper.borrowed);
    safearray_destroy(&array);
    bstr_destroy(&handles[0]);
    bstr_destroy(&handles[1]);
    return 0;
}
