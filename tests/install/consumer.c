/* Reads a number through a variant wrapper, using only the installed files. */
#include <corvane/corvane.h>

int main(void) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_record request;
    IVariantRead* reader;
    int32_t number = 0;
    bool read;

    variant_init(&request);
    variant_set_string(&request, "42", 1);
    variant_wrapper_set_wrapper_value(wrapper, &request, 1);
    variant_clear(&request);
    reader = variant_wrapper_get_variantread(wrapper);
    read = reader != NULL && reader->vtbl->GetInt(reader, &number) && reader->vtbl->Release(reader) == 1;
    variant_wrapper_destroy(&wrapper);
    return read && number == 42 && wrapper == NULL ? 0 : 1;
}
