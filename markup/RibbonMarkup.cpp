#include "markup/RibbonMarkup.h"

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>

#include <set>

#include "win/AnsiText.h"
#include "win/ClassRegistration.h"
#include "win/ComPtr.h"
#include "win/EntryPoint.h"
#include "win/SystemLibrary.h"
#include "win/UniqueBstr.h"
#include "win/UniqueResource.h"

namespace markup {
namespace {

// The elements of a custom-UI document that are controls the ribbon draws and asks about.
const std::set<std::wstring> kControlKinds = {L"group",    L"button",      L"checkBox",    L"toggleButton",
                                              L"dropDown", L"comboBox",    L"editBox",     L"gallery",
                                              L"menu",     L"splitButton", L"labelControl"};

std::wstring textOf(BSTR text) {
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

// The document parser Office itself uses; the older one where the newer is missing.
const wchar_t* const kParserProgIds[] = {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"};

win::ComPtr<IXMLDOMDocument> documentAsOffice() {
    win::ComPtr<IXMLDOMDocument> document;
    for (const wchar_t* progId : kParserProgIds) {
        CLSID classId;
        if (FAILED(::CLSIDFromProgID(progId, &classId))) continue;
        if (SUCCEEDED(::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                         document.receiveVoid())))
            break;
    }
    return document;
}

// A parser's library, given back as COM gives back a server: only once it says that none of its objects is
// left (a library freed while its objects live, or its caches, would take the doctor down with it).
struct ServerLibraryTraits {
    using Handle = HMODULE;
    static HMODULE none() noexcept { return nullptr; }
    static bool valid(HMODULE library) noexcept { return library != nullptr; }
    static void close(HMODULE library) noexcept {
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        const auto canUnload = entryPointAs<CanUnload>(::GetProcAddress(library, "DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK) ::FreeLibrary(library);
    }
};
using ServerLibrary = win::UniqueResource<ServerLibraryTraits>;

// The parser as the machine registers it: its class from HKLM\Software\Classes, and of the library that class
// names only the file's name, loaded from System32 whatever folder the registration gives (the parser is
// Windows' own), with the class asked of that library itself (COM's own activation would read the merged view
// again). `library` keeps the library for as long as the document lives; `problem` says why there is none.
win::ComPtr<IXMLDOMDocument> documentFromMachine(ServerLibrary& library, std::wstring& problem) {
    win::ComPtr<IXMLDOMDocument> document;
    for (const wchar_t* progId : kParserProgIds) {
        const auto classId = win::classOfProgId(progId, win::ClassScope::Machine);
        const auto server = classId ? win::inprocServer(*classId, win::ClassScope::Machine) : std::nullopt;
        if (!server) continue;
        const std::wstring file = server->path.substr(server->path.find_last_of(L'\\') + 1);
        ServerLibrary loaded(win::loadSystemLibrary(win::narrow(file).c_str()));
        if (FAILED(win::createFromLibrary(loaded.get(), *classId, IID_IXMLDOMDocument, document.receiveVoid()))) {
            problem = std::wstring(L"System32's ") + file + L" creates no " + progId;
            continue;
        }
        library = std::move(loaded);
        problem.clear();
        break;
    }
    return document;
}

std::map<std::wstring, std::wstring> attributesOf(IXMLDOMNode* node) {
    std::map<std::wstring, std::wstring> attributes;
    win::ComPtr<IXMLDOMNamedNodeMap> map;
    long count = 0;
    if (FAILED(node->get_attributes(map.receive())) || !map || FAILED(map->get_length(&count)))
        return attributes;
    for (long index = 0; index < count; ++index) {
        win::ComPtr<IXMLDOMNode> attribute;
        if (FAILED(map->get_item(index, attribute.receive())) || !attribute) continue;
        win::UniqueBstr name, value;
        attribute->get_nodeName(name.receive());
        attribute->get_text(value.receive());
        attributes[textOf(name.get())] = textOf(value.get());
    }
    return attributes;
}

void collectControls(IXMLDOMNode* node, const std::wstring& container, MarkupDocument& document,
                     std::set<std::wstring>& ids) {
    win::ComPtr<IXMLDOMNodeList> children;
    long count = 0;
    if (FAILED(node->get_childNodes(children.receive())) || !children || FAILED(children->get_length(&count)))
        return;
    for (long index = 0; index < count; ++index) {
        win::ComPtr<IXMLDOMNode> child;
        DOMNodeType type = NODE_INVALID;
        if (FAILED(children->get_item(index, child.receive())) || !child ||
            FAILED(child->get_nodeType(&type)) || type != NODE_ELEMENT)
            continue;
        win::UniqueBstr name;
        child->get_baseName(name.receive());
        const std::wstring kind = textOf(name.get());
        if (kControlKinds.count(kind)) {
            MarkupControl control;
            control.kind = kind;
            control.container = container;
            control.attributes = attributesOf(child.get());
            control.id = control.attribute(L"id");
            if (!control.id.empty() && !ids.insert(control.id).second)
                document.duplicateIds.push_back(control.id);
            document.controls.push_back(std::move(control));
        }
        collectControls(child.get(), kind, document, ids);
    }
}

}  // namespace

std::wstring MarkupControl::attribute(const std::wstring& name) const {
    const auto found = attributes.find(name);
    return found == attributes.end() ? std::wstring() : found->second;
}

MarkupDocument readMarkup(const std::wstring& markup, ParserSource source) {
    MarkupDocument result;
    // Declared first, so that it is given back after the document.
    ServerLibrary library;
    win::ComPtr<IXMLDOMDocument> document = source == ParserSource::MachineOnly
                                                ? documentFromMachine(library, result.noParser)
                                                : documentAsOffice();
    if (!document) return result;
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    win::UniqueBstr text(::SysAllocStringLen(markup.data(), static_cast<UINT>(markup.size())));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (!text || FAILED(document->loadXML(text.get(), &loaded))) return result;
    result.parsed = true;
    if (loaded != VARIANT_TRUE) {
        win::ComPtr<IXMLDOMParseError> error;
        if (SUCCEEDED(document->get_parseError(error.receive())) && error) {
            win::UniqueBstr reason;
            error->get_reason(reason.receive());
            result.error = textOf(reason.get());
            while (!result.error.empty() && iswspace(result.error.back())) result.error.pop_back();
            error->get_line(&result.errorLine);
            error->get_linepos(&result.errorColumn);
        }
        return result;
    }
    result.wellFormed = true;
    win::ComPtr<IXMLDOMElement> root;
    if (FAILED(document->get_documentElement(root.receive())) || !root) return result;
    const auto rootAttributes = attributesOf(root.get());
    const auto onLoad = rootAttributes.find(L"onLoad");
    if (onLoad != rootAttributes.end()) result.onLoad = onLoad->second;
    std::set<std::wstring> ids;
    collectControls(root.get(), L"customUI", result, ids);
    return result;
}

std::vector<MarkupControl> controlsOf(const std::wstring& markup) {
    return readMarkup(markup).controls;
}

}  // namespace markup
