#pragma once

#include <windows.h>

// A platform critical section whose initialisation can be checked: the module's locks are set up while the
// library loads, and a lock that cannot be set up must refuse the load rather than be used.
class CriticalSection {
public:
    CriticalSection() noexcept { ready_ = ::InitializeCriticalSectionAndSpinCount(&section_, 0) != FALSE; }
    ~CriticalSection() {
        if (ready_) ::DeleteCriticalSection(&section_);
    }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    bool ready() const noexcept { return ready_; }
    void enter() noexcept { ::EnterCriticalSection(&section_); }
    void leave() noexcept { ::LeaveCriticalSection(&section_); }

    // Holds the section for one scope.
    class Guard {
    public:
        explicit Guard(CriticalSection& section) noexcept : section_(section) { section_.enter(); }
        ~Guard() { section_.leave(); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        CriticalSection& section_;
    };

private:
    CRITICAL_SECTION section_;
    bool ready_ = false;
};
