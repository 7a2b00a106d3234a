/*
 * Corvane value system: the variant record, bstrunits, byte-string handles,
 * safe arrays and the variant wrapper with its read/write interfaces.
 *
 * Records (variant_record) are the caller's storage and are never tested for
 * null. Handles are opaque heap objects: a family's create function hands one
 * out, and bstr_destroy / safearray_destroy / variant_wrapper_destroy (one
 * function under three names) releases it and sets the caller's variable to
 * null. Every handle operation tests its handle for null first.
 *
 * Nothing here is locked: a caller serialises the use of one record or handle.
 * Only the reference counts of the wrapper's interface objects are atomic.
 * Allocation failure leaves a function as std::bad_alloc (see base.h).
 */
#ifndef CORVANE_VALUE_H
#define CORVANE_VALUE_H

#include "corvane/base.h"

/* ------------------------------------------------------------------------ */
/* Type codes                                                                */
/* ------------------------------------------------------------------------ */

/* A variant type code. Codes above VARIANT_TYPE_BOOL are invalid. "long" and
 * "unsigned long" are 32 bits wide on every platform. */
typedef uint16_t variant_type;

#define VARIANT_TYPE_EMPTY 0u              /* no value */
#define VARIANT_TYPE_CHAR 1u               /* "char", signed 8-bit */
#define VARIANT_TYPE_UCHAR 2u              /* "unsigned char" */
#define VARIANT_TYPE_SHORT 3u              /* "short", signed 16-bit */
#define VARIANT_TYPE_USHORT 4u             /* "unsigned short" */
#define VARIANT_TYPE_INT 5u                /* "int", signed 32-bit */
#define VARIANT_TYPE_UINT 6u               /* "unsigned int" */
#define VARIANT_TYPE_LONG 7u               /* "long", signed 32-bit */
#define VARIANT_TYPE_ULONG 8u              /* "unsigned long", 32-bit */
#define VARIANT_TYPE_LONGLONG 9u           /* "long long", signed 64-bit */
#define VARIANT_TYPE_ULONGLONG 10u         /* "unsigned long long" */
#define VARIANT_TYPE_FLOAT 11u             /* "float", IEEE single */
#define VARIANT_TYPE_DOUBLE 12u            /* "double", IEEE double */
#define VARIANT_TYPE_STRING 13u            /* "string", owned bstrunit */
#define VARIANT_TYPE_BOOL 14u              /* "bool", one byte, nonzero true */

/* ------------------------------------------------------------------------ */
/* Records                                                                   */
/* ------------------------------------------------------------------------ */

/* A length-prefixed byte string: one heap block of exactly 4 + length bytes.
 * Units made from NUL-terminated text count and store the NUL. Units the
 * library makes are released only by the library: hand a unit you own to a
 * byte-string handle (bstr_attach_bstrunit) and clear or destroy the handle. */
CORVANE_EXTENSION typedef struct tagBSTRUNIT {
    uint32_t length; /* count of the bytes that follow, 0 to 2^31 - 1 */
    unsigned char bytes[];  /* the bytes themselves */
} bstrunit;

/* The 16-byte self-describing value. The member of `value` in use depends on
 * `type`; narrower members occupy the low-order bytes. Bytes 2 to 7 carry no
 * meaning. A record of type VARIANT_TYPE_STRING owns its unit (which may be
 * null); clear such a record before discarding it. */
typedef struct tagVARIANTRECORD {
    variant_type type;      /* a VARIANT_TYPE_ code */
    uint8_t reserved[6];    /* bytes 2 to 7 */
    union {
        int8_t i8;       /* char */
        uint8_t u8;      /* unsigned char; also the bool byte */
        int16_t i16;     /* short */
        uint16_t u16;    /* unsigned short */
        int32_t i32;     /* int, long */
        uint32_t u32;    /* unsigned int, unsigned long */
        int64_t i64;     /* long long */
        uint64_t u64;    /* unsigned long long */
        float f32;       /* float */
        double f64;      /* double */
        bstrunit* unit;  /* string: owned unit, or null */
    } value;                /* the value, read by `type` */
} variant_record;

