#pragma once

#include <string>

namespace hostsim {

// Makes the add-in creatable the way an installed copy is: the class keys of its two classes (in-process
// server, apartment threading, ProgIDs "TandrelQuillery.Connect" and "TandrelQuillery.SimpleATLAddIn") and
// its type library, registered from the DLL itself. Removes all of it again on destruction unless kept.
class ServerRegistration {
public:
    explicit ServerRegistration(const std::wstring& dllPath);
    ~ServerRegistration();
    ServerRegistration(const ServerRegistration&) = delete;
    ServerRegistration& operator=(const ServerRegistration&) = delete;

    bool ok() const { return ok_; }
    void keep() { kept_ = true; }

private:
    bool ok_ = false;
    bool kept_ = false;
};

// The add-in DLL that sits beside the running program.
std::wstring addInBesideProgram();

}  // namespace hostsim
