#include "tools/hostsim/ProcessFootprint.h"

#include <vector>

#include "tools/hostsim/PrivateMemory.h"
#include "win/EntryPoint.h"

namespace hostsim {
namespace {

// The process's handles from the system's handle list, where GetProcessHandleCount answers nothing (Wine).
DWORD handlesFromSystemList() {
    struct Entry {
        ULONG ownerProcess;
        UCHAR objectType;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query =
        entryPointAs<Query>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    if (!query) return 0;
    constexpr ULONG kHandleInformation = 16;
    std::vector<BYTE> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
               static_cast<LONG>(0xC0000004) /* length mismatch */
           && buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status < 0) return 0;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    const ULONG self = ::GetCurrentProcessId();
    DWORD mine = 0;
    for (ULONG index = 0; index < count; ++index) mine += entries[index].ownerProcess == self;
    return mine;
}

}  // namespace

ProcessFootprint processFootprint() {
    ProcessFootprint footprint;
    if (!::GetProcessHandleCount(::GetCurrentProcess(), &footprint.handles) || footprint.handles == 0)
        footprint.handles = handlesFromSystemList();
    footprint.nextTlsSlot = ::TlsAlloc();
    if (footprint.nextTlsSlot != TLS_OUT_OF_INDEXES) ::TlsFree(footprint.nextTlsSlot);
    footprint.privateBytes = committedPrivateBytes();
    return footprint;
}

}  // namespace hostsim