#ifdef __cplusplus
static_assert(sizeof(variant_record) == 16, "variant record is 16 bytes");
static_assert(alignof(variant_record) == 8, "variant record is 8-byte aligned");
static_assert(offsetof(variant_record, type) == 0, "type at offset 0");
static_assert(offsetof(variant_record, value) == 8, "value at offset 8");
static_assert(sizeof(bstrunit) == 4, "bstrunit header is the 32-bit length");
static_assert(offsetof(bstrunit, bytes) == 4, "bytes follow the length");
#endif

/* Handles (opaque). */
typedef struct bstr_handle bstr_handle;                       /* a byte string */
typedef struct safearray_handle safearray_handle;             /* a safe array */
typedef struct variant_wrapper_handle variant_wrapper_handle; /* a variant wrapper */

/* ------------------------------------------------------------------------ */
/* Read and write interfaces of the variant wrapper                          */
/* ------------------------------------------------------------------------ */
/*
 * IVariantRead and IVariantWrite are reference-counted objects with a fixed
 * table of operations. Slots 0 to 2 (Query, AddRef, Release) come from IBase;
 * slots 3 to 17 are the typed operations listed in the tables below. C++
 * callers call them as virtual functions; C callers call through `vtbl`:
 *
 *     IVariantRead* r = variant_wrapper_get_variantread(w);
 *     int32_t n;
 *     if (r->vtbl->GetInt(r, &n)) ...
 *     r->vtbl->Release(r);
 *
 * Every typed operation returns false, touching nothing, while the object has
 * no value. Getters never change the value. GetType and GetString follow the
 * text size-query protocol: with a null buffer they store the needed size
 * (text length + 1) and succeed; with a buffer smaller than needed they fail
 * and write nothing; otherwise they copy the text and its NUL. Setters take
 * the setter flag `force_type` of the variant_set_* functions.
 *
 * A caller may implement IVariantRead itself: variant_set_variantread reads
 * any object with this layout.
 */

#ifdef __cplusplus
struct IVariantRead;
struct IVariantWrite;
#else
typedef struct IVariantRead IVariantRead;
typedef struct IVariantWrite IVariantWrite;
#endif

/* Table of IVariantRead operations in slot order (C view). */
typedef struct IVariantReadVtbl {
    bool (*Query)(struct IVariantRead* self, const char* name, void** out);  /* slot 0: IBase query by interface name */
    uint32_t (*AddRef)(struct IVariantRead* self);  /* slot 1: adds a reference, returns the new count */
    uint32_t (*Release)(struct IVariantRead* self);  /* slot 2: drops a reference, returns the new count */
    bool (*GetType)(struct IVariantRead* self, char* buffer, uint32_t* size);  /* slot 3: the type name ("" when empty) */
    bool (*GetBool)(struct IVariantRead* self, uint8_t* out);  /* slot 4: as variant_resolve_as_bool */
    bool (*GetString)(struct IVariantRead* self, char* buffer, uint32_t* size);  /* slot 5: the value as text */
    bool (*GetDouble)(struct IVariantRead* self, double* out);  /* slot 6: as variant_resolve_as_double */
    bool (*GetFloat)(struct IVariantRead* self, float* out);  /* slot 7: as variant_resolve_as_float */
    bool (*GetLongLong)(struct IVariantRead* self, int64_t* out);  /* slot 8: as variant_resolve_as_longlong */
    bool (*GetULongLong)(struct IVariantRead* self, uint64_t* out);  /* slot 9: as variant_resolve_as_ulonglong */
    bool (*GetLong)(struct IVariantRead* self, int32_t* out);  /* slot 10: as variant_resolve_as_long */
    bool (*GetULong)(struct IVariantRead* self, uint32_t* out);  /* slot 11: as variant_resolve_as_ulong */
    bool (*GetInt)(struct IVariantRead* self, int32_t* out);  /* slot 12: as variant_resolve_as_int */
    bool (*GetUInt)(struct IVariantRead* self, uint32_t* out);  /* slot 13: as variant_resolve_as_uint */
    bool (*GetShort)(struct IVariantRead* self, int16_t* out);  /* slot 14: as variant_resolve_as_short */
    bool (*GetUShort)(struct IVariantRead* self, uint16_t* out);  /* slot 15: as variant_resolve_as_ushort */
    bool (*GetChar)(struct IVariantRead* self, int8_t* out);  /* slot 16: as variant_resolve_as_char */
    bool (*GetByte)(struct IVariantRead* self, uint8_t* out);  /* slot 17: as variant_resolve_as_byte */
} IVariantReadVtbl;

