#pragma once

#include <string>

#include "addin/OfficeInterfaces.h"
#include "tools/hostsim/CountedDispatch.h"

namespace hostsim {

// The ribbon's description of one control, as the host passes it to every callback: its id, and a tag and a
// context that the add-in has no need to read.
class RibbonControl : public CountedDispatch<IRibbonControl> {
public:
    explicit RibbonControl(std::wstring id) : id_(std::move(id)) {}

    // How often the add-in asked for the tag or the context.
    int extraReads() const { return extraReads_; }
    // Makes get_Id fail, as a control that cannot tell its id.
    void failId(bool fail) { failId_ = fail; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_Id(BSTR* id) override;
    HRESULT STDMETHODCALLTYPE get_Context(IDispatch** context) override;
    HRESULT STDMETHODCALLTYPE get_Tag(BSTR* tag) override;

private:
    std::wstring id_;
    int extraReads_ = 0;
    bool failId_ = false;
};

}  // namespace hostsim
