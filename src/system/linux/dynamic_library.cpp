// Dynamic libraries on POSIX systems.

#include "system/dynamic_library.hpp"

#include <dlfcn.h>

namespace corvane::detail {

// RTLD_NOW reports missing symbols at load time rather than at the first
// call; RTLD_LOCAL keeps the library's symbols from resolving those of
// libraries loaded later.
void* open_library(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* find_symbol(void* module, const char* symbol) { return dlsym(module, symbol); }

void close_library(void* module) { dlclose(module); }

}  // namespace corvane::detail