/* Table of IVariantWrite operations in slot order (C view). */
typedef struct IVariantWriteVtbl {
    bool (*Query)(struct IVariantWrite* self, const char* name, void** out);  /* slot 0: IBase query by interface name */
    uint32_t (*AddRef)(struct IVariantWrite* self);  /* slot 1: adds a reference, returns the new count */
    uint32_t (*Release)(struct IVariantWrite* self);  /* slot 2: drops a reference, returns the new count */
    bool (*SetType)(struct IVariantWrite* self, const char* type_name);  /* slot 3: variant_change_type to the named type */
    bool (*SetBool)(struct IVariantWrite* self, uint8_t value, uint8_t force_type);  /* slot 4: as variant_set_bool */
    bool (*SetString)(struct IVariantWrite* self, const char* text, uint8_t force_type);  /* slot 5: as variant_set_string */
    bool (*SetDouble)(struct IVariantWrite* self, double value, uint8_t force_type);  /* slot 6: as variant_set_double */
    bool (*SetFloat)(struct IVariantWrite* self, float value, uint8_t force_type);  /* slot 7: as variant_set_float */
    bool (*SetLongLong)(struct IVariantWrite* self, int64_t value, uint8_t force_type);  /* slot 8: as variant_set_longlong */
    bool (*SetULongLong)(struct IVariantWrite* self, uint64_t value, uint8_t force_type);  /* slot 9: as variant_set_ulonglong */
    bool (*SetLong)(struct IVariantWrite* self, int32_t value, uint8_t force_type);  /* slot 10: as variant_set_long */
    bool (*SetULong)(struct IVariantWrite* self, uint32_t value, uint8_t force_type);  /* slot 11: as variant_set_ulong */
    bool (*SetInt)(struct IVariantWrite* self, int32_t value, uint8_t force_type);  /* slot 12: as variant_set_int */
    bool (*SetUInt)(struct IVariantWrite* self, uint32_t value, uint8_t force_type);  /* slot 13: as variant_set_uint */
    bool (*SetShort)(struct IVariantWrite* self, int16_t value, uint8_t force_type);  /* slot 14: as variant_set_short */
    bool (*SetUShort)(struct IVariantWrite* self, uint16_t value, uint8_t force_type);  /* slot 15: as variant_set_ushort */
    bool (*SetChar)(struct IVariantWrite* self, int8_t value, uint8_t force_type);  /* slot 16: as variant_set_char */
    bool (*SetByte)(struct IVariantWrite* self, uint8_t value, uint8_t force_type);  /* slot 17: as variant_set_byte */
} IVariantWriteVtbl;

#ifdef __cplusplus

/* Root interface: query by interface name ("IBase", "IVariantRead",
 * "IVariantWrite", compared exactly) and atomic reference counting. Query
 * stores the object in *out and adds a reference on success. Release ends
 * the object when its count reaches 0. */
struct IBase {
    virtual bool Query(const char* name, void** out) = 0;  /* slot 0: IBase query by interface name */
    virtual uint32_t AddRef() = 0;  /* slot 1: adds a reference, returns the new count */
    virtual uint32_t Release() = 0;  /* slot 2: drops a reference, returns the new count */

protected:
    ~IBase() = default;
};

/* The reader of a variant wrapper's value (C++ view). */
struct IVariantRead : IBase {
    virtual bool GetType(char* buffer, uint32_t* size) = 0;  /* slot 3: the type name ("" when empty) */
    virtual bool GetBool(uint8_t* out) = 0;  /* slot 4: as variant_resolve_as_bool */
    virtual bool GetString(char* buffer, uint32_t* size) = 0;  /* slot 5: the value as text */
    virtual bool GetDouble(double* out) = 0;  /* slot 6: as variant_resolve_as_double */
    virtual bool GetFloat(float* out) = 0;  /* slot 7: as variant_resolve_as_float */
    virtual bool GetLongLong(int64_t* out) = 0;  /* slot 8: as variant_resolve_as_longlong */
    virtual bool GetULongLong(uint64_t* out) = 0;  /* slot 9: as variant_resolve_as_ulonglong */
    virtual bool GetLong(int32_t* out) = 0;  /* slot 10: as variant_resolve_as_long */
    virtual bool GetULong(uint32_t* out) = 0;  /* slot 11: as variant_resolve_as_ulong */
    virtual bool GetInt(int32_t* out) = 0;  /* slot 12: as variant_resolve_as_int */
    virtual bool GetUInt(uint32_t* out) = 0;  /* slot 13: as variant_resolve_as_uint */
    virtual bool GetShort(int16_t* out) = 0;  /* slot 14: as variant_resolve_as_short */
    virtual bool GetUShort(uint16_t* out) = 0;  /* slot 15: as variant_resolve_as_ushort */
    virtual bool GetChar(int8_t* out) = 0;  /* slot 16: as variant_resolve_as_char */
    virtual bool GetByte(uint8_t* out) = 0;  /* slot 17: as variant_resolve_as_byte */

protected:
    /* Slot 18: objects end through Release, never through delete. */
    virtual ~IVariantRead() = default;
};

