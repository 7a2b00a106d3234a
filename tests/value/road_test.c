/*
 * Reads the number 42 from a string through a wrapper's read interface and
 * checks every step on the way. Uses nothing but the umbrella header; the
 * exit code names the first check that failed (0: all passed).
 */
#include <string.h>

#include "corvane/corvane.h"

static bool holds_42(const variant_record* v) {
    const bstrunit* unit = v->value.unit;
    return v->type == VARIANT_TYPE_STRING && unit != NULL && unit->length == 3 && memcmp(unit->bytes, "42", 3) == 0;
}

int main(void) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_record request;
    int32_t number = 0;

    /* 1. A new wrapper: readable, not writable, no value. */
    if (wrapper == NULL || variant_wrapper_get_wrapper_value(wrapper) != NULL) return 1;
    if (variant_wrapper_get_variantwrite(wrapper) != NULL) return 2;

    /* 2. The wrapper takes a deep copy of the caller's string 42. */
    variant_init(&request);
    variant_set_string(&request, "42", 1);
    variant_wrapper_set_wrapper_value(wrapper, &request, 1);
    variant_record* held = variant_wrapper_get_wrapper_value(wrapper);
    if (held == NULL || held == &request || held->value.unit == request.value.unit || !holds_42(held)) return 3;

    /* 3. The read interface, with its count raised to 2. */
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    if (reader == NULL || reader->vtbl->AddRef(reader) != 3 || reader->vtbl->Release(reader) != 2) return 4;

    /* 4. GetInt parses a private copy; the wrapper still holds the string. */
    if (!reader->vtbl->GetInt(reader, &number) || number != 42) return 5;
    if (variant_wrapper_get_wrapper_value(wrapper) != held || !holds_42(held)) return 6;

    /* 5. Give the interface back, destroy the wrapper and clear the request. */
    if (reader->vtbl->Release(reader) != 1) return 7;
    variant_wrapper_destroy(&wrapper);
    if (wrapper != NULL || !holds_42(&request)) return 8;
    variant_clear(&request);
    return request.type == VARIANT_TYPE_EMPTY ? 0 : 9;
}
