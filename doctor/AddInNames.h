#pragma once

#include <string>

// The names the doctor looks the add-in up by, and the advice it gives most often, said once.
namespace doctor {

#define QUILLERY_CONNECT_PROG_ID "TandrelQuillery.Connect"
// The ProgID that Office's add-in keys, policies and lists name.
constexpr char kProgId[] = QUILLERY_CONNECT_PROG_ID;
constexpr wchar_t kProgIdWide[] = L"" QUILLERY_CONNECT_PROG_ID;
#undef QUILLERY_CONNECT_PROG_ID

// What fixes a link that the product's package lays.
constexpr char kRepairAdvice[] =
    "repair Quillery (Repair in the list of installed programs, or msiexec /fa <package>.msi)";

// An HRESULT or error code as Windows' documentation spells it: "0x80070005".
std::string hexCode(long code);

}  // namespace doctor
