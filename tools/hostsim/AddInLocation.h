#pragma once

#include <string>

namespace hostsim {

// The add-in DLL that sits beside the running program.
std::wstring addInBesideProgram();

}  // namespace hostsim
