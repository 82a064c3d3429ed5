#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Answers every message box this thread shows, as a user would: a question with `answer` (IDYES or IDNO), a
// notice with OK. Notes each box's caption and text. One answerer per thread at a time.
class MessageBoxAnswerer {
public:
    struct Shown {
        std::string caption;
        std::string text;
        bool question;
    };

    explicit MessageBoxAnswerer(int answer);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    std::vector<Shown> shown;

private:
    static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam);

    int answer_;
    HHOOK hook_ = nullptr;
};
