// Dynamic libraries on Windows.

#include <windows.h>

#include "system/dynamic_library.hpp"

namespace corvane::detail {

void* open_library(const char* path) { return LoadLibraryA(path); }

void* find_symbol(void* module, const char* symbol) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), symbol));
}

void close_library(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace corvane::detail
