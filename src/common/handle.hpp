// Base of every heap handle released through the shared destroy function.
#pragma once

namespace corvane::detail {

// bstr_handle, safearray_handle and variant_wrapper_handle derive from this
// class as their first and only base, so a pointer to any of them is also a
// pointer to its handle base and the one destroy function can release all
// three through the virtual destructor.
class handle {
public:
    handle() = default;
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    virtual ~handle() = default;
};

}  // namespace corvane::detail