/* The writer of a variant wrapper's value (C++ view). */
struct IVariantWrite : IBase {
    virtual bool SetType(const char* type_name) = 0;  /* slot 3: variant_change_type to the named type */
    virtual bool SetBool(uint8_t value, uint8_t force_type) = 0;  /* slot 4: as variant_set_bool */
    virtual bool SetString(const char* text, uint8_t force_type) = 0;  /* slot 5: as variant_set_string */
    virtual bool SetDouble(double value, uint8_t force_type) = 0;  /* slot 6: as variant_set_double */
    virtual bool SetFloat(float value, uint8_t force_type) = 0;  /* slot 7: as variant_set_float */
    virtual bool SetLongLong(int64_t value, uint8_t force_type) = 0;  /* slot 8: as variant_set_longlong */
    virtual bool SetULongLong(uint64_t value, uint8_t force_type) = 0;  /* slot 9: as variant_set_ulonglong */
    virtual bool SetLong(int32_t value, uint8_t force_type) = 0;  /* slot 10: as variant_set_long */
    virtual bool SetULong(uint32_t value, uint8_t force_type) = 0;  /* slot 11: as variant_set_ulong */
    virtual bool SetInt(int32_t value, uint8_t force_type) = 0;  /* slot 12: as variant_set_int */
    virtual bool SetUInt(uint32_t value, uint8_t force_type) = 0;  /* slot 13: as variant_set_uint */
    virtual bool SetShort(int16_t value, uint8_t force_type) = 0;  /* slot 14: as variant_set_short */
    virtual bool SetUShort(uint16_t value, uint8_t force_type) = 0;  /* slot 15: as variant_set_ushort */
    virtual bool SetChar(int8_t value, uint8_t force_type) = 0;  /* slot 16: as variant_set_char */
    virtual bool SetByte(uint8_t value, uint8_t force_type) = 0;  /* slot 17: as variant_set_byte */

protected:
    virtual ~IVariantWrite() = default;
};

#else /* C view */

struct IVariantRead {
    const IVariantReadVtbl* vtbl;
};

struct IVariantWrite {
    const IVariantWriteVtbl* vtbl;
};

#endif

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* Variant records                                                           */
/* ------------------------------------------------------------------------ */

/* Sets the type to empty and nothing else; meant for a fresh record (it
 * releases no unit). The value bytes stay as they were: a record that was
 * never zeroed keeps whatever its memory held, and converting it to a string
 * turns those bytes into a unit pointer that a later clear or setter frees.
 * Use variant_clear, or zero the record, when it may hold anything. */
CORVANE_API void variant_init(variant_record* v);

/* Releases a string's unit and sets all 16 bytes to zero. */
CORVANE_API void variant_clear(variant_record* v);

/* True when both records have the same type and equal values: empty records
 * are equal, floats compare as numbers (NaN equals nothing, 0.0 equals -0.0),
 * strings compare length and bytes (two null units are equal; a null unit
 * differs from a unit of length 0). Invalid codes are never equal. */
CORVANE_API bool variant_equal_variant(const variant_record* a, const variant_record* b);

/* Writes the bit size of a type code (8, 16, 32 or 64) and returns true; for
 * empty, string and invalid codes writes 0 and returns false. */
CORVANE_API bool variant_get_datatype_size(variant_type type, uint32_t* bits);

/* Deep copy: empties the destination, then copies the source; a string gets a
 * unit of its own. Copying a record onto itself leaves it unchanged. */
