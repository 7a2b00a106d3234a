// Dynamic libraries: argument rules. Only operating-system independent code
// belongs here; the loader calls live in <platform>/dynamic_library.cpp.

#include "system/dynamic_library.hpp"

#include "corvane/system.h"

extern "C" {

CORVANE_API void* os_dynamic_library_loader_load(const char* path) {
    // Some loaders take a null or empty name to mean the running program
    // itself; a library must be named.
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    return corvane::detail::open_library(path);
}

CORVANE_API void* os_dynamic_library_loader_load_ex(const char* path, void* /*file*/,
                                                    uint32_t /*flags*/) {
    return os_dynamic_library_loader_load(path);
}

CORVANE_API void* os_dynamic_library_loader_get_proc(void* module, const char* symbol) {
    if (module == nullptr || symbol == nullptr) {
        return nullptr;
    }
    return corvane::detail::find_symbol(module, symbol);
}

CORVANE_API void os_dynamic_library_loader_free(void* module) {
    if (module != nullptr) {
        corvane::detail::close_library(module);
    }
}

}  // extern "C"
