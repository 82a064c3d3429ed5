#pragma once

#include <windows.h>

#include <string>

#include "about/ModalDialog.h"
#include "win/UniqueGdiObject.h"

class StringTable;

// What the two About boxes share: every text from the string table, a white background, and OK and the title
// bar's close box both ending the box through WM_CLOSE with end code 1. The cancel command that Escape
// produces has no handler, so Escape leaves the box open. Each showing is a new object; nothing is kept
// between them.
class AboutBox : public ModalDialog {
public:
    // The line under the banner: "<label>: <version>-<language tag>".
    static std::string versionLine(const std::string& label, const std::string& language);

protected:
    // The controls of one template.
    struct Controls {
        WORD templateId;
        int ok;
        int version;
        int copyright;
        int allRights;
        int banner;
    };

    // `strings` is not owned and may be null: the box then shows the keys, as an empty table does.
    AboutBox(const StringTable* strings, const Controls& controls) noexcept;

    const Controls& controls() const noexcept { return controls_; }

private:
    // Called once the first legal line is in place and before the second one is: a box that lays out its
    // legal lines does it here. `firstLine` is the first line's text.
    virtual void arrangeLegalLines(const std::string& firstLine);

    bool processMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    bool onInitDialog(WPARAM, LPARAM, LRESULT& result);
    bool onClose(WPARAM, LPARAM, LRESULT& result);
    bool onCommand(WPARAM wParam, LPARAM, LRESULT& result);
    bool onBackground(WPARAM, LPARAM, LRESULT& result);
    bool onStaticBackground(WPARAM wParam, LPARAM, LRESULT& result);

    std::string text(const char* key) const;
    HBRUSH background() const noexcept;

    const StringTable* strings_;
    win::UniqueBrush whiteBrush_;
    Controls controls_;
};
