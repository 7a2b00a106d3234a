// The shared destroy function: one body exported under three names.

#include "common/handle.hpp"
#include "corvane/value.h"

using corvane::detail::handle;

extern "C" CORVANE_API void bstr_destroy(bstr_handle** variable) {
    // Every handle type starts with its handle base (handle.hpp), so the
    // caller's variable can be read as a pointer to that base.
    auto** base = reinterpret_cast<handle**>(variable);
    if (*base == nullptr) {
        return;
    }
    delete *base;
    *base = nullptr;
}

// The two other names are aliases of bstr_destroy: one function, one address.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattribute-alias"
extern "C" CORVANE_API void safearray_destroy(safearray_handle** variable)
    __attribute__((alias("bstr_destroy"), nothrow));
extern "C" CORVANE_API void variant_wrapper_destroy(variant_wrapper_handle** variable)
    __attribute__((alias("bstr_destroy"), nothrow));
#pragma GCC diagnostic pop
