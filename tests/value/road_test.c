/*
 * Reads the number 42 from a string through a wrapper's read interface and
 * checks every step on the way. Uses nothing but the umbrella header; the
 * exit code names the first check that failed (0: all passed).
 */
#include "corvane/corvane.h"

static bool unit_holds(const bstrunit* unit, const char* text, uint32_t length) {
    uint32_t i;
    if (unit == NULL || unit->length != length) {
        return false;
    }
    for (i = 0; i < length; ++i) {
        if (unit->bytes[i] != (unsigned char)text[i]) {
            return false;
        }
    }
    return true;
}

int main(void) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_record request;
    variant_record* held;
    IVariantRead* reader;
    int32_t number = 0;

    /* 1. A new wrapper: readable, not writable, no value. */
    if (wrapper == NULL || variant_wrapper_get_wrapper_value(wrapper) != NULL) return 1;
    if (variant_wrapper_get_variantwrite(wrapper) != NULL) return 2;

    /* 2. The wrapper takes a deep copy of the caller's string 42. */
    variant_init(&request);
    variant_set_string(&request, "42", 1);
    variant_wrapper_set_wrapper_value(wrapper, &request, 1);
    held = variant_wrapper_get_wrapper_value(wrapper);
    if (held == NULL || held == &request || held->type != VARIANT_TYPE_STRING) return 3;
    if (held->value.unit == request.value.unit || !unit_holds(held->value.unit, "42", 3)) return 4;

    /* 3. The read interface, with its count raised to 2. */
    reader = variant_wrapper_get_variantread(wrapper);
    if (reader == NULL || reader->vtbl->AddRef(reader) != 3 || reader->vtbl->Release(reader) != 2) return 5;

    /* 4. GetInt parses a private copy; the wrapper still holds the string. */
    if (!reader->vtbl->GetInt(reader, &number) || number != 42) return 6;
    if (variant_wrapper_get_wrapper_value(wrapper) != held || held->type != VARIANT_TYPE_STRING) return 7;
    if (!unit_holds(held->value.unit, "42", 3)) return 8;

    /* 5. Give the interface back, destroy the wrapper and clear the request. */
    if (reader->vtbl->Release(reader) != 1) return 9;
    variant_wrapper_destroy(&wrapper);
    if (wrapper != NULL || !unit_holds(request.value.unit, "42", 3)) return 10;
    variant_clear(&request);
    return request.type == VARIANT_TYPE_EMPTY ? 0 : 11;
}
