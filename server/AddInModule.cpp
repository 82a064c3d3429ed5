#include "server/AddInModule.h"

#include <new>

CAddInModule::CAddInModule() noexcept {
    if (!moduleLock_.ready()) initFailed_ = true;
}

CAddInModule::~CAddInModule() {
    TermNode* node = termFunctions_;
    termFunctions_ = nullptr;
    while (node) {
        TermNode* next = node->next;
        node->function(node->argument);
        delete node;
        node = next;
    }
}

HRESULT CAddInModule::addTermFunction(TermFunction function, void* argument) noexcept {
    TermNode* node = new (std::nothrow) TermNode{function, argument, nullptr};
    if (!node) return E_OUTOFMEMORY;
    CriticalSection::Guard guard(moduleLock_);
    node->next = termFunctions_;
    termFunctions_ = node;
    return S_OK;
}