CORVANE_API void variant_set_variant(variant_record* destination, const variant_record* source);

/* Empties the record and makes it a string holding a copy of `unit` (a null
 * unit gives a string record with a null unit). The caller keeps its unit. */
CORVANE_API void variant_set_bstrunit(variant_record* v, const bstrunit* unit);

/* The name of a type code ("int", "unsigned long long", ...) by the text
 * size-query protocol. False for empty and invalid codes, nothing written. */
CORVANE_API bool variant_resolve_display_type(variant_type type, char* buffer, uint32_t* size);

/* Looks a type name up exactly and case-sensitively. On a match writes the
 * code and returns true; an unknown name writes 0 and returns false; a null
 * name returns false and writes nothing. */
CORVANE_API bool variant_resolve_type(const char* name, variant_type* type);

/* Converts the record in place to `target`. True when the record now has the
 * target type; false (record untouched) when the conversion is refused: a
 * target of 0 or above 14 from a typed value, or a string to such a target.
 * Converting to the record's own type, or converting an empty record, only
 * sets the type code: the value bytes are kept, so an empty record left by
 * variant_init with stray bytes becomes a string whose unit pointer is those
 * bytes, and releasing it frees a pointer the library never made. An empty
 * record left by variant_clear becomes a string with a null unit.
 *
 * Integers narrow by keeping their low bits and widen by their sign; every
 * number becomes a bool by the nonzero rule. float and double truncate toward
 * zero; a value beyond the truncation's 32 or 64 bits, or a NaN, gives the
 * most negative integer of that width. Numbers become text as printf's "%d",
 * "%u", "%lld", "%llu" and "%f" write it, in full however long. Text reads as
 * strtol / strtoul with base 0 (0x hexadecimal, leading 0 octal) clamped at
 * 32 bits, strtoll / strtoull at 64 bits, or strtod; unreadable text gives 0,
 * a null unit reads as empty text, and text is never read past its unit.
 * Numbers and text convert as in the "C" locale, whatever the process locale.
 * Conversions between numbers never allocate; conversion to text makes one
 * unit. */
CORVANE_API bool variant_change_type(variant_record* v, variant_type target);

/* Sign-extends (signed types) or masks (unsigned types) the low `bits` bits
 * of an integer record to the type's width. False, record untouched, for
 * non-integer records. Counts outside 1 to the type's width change nothing. */
CORVANE_API bool variant_ajust_data_value(variant_record* v, int32_t bits);

/* Typed setters. force_type 1: the record takes the setter's type and the
 * value. Any other force_type: the record keeps its type and receives the
 * value converted to it (a string record receives the decimal text), unless
 * that conversion is refused, in which case the setter's type is taken. */
CORVANE_API void variant_set_char(variant_record* v, int8_t value, uint8_t force_type);
CORVANE_API void variant_set_byte(variant_record* v, uint8_t value, uint8_t force_type);
CORVANE_API void variant_set_short(variant_record* v, int16_t value, uint8_t force_type);
CORVANE_API void variant_set_ushort(variant_record* v, uint16_t value, uint8_t force_type);
CORVANE_API void variant_set_int(variant_record* v, int32_t value, uint8_t force_type);
CORVANE_API void variant_set_uint(variant_record* v, uint32_t value, uint8_t force_type);
CORVANE_API void variant_set_long(variant_record* v, int32_t value, uint8_t force_type);
CORVANE_API void variant_set_ulong(variant_record* v, uint32_t value, uint8_t force_type);
CORVANE_API void variant_set_longlong(variant_record* v, int64_t value, uint8_t force_type);
CORVANE_API void variant_set_ulonglong(variant_record* v, uint64_t value, uint8_t force_type);
CORVANE_API void variant_set_float(variant_record* v, float value, uint8_t force_type);
CORVANE_API void variant_set_double(variant_record* v, double value, uint8_t force_type);
/* The bool byte is stored unchanged (2 stays 2). */
CORVANE_API void variant_set_bool(variant_record* v, uint8_t value, uint8_t force_type);
/* A null text does nothing at all. force_type 1 stores the text and its NUL;
 * otherwise a number record receives the parsed number. */
CORVANE_API void variant_set_string(variant_record* v, const char* text, uint8_t force_type);

