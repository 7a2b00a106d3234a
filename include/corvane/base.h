/*
 * Corvane: definitions shared by every public header.
 *
 * Every exported function is declared with CORVANE_API. Booleans cross the
 * interface as one byte (C99 bool / C++ bool): 1 is true, 0 is false.
 *
 * Running out of memory. The library allocates with C++ new: when memory runs
 * out, the function leaves by throwing std::bad_alloc through the C
 * interface, and no return value reports it. A C++ caller may catch it. A C
 * caller cannot: the exception passes through C frames without running any
 * clean-up of theirs, and when nothing above catches it the process ends
 * through std::terminate. In C, treat running out of memory as fatal.
 */
#ifndef CORVANE_BASE_H
#define CORVANE_BASE_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

/* Marks an exported function: imported from the library on Windows, given
 * default visibility with GCC and Clang. */
#if defined(_WIN32)
   /* The build exports through a .def file made from the export list, so
      the library's own definitions need no mark; consumers import. */
#  if defined(CORVANE_BUILDING)
#    define CORVANE_API
#  else
#    define CORVANE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define CORVANE_API __attribute__((visibility("default")))
#else
#  define CORVANE_API
#endif

/* CORVANE_PRINTF_FORMAT(fmt_index, first_arg) lets GCC and Clang check a
 * printf-style format argument; CORVANE_EXTENSION lets them accept a flexible
 * array member without a warning. Both are empty elsewhere. */
#if defined(__GNUC__)
#  define CORVANE_PRINTF_FORMAT(fmt_index, first_arg) \
     __attribute__((format(printf, fmt_index, first_arg)))
#  define CORVANE_EXTENSION __extension__
#else
#  define CORVANE_PRINTF_FORMAT(fmt_index, first_arg)
#  define CORVANE_EXTENSION
#endif

/* Open and close the declarations of a header: extern "C" linkage in C++,
 * nothing in C. */
#ifdef __cplusplus
#  define CORVANE_BEGIN_DECLS extern "C" {
#  define CORVANE_END_DECLS }
#else
#  define CORVANE_BEGIN_DECLS
#  define CORVANE_END_DECLS
#endif

#endif /* CORVANE_BASE_H */
