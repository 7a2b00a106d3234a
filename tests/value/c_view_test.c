/*
 * The C view of the read and write interfaces: every slot 0 to 17 of a
 * library object is called through the C tables, and a read object written
 * in C is read by the library, which must call the slot of each type.
 */
#include <stdio.h>
#include <string.h>

#include "corvane/corvane.h"

static int failures = 0;

#define CHECK(condition) \
    ((condition) ? (void)0 : (void)(++failures, fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition)))

/* The typed slots but the string's (5), one row each: the operation's
 * name, its C type, its slot, the type code it stands for and the record
 * member that holds it. */
#define TYPED_SLOTS(X)                                                                                 \
    X(Bool, uint8_t, 4, BOOL, u8) X(Double, double, 6, DOUBLE, f64) X(Float, float, 7, FLOAT, f32)     \
    X(LongLong, int64_t, 8, LONGLONG, i64) X(ULongLong, uint64_t, 9, ULONGLONG, u64)                   \
    X(Long, int32_t, 10, LONG, i32) X(ULong, uint32_t, 11, ULONG, u32) X(Int, int32_t, 12, INT, i32)   \
    X(UInt, uint32_t, 13, UINT, u32) X(Short, int16_t, 14, SHORT, i16) X(UShort, uint16_t, 15, USHORT, u16) \
    X(Char, int8_t, 16, CHAR, i8) X(Byte, uint8_t, 17, UCHAR, u8)

/* Each setter with flag 1 leaves its own type code, so a slot that reached
 * the wrong operation shows in the type; -2 in the setter's type shows a
 * width or sign lost on the way. */
#define WRITE(name, c_type, slot, code, member) \
    CHECK(w->vtbl->Set##name(w, (c_type)-2, 1) && v->type == VARIANT_TYPE_##code && v->value.member == (c_type)-2);

static void check_write_slots(IVariantWrite* w, const variant_record* v) {
    void* out = NULL;
    CHECK(w->vtbl->Query(w, "IVariantWrite", &out) && out == (void*)w);
    CHECK(w->vtbl->AddRef(w) == 4 && w->vtbl->Release(w) == 3 && w->vtbl->Release(w) == 2);
    CHECK(w->vtbl->SetType(w, "double") && v->type == VARIANT_TYPE_DOUBLE);
    CHECK(w->vtbl->SetString(w, "hi", 1) && v->type == VARIANT_TYPE_STRING && v->value.unit->length == 3 &&
          strcmp((const char*)v->value.unit->bytes, "hi") == 0);
    TYPED_SLOTS(WRITE)
}

/* The int -1 read through every getter is -1 in the getter's type (bool:
 * 1), so a slot that reached an operation of another width or signedness
 * shows in the value. */
#define READ(name, type, slot, code, member) \
    { type read_ = 0; CHECK(r->vtbl->Get##name(r, &read_) && read_ == (slot == 4 ? 1 : (type)-1)); }

static void check_read_slots(IVariantRead* r) {
    void* out = NULL;
    char text[8] = "xxxxxxx";
    uint32_t size = sizeof text;
    CHECK(r->vtbl->Query(r, "IVariantRead", &out) && out == (void*)r);
    CHECK(r->vtbl->AddRef(r) == 4 && r->vtbl->Release(r) == 3 && r->vtbl->Release(r) == 2);
    CHECK(r->vtbl->GetType(r, text, &size) && size == 4 && strcmp(text, "int") == 0);
    size = sizeof text;
    CHECK(r->vtbl->GetString(r, text, &size) && size == 3 && strcmp(text, "-1") == 0);
    TYPED_SLOTS(READ)
}

/* A read object implemented here: it reports a chosen type name and
 * answers every getter with the number of its own slot, or fails when told
 * to. */
struct c_reader {
    IVariantRead base;
    const char* type_name;
    bool fail;
};

static struct c_reader* reader_of(IVariantRead* self) { return (struct c_reader*)self; }
static bool c_query(IVariantRead* self, const char* name, void** out) { return (void)self, (void)name, (void)out, false; }
static uint32_t c_count(IVariantRead* self) { return (void)self, 1; }
/* Text by the size-query protocol; a library that hands over less room than
 * it was told overflows the buffer, which ASan reports. */
static bool c_get_text(char* buffer, uint32_t* size, const char* text) {
    if (buffer != NULL) strcpy(buffer, text);
    *size = (uint32_t)strlen(text) + 1;
    return true;
}
static bool c_get_type(IVariantRead* self, char* buffer, uint32_t* size) {
    return c_get_text(buffer, size, reader_of(self)->type_name);
}
static bool c_get_string(IVariantRead* self, char* buffer, uint32_t* size) {
    return !reader_of(self)->fail && c_get_text(buffer, size, "slot 5");
}

#define C_GETTER(name, type, slot, code, member)              \
    static bool c_get_##name(IVariantRead* self, type* out) { \
        return !reader_of(self)->fail && (*out = (type)slot, true); \
    }
TYPED_SLOTS(C_GETTER)

#define C_SLOT(name, type, slot, code, member) .Get##name = c_get_##name,
static const IVariantReadVtbl c_reader_table = {
    .Query = c_query, .AddRef = c_count, .Release = c_count, .GetType = c_get_type, .GetString = c_get_string,
    TYPED_SLOTS(C_SLOT)};

/* Each code is read with the getter of its own slot; a getter that fails
 * leaves the code and a zero value (a failed string read: the empty text),
 * and no reader leaves the copy empty. */
static void check_library_calls_c_slots(void) {
#define SLOT_OF_CODE(name, type, slot, code, member) [VARIANT_TYPE_##code] = slot,
    static const int slot_of_code[] = {TYPED_SLOTS(SLOT_OF_CODE)[VARIANT_TYPE_STRING] = 5};
    struct c_reader reader = {{&c_reader_table}, NULL, false};
    variant_record copy;
    char name[32];
    variant_init(&copy);
    for (int pass = 0; pass < 2; ++pass) {
        reader.fail = pass == 1;
        for (variant_type code = VARIANT_TYPE_CHAR; code <= VARIANT_TYPE_BOOL; ++code) {
            uint32_t size = sizeof name;
            CHECK(variant_resolve_display_type(code, name, &size));
            reader.type_name = name;
            variant_set_double(&copy, 1.0, 1);
            variant_set_variantread(&copy, &reader.base);
            CHECK(copy.type == code);
            CHECK(code == VARIANT_TYPE_STRING ? strcmp((const char*)copy.value.unit->bytes, reader.fail ? "" : "slot 5") == 0
                  : reader.fail ? copy.value.u64 == 0 : variant_resolve_as_int(&copy) == slot_of_code[code]);
        }
    }
    variant_set_variantread(&copy, NULL);
    CHECK(copy.type == VARIANT_TYPE_EMPTY && copy.value.u64 == 0);
}

int main(void) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_record value;
    variant_init(&value);
    variant_set_int(&value, -1, 1);
    variant_wrapper_set_mode(wrapper, 1, 1);
    variant_wrapper_set_wrapper_value(wrapper, &value, 0);
    IVariantRead* r = variant_wrapper_get_variantread(wrapper);
    IVariantWrite* w = variant_wrapper_get_variantwrite(wrapper);
    if (r == NULL || w == NULL) return 2;
    check_read_slots(r);
    check_write_slots(w, &value);
    CHECK(r->vtbl->Release(r) == 1 && w->vtbl->Release(w) == 1);
    variant_wrapper_destroy(&wrapper);
    variant_clear(&value);
    check_library_calls_c_slots();
    return failures == 0 ? 0 : 1;
}
