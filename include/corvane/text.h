/*
 * Corvane text conversion and string utilities: UTF-8 to and from the local
 * code page, the length of printf-style output, and a human-order comparison
 * of names with embedded numbers.
 */
#ifndef CORVANE_TEXT_H
#define CORVANE_TEXT_H

#include <stdarg.h>

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* UTF-8 and the local code page                                             */
/* ------------------------------------------------------------------------ */
/* The local code page is, on Linux, the character set of the user's locale
 * environment (LC_ALL, LC_CTYPE, LANG), looked up at every call, and on
 * Windows the system's active ANSI code page; the program's own setlocale
 * state plays no part. Code pages define a few bytes differently on the two
 * platforms: Windows' code page 1252 maps 0x81, 0x8D, 0x8F, 0x90 and 0x9D to
 * control characters, where glibc refuses them. Both functions read `text` up to its NUL (a
 * null text is the empty text) and deliver the result by the text size-query
 * protocol:
 *   - buffer null: stores the needed size (result length + 1) in *size and
 *     returns true;
 *   - *size below the needed size: returns false and writes nothing, *size
 *     included;
 *   - otherwise copies the result and its NUL, stores the needed size and
 *     returns true.
 * When the text cannot be converted (it is not valid in its own encoding, or
 * the local character set is unsupported) the result is the text
 * "Error Encode!", delivered the same way: a caller tells a failed conversion
 * from a real result only by its content. `size` is not tested for null.
 * Safe from any thread, provided no other thread changes the environment. */

/* Converts UTF-8 text to the local code page. A character without an exact
 * counterpart there becomes one '?' (no look-alike substitution), also one
 * beyond U+FFFF. When the local
 * character set is UTF-8, valid text passes through unchanged. */
CORVANE_API bool os_utf8helper_oem_from_utf8(const char* text, char* buffer, uint32_t* size);

/* Converts local code-page text to UTF-8. Bytes that are not valid in the
 * local code page fail the conversion. */
CORVANE_API bool os_utf8helper_oem_to_utf8(const char* text, char* buffer, uint32_t* size);

/* ------------------------------------------------------------------------ */
/* String utilities                                                          */
/* ------------------------------------------------------------------------ */

/* The buffer size that vsnprintf-style formatting of `format` with `args`
 * needs: the length of the formatted text + 1. Returns -1 when formatting
 * fails, when the size does not fit in int32_t, or for a null format. The
 * text is measured as the C standard's vsnprintf forms it (two-digit
 * exponents, an unconvertible %ls fails), on Windows by the Universal CRT's
 * formatter, which writes an unconvertible %lc as nothing where glibc fails.
 * The argument list is consumed; format from a fresh copy (va_copy)
 * afterwards. */
CORVANE_API int32_t os_clibrary_string_get_formatted_length(const char* format, va_list args)
    CORVANE_PRINTF_FORMAT(1, 0);

/* Human-order comparison of NUL-terminated strings (not tested for null),
 * decided where the two first differ:
 *   - a string sorts before every longer string that begins with it;
 *   - if both differ in a digit ('0' to '9', whatever the locale), the digit
 *     runs starting there compare by numeric value, of any length, leading
 *     zeros ignored; runs of equal value ("05" and "5") make the strings
 *     neither greater nor less;
 *   - a digit sorts before any non-digit;
 *   - otherwise the bytes compare as signed 8-bit values, so case matters and
 *     bytes from 0x80 sort before ASCII.
 * Digits before the first difference belong to the common prefix, so the
 * order is not transitive in general ("x2" < "x10" < "x1b" < "x2"); it is
 * asymmetric: never both greater(a, b) and greater(b, a). Thread-safe. */

/* True when `a` sorts after `b`. */
CORVANE_API bool os_clibrary_string_intelligent_greater(const char* a, const char* b);

/* True when `a` sorts before `b`: exactly os_clibrary_string_intelligent_greater(b, a). */
CORVANE_API bool os_clibrary_string_intelligent_less(const char* a, const char* b);

CORVANE_END_DECLS

#endif /* CORVANE_TEXT_H */
