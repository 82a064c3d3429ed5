#pragma once

#include <windows.h>

// How the printer queries reach the spooler's library: the module already loaded, or else loaded from
// System32 alone (win/SystemLibrary.h), never from a folder that the search order would try first. Gathered
// so that a test can see what the platform hides (the name and the search flags); the defaults are the
// system's own functions.
struct SpoolerLoader {
    decltype(&::GetModuleHandleA) getModuleHandle = ::GetModuleHandleA;
    decltype(&::LoadLibraryExA) loadLibrary = ::LoadLibraryExA;
};