/* Typed getters: the record read as the getter's type, by the conversion of
 * variant_change_type applied to a private copy (a string is parsed each
 * time, without allocating); the record never changes. An empty record reads
 * as the raw bits of its value. */
CORVANE_API int8_t variant_resolve_as_char(const variant_record* v);
CORVANE_API uint8_t variant_resolve_as_byte(const variant_record* v);
CORVANE_API int16_t variant_resolve_as_short(const variant_record* v);
CORVANE_API uint16_t variant_resolve_as_ushort(const variant_record* v);
CORVANE_API int32_t variant_resolve_as_int(const variant_record* v);
CORVANE_API uint32_t variant_resolve_as_uint(const variant_record* v);
CORVANE_API int32_t variant_resolve_as_long(const variant_record* v);
CORVANE_API uint32_t variant_resolve_as_ulong(const variant_record* v);
CORVANE_API int64_t variant_resolve_as_longlong(const variant_record* v);
CORVANE_API uint64_t variant_resolve_as_ulonglong(const variant_record* v);
CORVANE_API float variant_resolve_as_float(const variant_record* v);
CORVANE_API double variant_resolve_as_double(const variant_record* v);
/* The bool byte: a bool record's own byte, otherwise 1 for nonzero, 0. */
CORVANE_API uint8_t variant_resolve_as_bool(const variant_record* v);

/* Empties `destination`, then fills it from any IVariantRead object: its type
 * name decides the type, the matching getter the value. A null source leaves
 * the destination empty. */
CORVANE_API void variant_set_variantread(variant_record* destination, struct IVariantRead* source);

/* ------------------------------------------------------------------------ */
/* Byte-string handles                                                       */
/* ------------------------------------------------------------------------ */

/* A new handle holding no unit. */
CORVANE_API bstr_handle* bstr_create(void);

/* The shared destroy function (also exported as safearray_destroy and
 * variant_wrapper_destroy): releases the handle *handle and everything it
 * owns, then sets *handle to null. Does nothing when *handle is null. */
CORVANE_API void bstr_destroy(bstr_handle** handle);

/* Releases the handle's unit, leaving it empty. */
CORVANE_API void bstr_clear(bstr_handle* handle);

/* Releases the current unit and takes ownership of `unit` without copying it.
 * The unit must come from this library. With a null handle the caller keeps
 * the unit. */
CORVANE_API void bstr_attach_bstrunit(bstr_handle* handle, bstrunit* unit);

/* Hands the unit (or null) to the caller, leaving the handle empty. */
CORVANE_API bstrunit* bstr_detach_bstrunit(bstr_handle* handle);

/* The unit's bytes (not a copy), valid until the unit is released or
 * replaced; null for a null or empty handle. */
CORVANE_API char* bstr_get_string(const bstr_handle* handle);

/* Equality of two handles' units by length and bytes. Two null handles or two
 * empty handles are equal; null differs from non-null. */
CORVANE_API bool bstr_equal_bstr(const bstr_handle* a, const bstr_handle* b);

/* Equality of the handle's unit and `unit`. A null or empty handle equals only
 * a null unit. */
CORVANE_API bool bstr_equal_bstrunit(const bstr_handle* handle, const bstrunit* unit);

/* The set functions copy their source into a new unit owned by the handle; a
 * null source leaves the handle empty. With a null handle they return true
 * only when the source is null too. Setting a handle from itself keeps its
 * unit. bstr_set_string stores the text and its NUL. */
CORVANE_API bool bstr_set_bstr(bstr_handle* destination, const bstr_handle* source);
CORVANE_API bool bstr_set_bstrunit(bstr_handle* handle, const bstrunit* unit);
CORVANE_API bool bstr_set_string(bstr_handle* handle, const char* text);

/* ------------------------------------------------------------------------ */
/* Safe arrays                                                               */
/* ------------------------------------------------------------------------ */
/*
 * A resizable run of elements of one type code. Numbers and bools are stored
 * by value (1, 2, 4 or 8 bytes); strings as bstrunit pointers owned by the
 * array. New slots are zero (a null unit for strings). Element operations on
 * an array of type 0 or above 14 fail.
 */

/* A new array of `count` zeroed elements. */
CORVANE_API safearray_handle* safearray_create(variant_type type, uint32_t count);

/* Same function as bstr_destroy: releases the array, its units and every
 * outstanding snapshot. */
