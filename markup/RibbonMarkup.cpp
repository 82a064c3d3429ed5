#include "markup/RibbonMarkup.h"

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>

#include <set>

#include "win/ComPtr.h"
#include "win/UniqueBstr.h"

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
win::ComPtr<IXMLDOMDocument> newDocument() {
    win::ComPtr<IXMLDOMDocument> document;
    for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
        CLSID classId;
        if (FAILED(::CLSIDFromProgID(progId, &classId))) continue;
        if (SUCCEEDED(::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                         document.receiveVoid())))
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

MarkupDocument readMarkup(const std::wstring& markup) {
    MarkupDocument result;
    win::ComPtr<IXMLDOMDocument> document = newDocument();
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
