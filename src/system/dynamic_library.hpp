// Dynamic libraries: the platform's loader primitives.
#pragma once

namespace corvane::detail {

// Each takes arguments already checked for null.
void* open_library(const char* path);
void* find_symbol(void* module, const char* symbol);
void close_library(void* module);

}  // namespace corvane::detail
