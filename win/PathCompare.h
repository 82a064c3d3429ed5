#pragma once

#include <windows.h>

#include <string>

namespace win {

// Whether two paths name the same file as the file system and the registry compare names: ordinally, ignoring
// case, the same in every locale.
inline bool samePath(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace win
