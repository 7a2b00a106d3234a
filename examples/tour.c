/*
 * A tour of Corvane: the road of one request (reading a number through a
 * variant wrapper), then a byte-string handle and a safe array.
 */
#include <stdio.h>

#include "corvane/corvane.h"

static void road_of_one_request(void) {
    variant_wrapper_handle* wrapper;
    variant_record request;
    IVariantRead* reader;
    int32_t number = 0;
    char type[32];
    uint32_t size = sizeof type;

    puts("== The road of one request ==");

    wrapper = variant_wrapper_create();
    printf("1. new wrapper: value %s, write interface %s\n",
           variant_wrapper_get_wrapper_value(wrapper) ? "set" : "none",
           variant_wrapper_get_variantwrite(wrapper) ? "handed out" : "refused (not writable)");

    variant_init(&request);
    variant_set_string(&request, "42", 1);
    variant_wrapper_set_wrapper_value(wrapper, &request, 1);
    variant_wrapper_get_type(wrapper, type, &size);
    printf("2. the wrapper copied the caller's record: type \"%s\", text \"%s\" (%u bytes with the NUL)\n",
           type, (const char*)variant_wrapper_get_wrapper_value(wrapper)->value.unit->bytes,
           (unsigned)variant_wrapper_get_wrapper_value(wrapper)->value.unit->length);
    variant_clear(&request);

    reader = variant_wrapper_get_variantread(wrapper);
    reader->vtbl->AddRef(reader);
    printf("3. read interface handed out: count %u (the wrapper's reference and ours)\n",
           (unsigned)reader->vtbl->Release(reader));

    reader->vtbl->GetInt(reader, &number);
    size = sizeof type;
    variant_wrapper_get_type(wrapper, type, &size);
    printf("4. GetInt parsed a private copy: %d; the wrapper still holds a \"%s\"\n", (int)number, type);

    printf("5. Release gives back our reference: count %u;", (unsigned)reader->vtbl->Release(reader));
    variant_wrapper_destroy(&wrapper);
    printf(" the wrapper is destroyed and our variable is %s\n\n", wrapper == NULL ? "null" : "still set");
}

static void byte_string_handle(void) {
    bstr_handle* text = bstr_create();
    bstr_handle* copy = bstr_create();
    bstrunit* unit;

    puts("== A byte-string handle ==");
    bstr_set_string(text, "hello");
    bstr_set_bstr(copy, text);
    printf("set \"%s\", copied to a second handle: equal %s\n", bstr_get_string(text),
           bstr_equal_bstr(text, copy) ? "yes" : "no");

    unit = bstr_detach_bstrunit(text);
    printf("detached unit: %u bytes, \"%s\"; the handle now holds %s\n", (unsigned)unit->length,
           (const char*)unit->bytes, bstr_get_string(text) ? "a unit" : "nothing");
    /* The library releases its own units: hand the unit back and destroy. */
    bstr_attach_bstrunit(text, unit);
    bstr_destroy(&text);
    bstr_destroy(&copy);
    putchar('\n');
}

static void safe_array(void) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 3);
    void* snapshot = NULL;
    const int32_t* numbers;
    int32_t value;
    uint32_t i;

    puts("== A safe array ==");
    for (i = 0; i < 3; ++i) {
        value = (int32_t)(i + 1) * 10;
        safearray_set_element(array, i, &value);
    }
    safearray_resize(array, 5);
    safearray_access_element(array, &snapshot);
    numbers = snapshot;
    printf("int array resized from 3 to %u elements:", (unsigned)safearray_get_element_count(array));
    for (i = 0; i < safearray_get_element_count(array); ++i) {
        printf(" %d", (int)numbers[i]);
    }
    value = 99;
    safearray_set_element(array, 0, &value);
    safearray_get_element(array, 0, &value);
    printf("\nelement 0 set to %d; the snapshot still reads %d\n", (int)value, (int)numbers[0]);
    safearray_unaccess_element(array);
    safearray_destroy(&array);
}

int main(void) {
    road_of_one_request();
    byte_string_handle();
    safe_array();
    return 0;
}
