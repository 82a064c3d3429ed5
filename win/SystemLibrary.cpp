#include "win/SystemLibrary.h"

namespace win {

HMODULE loadSystemLibrary(const char* name, decltype(&::LoadLibraryExA) load) noexcept {
    return load(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace win