CORVANE_API void safearray_destroy(safearray_handle** handle);

/* Resizes to 0 elements, releasing every string unit. */
CORVANE_API void safearray_clear(safearray_handle* handle);

/* Keeps the first min(old, new) elements and zero-fills the rest. False for a
 * null handle, or for a type without storage when the count changes (the
 * count still takes the new value). */
CORVANE_API bool safearray_resize(safearray_handle* handle, uint32_t count);

/* The number of elements; 0 for a null handle. */
CORVANE_API uint32_t safearray_get_element_count(const safearray_handle* handle);

/* The element type code the array was created with; 0 for a null handle. */
CORVANE_API variant_type safearray_get_element_type(const safearray_handle* handle);

/* Copies one element to `out`. For strings *out receives a fresh duplicate of
 * the slot's unit (or null), which the caller owns. False for a null handle
 * or pointer, an index not below the count, or a type without storage. */
CORVANE_API bool safearray_get_element(const safearray_handle* handle, uint32_t index, void* out);

/* Copies one element from `value`. For strings the array stores a duplicate of
 * the unit pointed to by *(bstrunit* const*)value; the caller keeps its own. */
CORVANE_API bool safearray_set_element(safearray_handle* handle, uint32_t index, const void* value);

/* Stores in *snapshot a copy of all elements, valid until the next
 * safearray_unaccess_element or the array's destruction. An empty array gives
 * a null snapshot. String units inside a snapshot are the caller's to release. */
CORVANE_API bool safearray_access_element(safearray_handle* handle, void** snapshot);

/* Ends every outstanding snapshot at once. False only for a null handle. */
CORVANE_API bool safearray_unaccess_element(safearray_handle* handle);

/* ------------------------------------------------------------------------ */
/* Variant wrapper                                                           */
/* ------------------------------------------------------------------------ */
/*
 * Holds one variant, its own copy or a caller's record that it borrows, and
 * hands out an IVariantRead (while readable is 1) and an IVariantWrite (while
 * writable is 1). A new wrapper is readable, not writable and has no value.
 * Release the interfaces you were given before destroying the wrapper. An
 * interface still held when the wrapper frees a value it owns (destroy, or a
 * new value set) lets go of it too: its typed operations then return false,
 * as without a value. An interface over a borrowed record keeps using it.
 */

CORVANE_API variant_wrapper_handle* variant_wrapper_create(void);

/* A new wrapper with the same modes and its own deep copy of the value. */
CORVANE_API variant_wrapper_handle* variant_wrapper_clone(const variant_wrapper_handle* source);

/* Same function as bstr_destroy. */
CORVANE_API void variant_wrapper_destroy(variant_wrapper_handle** handle);

/* The value's type name by the text size-query protocol (empty text for an
 * empty value); false without a value. */
CORVANE_API bool variant_wrapper_get_type(variant_wrapper_handle* wrapper, char* buffer, uint32_t* size);

/* Converts the value to the named type; true whenever there is a value. */
CORVANE_API bool variant_wrapper_set_type(variant_wrapper_handle* wrapper, const char* type_name);

/* The interfaces with one added reference, given back with Release; null for
 * a null wrapper or when the mode does not allow it. */
CORVANE_API struct IVariantRead* variant_wrapper_get_variantread(variant_wrapper_handle* wrapper);
CORVANE_API struct IVariantWrite* variant_wrapper_get_variantwrite(variant_wrapper_handle* wrapper);

/* The wrapped record (owned or borrowed; do not release it), or null. */
CORVANE_API variant_record* variant_wrapper_get_wrapper_value(const variant_wrapper_handle* wrapper);

/* Replaces the value. copy 1 with a record: the wrapper keeps a deep copy.
 * Otherwise it borrows `value` (which may be null), and the caller keeps that
 * record alive while the wrapper or its interfaces use it. */
CORVANE_API void variant_wrapper_set_wrapper_value(variant_wrapper_handle* wrapper, variant_record* value,
                                                   uint8_t copy);

/* Stores both mode bytes unchanged; an interface is handed out only while its
 * byte is exactly 1. */
CORVANE_API void variant_wrapper_set_mode(variant_wrapper_handle* wrapper, uint8_t readable, uint8_t writable);

CORVANE_END_DECLS

#endif /* CORVANE_VALUE_H */
