#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstdint>

#include "host/HostKind.h"
#include "win/ComPtr.h"

// The add-in's handle on the Office application that loaded it: counted references to the host's application
// object and to the COM add-in object the host made for this add-in, and which host it is.
class HostApplication {
public:
    HostApplication() noexcept = default;
    // Releases the add-in object first, then the application.
    ~HostApplication();
    HostApplication(const HostApplication&) = delete;
    HostApplication& operator=(const HostApplication&) = delete;

    // Keeps references of its own to both objects (asked for IDispatch); false, and nothing kept, when
    // `application` is null. The caller keeps its own references.
    bool attach(IDispatch* application, IDispatch* addInInstance) noexcept;
    // Releases both references; the kind stays as it was.
    void detach() noexcept;
    // Recognises the host from the ribbon identifier that GetCustomUI receives, a BSTR compared over its
    // whole length (exact, case-sensitive); null or anything else is None. Every call decides afresh.
    HostKind detectKind(BSTR ribbonId) noexcept;
    HostKind kind() const noexcept { return kind_; }

    // The application object for the print routines; null when none is held.
    IDispatch* application() const noexcept { return application_.get(); }

    // Print the active document through the host (host/PrintRoutines.h says how); false without calling the
    // host when no application object is held.
    bool printWord(int32_t pagesPerSheet) noexcept;
    bool printExcel(bool blackAndWhite, bool fitToPage) noexcept;
    bool printPowerPoint(bool blackAndWhite, int32_t layout) noexcept;

private:
    win::ComPtr<IDispatch> application_;
    win::ComPtr<IDispatch> addInInstance_;
    HostKind kind_ = HostKind::None;
};
