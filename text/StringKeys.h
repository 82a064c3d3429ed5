#pragma once

// The string file's vocabulary: the keys the add-in asks for by name, and the prefixes that form a ribbon
// control's keys from its id ("Label" + id, "Supertip" + id, "Label" + id + item index). Every string file
// the installer writes holds them all; so the About box, the removal messages and the ribbon, and whatever
// checks a string file, read the names from here.
namespace string_keys {

// The file's language tag; "ar" and "he" turn the About box around.
constexpr char kLanguage[] = "Lang";

constexpr char kAboutTitle[] = "LangAboutTitle";
constexpr char kAboutVersion[] = "LangAboutVersion";
constexpr char kAboutCopyright[] = "LangAboutCopyright";
constexpr char kAboutAllRights[] = "LangAboutAllRights";
constexpr char kAboutOk[] = "LangAboutOK";

constexpr char kUninstallPrompt[] = "LangUninstallPrompt";
constexpr char kUninstallSuccess[] = "LangUninstallSuccess";
constexpr char kUninstallFailure[] = "LangUninstallFailure";

// Every key above: what a string file holds besides the texts its markup's controls ask for.
constexpr const char* kFixed[] = {kLanguage,        kAboutTitle,       kAboutVersion,
                                  kAboutCopyright,  kAboutAllRights,   kAboutOk,
                                  kUninstallPrompt, kUninstallSuccess, kUninstallFailure};

constexpr char kLabelPrefix[] = "Label";
constexpr char kSupertipPrefix[] = "Supertip";

}  // namespace string_keys
