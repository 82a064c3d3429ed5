// The classes the add-in library serves, handed to the server frame: the connection object that Office
// creates, then the plain callback object. Each is registered by its own registrar script.
#include "TandrelLib.h"
#include "addin/Connect.h"
#include "server/ClassTable.h"
#include "server/SimpleAddIn.h"

namespace {

constexpr int kConnectScriptId = 100;
constexpr int kSimpleAddInScriptId = 102;

ClassEntry classes[] = {
    {&CLSID_Connect, kConnectScriptId, &CConnect::createInstance, {nullptr}},
    {&CLSID_SimpleATLAddIn, kSimpleAddInScriptId, &CSimpleATLAddIn::createInstance, {nullptr}},
};

}  // namespace

ClassTable productClasses() noexcept {
    return {classes, sizeof(classes) / sizeof(classes[0])};
}
