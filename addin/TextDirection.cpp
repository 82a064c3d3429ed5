#include "addin/TextDirection.h"

#include "text/CodePage.h"

bool isRightToLeftLanguage(const std::string& language, const CodePage& codePage) {
    static const char* const kRightToLeftLanguages[] = {"ar", "he"};
    for (const char* code : kRightToLeftLanguages) {
        if (codePage.equalIgnoringCase(language, code)) return true;
    }
    return false;
}
