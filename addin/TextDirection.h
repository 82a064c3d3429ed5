#pragma once

#include <string>

class CodePage;

// Whether the About box opens right to left for the string table's "Lang" text: Arabic ("ar") and Hebrew
// ("he"), whole text, ignoring case. A regional form such as "he-IL" stays left to right.
bool isRightToLeftLanguage(const std::string& language, const CodePage& codePage);
