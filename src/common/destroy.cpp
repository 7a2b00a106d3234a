// The shared destroy function: one body exported under three names
// (safearray_destroy and variant_wrapper_destroy are link-level aliases of
// bstr_destroy, made in src/CMakeLists.txt).

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
