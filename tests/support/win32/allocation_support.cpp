// Windows: corvane.dll carries its own operator new, which calls malloc of
// msvcrt.dll through the DLL's import table. That one entry is pointed at a
// counting malloc the first time the count is read.

#include "allocation_support.hpp"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace corvane::test {

namespace {

std::atomic<long> allocation_count{0};
void* (*real_malloc)(std::size_t) = nullptr;

void* counting_malloc(std::size_t size) {
    ++allocation_count;
    return real_malloc(size);
}

// The import-table slot through which `module` calls `function` of `dll`.
void** import_slot(HMODULE module, const char* dll, const char* function) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; _stricmp(reinterpret_cast<const char*>(base + import->Name), dll) == 0 && names->u1.AddressOfData != 0;
             ++names, ++slots) {
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) && std::strcmp(by_name->Name, function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

}  // namespace

long allocations_so_far() {
    [[maybe_unused]] static void** const slot = [] {
        HMODULE library = GetModuleHandleA("corvane.dll");
        void** found = library != nullptr ? import_slot(library, "msvcrt.dll", "malloc") : nullptr;
        DWORD protection = 0;
        if (found == nullptr || !VirtualProtect(found, sizeof *found, PAGE_READWRITE, &protection)) {
            throw std::runtime_error("cannot count the allocations of corvane.dll");
        }
        real_malloc = reinterpret_cast<void* (*)(std::size_t)>(*found);
        *found = reinterpret_cast<void*>(&counting_malloc);
        VirtualProtect(found, sizeof *found, protection, &protection);
        return found;
    }();
    return allocation_count.load();
}

}  // namespace corvane::test
