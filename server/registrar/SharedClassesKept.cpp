#include "server/registrar/SharedClassesKept.h"

#include <new>

#include "server/registrar/IgnoringCase.h"

namespace registrar {

bool SharedClassesKept::isPerView(const std::string& name) {
    // The subtrees of the classes root that 64-bit Windows redirects for 32-bit programs.
    static const char* const kPerView[] = {"CLSID", "DirectShow", "Interface", "Media Type",
                                           "MediaFoundation"};
    for (const char* perView : kPerView) {
        if (equalIgnoringCase(name, perView)) return true;
    }
    return false;
}

bool SharedClassesKept::isShared(Key parent, const std::string& name) const {
    if (shared_.count(parent)) return true;
    return parent == kClassesRoot && !name.empty() && !isPerView(name);
}

long SharedClassesKept::track(long status, Key parent, const std::string& name, Key key) {
    if (status != kSuccess || !isShared(parent, name)) return status;
    try {
        shared_.insert(key);
    } catch (const std::bad_alloc&) {
        // A key that could not be noted as shared would be deleted: it is given back instead.
        inner_.closeKey(key);
        return kNotEnoughMemory;
    }
    return status;
}

long SharedClassesKept::openKey(Key parent, const std::string& name, std::uint32_t access, Key& key) {
    const long status = inner_.openKey(parent, name, access, key);
    return track(status, parent, name, key);
}

long SharedClassesKept::createKey(Key parent, const std::string& name, Key& key) {
    const long status = inner_.createKey(parent, name, key);
    return track(status, parent, name, key);
}

long SharedClassesKept::setValue(Key key, const std::string* name, std::uint32_t type,
                                 const unsigned char* data, std::uint32_t size) {
    return inner_.setValue(key, name, type, data, size);
}

long SharedClassesKept::deleteValue(Key key, const std::string& name) {
    return shared_.count(key) ? kSuccess : inner_.deleteValue(key, name);
}

long SharedClassesKept::deleteKey(Key parent, const std::string& name) {
    return isShared(parent, name) ? kSuccess : inner_.deleteKey(parent, name);
}

long SharedClassesKept::enumerateKey(Key key, std::uint32_t index, std::string& name) {
    return inner_.enumerateKey(key, index, name);
}

long SharedClassesKept::countSubkeys(Key key, std::uint32_t& count) {
    return inner_.countSubkeys(key, count);
}

long SharedClassesKept::closeKey(Key key) {
    shared_.erase(key);
    return inner_.closeKey(key);
}

}  // namespace registrar
