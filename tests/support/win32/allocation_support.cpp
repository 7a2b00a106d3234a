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
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; import->Name != 0; ++import) {
        if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0) {
            continue;
        }
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

bool install_counter() {
    HMODULE library = GetModuleHandleA("corvane.dll");
    void** slot = library != nullptr ? import_slot(library, "msvcrt.dll", "malloc") : nullptr;
    DWORD protection = 0;
    if (slot == nullptr || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) {
        throw std::runtime_error("cannot count the allocations of corvane.dll");
    }
    real_malloc = reinterpret_cast<void* (*)(std::size_t)>(*slot);
    *slot = reinterpret_cast<void*>(&counting_malloc);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

}  // namespace

long allocations_so_far() {
    static const bool installed = install_counter();
    (void)installed;
    return allocation_count.load();
}

}  // namespace corvane::test
