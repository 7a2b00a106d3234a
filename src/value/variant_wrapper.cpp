// The variant wrapper: one record, owned or borrowed, handed out through a
// read object and a write object.

#include <memory>

#include "common/handle.hpp"
#include "corvane/value.h"
#include "value/variant_interfaces.hpp"

struct variant_wrapper_handle : corvane::detail::handle {
    variant_wrapper_handle() : reader(new CVariantRead) {
        try {
            writer = new CVariantWrite;
        } catch (...) {
            reader->Release();
            throw;
        }
    }

    ~variant_wrapper_handle() override {
        drop_value();
        writer->Release();
        reader->Release();
    }

    // Frees the value if the wrapper made it; a borrowed one stays the caller's.
    // Interfaces that callers still hold let go of a freed value too, so their
    // typed operations fail instead of reading freed memory.
    void drop_value() noexcept {
        if (value != nullptr && owns_value == 1) {
            variant_clear(value);
            delete value;
            reader->value = nullptr;
            writer->value = nullptr;
        }
        value = nullptr;
        owns_value = 0;
    }

    // Takes `record` as the value; the read and write objects follow it.
    void adopt(variant_record* record, uint8_t owned) noexcept {
        value = record;
        owns_value = owned;
        reader->value = record;
        writer->value = record;
    }

    // A deep copy of `source` that the wrapper owns. The copy is made before
    // anything is released, so `source` may be a record the wrapper uses.
    void adopt_copy_of(const variant_record* source) {
        auto copy = std::make_unique<variant_record>();
        variant_init(copy.get());
        variant_set_variant(copy.get(), source);
        drop_value();
        adopt(copy.release(), 1);
    }

    uint8_t readable = 1;
    uint8_t writable = 0;
    uint8_t owns_value = 0;
    variant_record* value = nullptr;
    CVariantRead* reader;
    CVariantWrite* writer = nullptr;
};

extern "C" {

CORVANE_API variant_wrapper_handle* variant_wrapper_create(void) {
    return new variant_wrapper_handle;
}

CORVANE_API variant_wrapper_handle* variant_wrapper_clone(const variant_wrapper_handle* source) {
    if (source == nullptr) {
        return nullptr;
    }
    auto clone = std::make_unique<variant_wrapper_handle>();
    clone->readable = source->readable;
    clone->writable = source->writable;
    if (source->value != nullptr) {
        clone->adopt_copy_of(source->value);
    }
    return clone.release();
}

CORVANE_API bool variant_wrapper_get_type(variant_wrapper_handle* wrapper, char* buffer, uint32_t* size) {
    return wrapper != nullptr && wrapper->reader->GetType(buffer, size);
}

CORVANE_API bool variant_wrapper_set_type(variant_wrapper_handle* wrapper, const char* type_name) {
    return wrapper != nullptr && wrapper->writer->SetType(type_name);
}

CORVANE_API IVariantRead* variant_wrapper_get_variantread(variant_wrapper_handle* wrapper) {
    if (wrapper == nullptr || wrapper->readable != 1) {
        return nullptr;
    }
    wrapper->reader->AddRef();
    return wrapper->reader;
}

CORVANE_API IVariantWrite* variant_wrapper_get_variantwrite(variant_wrapper_handle* wrapper) {
    if (wrapper == nullptr || wrapper->writable != 1) {
        return nullptr;
    }
    wrapper->writer->AddRef();
    return wrapper->writer;
}

CORVANE_API variant_record* variant_wrapper_get_wrapper_value(const variant_wrapper_handle* wrapper) {
    return wrapper == nullptr ? nullptr : wrapper->value;
}

CORVANE_API void variant_wrapper_set_wrapper_value(variant_wrapper_handle* wrapper, variant_record* value,
                                                   uint8_t copy) {
    if (wrapper == nullptr) {
        return;
    }
    // Handing the wrapper its own record keeps it as it is: releasing it
    // first would leave nothing to copy, or a borrowed pointer to freed memory.
    if (value != nullptr && value == wrapper->value && wrapper->owns_value == 1) {
        return;
    }
    if (copy == 1 && value != nullptr) {
        wrapper->adopt_copy_of(value);
        return;
    }
    wrapper->drop_value();
    wrapper->adopt(value, 0);
}

CORVANE_API void variant_wrapper_set_mode(variant_wrapper_handle* wrapper, uint8_t readable, uint8_t writable) {
    if (wrapper != nullptr) {
        wrapper->readable = readable;
        wrapper->writable = writable;
    }
}

}  // extern "C"
