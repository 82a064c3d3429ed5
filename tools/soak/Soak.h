#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace soak {

// What the process looks like after a number of sessions.
struct Checkpoint {
    long sessions = 0;
    double seconds = 0;
    DWORD handles = 0;
    DWORD nextTlsSlot = 0;  // the slot TlsAlloc would hand out next
    DWORD gdiObjects = 0;
    SIZE_T privateBytes = 0;
    HRESULT canUnloadNow = E_UNEXPECTED;  // the add-in's DllCanUnloadNow; S_FALSE also when it is not loaded
};

struct Options {
    long sessions = 10000;
    long checkEvery = 1000;
    // Every so many sessions, the user unticks the add-in in the COM Add-ins dialog and ticks it on again
    // before the host exits; 0 never.
    long reloadEvery = 2;
    std::function<void(const Checkpoint&)> onCheckpoint;
};

struct Result {
    long sessions = 0;
    long sessionsWithFindings = 0;
    long reloads = 0;                         // sessions with a reload round
    std::vector<std::wstring> firstFindings;  // up to ten, with their session number
    long prints = 0;                          // buttons pressed (Print)
    long hostPrintCalls = 0;                  // PrintOut calls the host's doubles received
    std::vector<Checkpoint> checkpoints;
};

// Runs complete host sessions one after the other in this process through the simulator's session runner,
// rotating through Word, Excel and PowerPoint and through four default printers (the maker's with every
// one-shot option, the maker's with duplex only, another maker's, none): each session starts the host, lets
// the user choose an item in every drop-down, toggle every check box every other round and press every button
// but the dialog launcher (so Print goes through the host's doubles), in every other session (reloadEvery)
// untick the add-in in the COM Add-ins dialog and tick it on again, which frees its library and loads it
// anew, and exits with the reference check. The caller has installed the product and registered the add-in
// with add-in keys that load it in all three hosts; the caller's thread is in a single-threaded apartment.
Result run(const Options& options);

Checkpoint measure(long sessions, double seconds);

}  // namespace soak
