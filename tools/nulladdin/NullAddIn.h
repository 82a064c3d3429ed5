#pragma once

#include <windows.h>

// The null add-in's class (QuilleryNull.dll, ProgID "QuilleryNull.Connect"); it uses the product's registered
// type library.
// {3D5C2A91-7E44-4F0B-A6D2-95C1E8B07F36}
inline constexpr CLSID CLSID_NullConnect = {
    0x3D5C2A91, 0x7E44, 0x4F0B, {0xA6, 0xD2, 0x95, 0xC1, 0xE8, 0xB0, 0x7F, 0x36}};
inline constexpr const wchar_t* kNullProgId = L"QuilleryNull.Connect";
