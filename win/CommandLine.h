#pragma once

// How our programs meet their command lines, one rule for all of them: "--help", "-h" and "/?" show the usage
// on stdout and end the program successfully; an option the program does not know is refused by name on
// stderr before the program does anything. A word is an option when it starts with "-" or "/"; a drive path
// ("C:\x", "Z:/x") or a network path ("\\server\share", "//server/share") does not, and a lone "-" or "/" is
// an operand too. Needs no operating system.
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace win {

// What one word of a command line is.
enum class CommandWord { Help, Option, Operand };

template <typename Char>
CommandWord commandWordOf(const Char* word) {
    const auto is = [word](const char* text) {
        size_t index = 0;
        for (; text[index] != '\0'; ++index) {
            if (word[index] != static_cast<Char>(text[index])) return false;
        }
        return word[index] == Char();
    };
    if (is("--help") || is("-h") || is("/?")) return CommandWord::Help;
    const bool marked = word[0] == Char('-') || word[0] == Char('/');
    const bool networkPath = word[0] == Char('/') && word[1] == Char('/');
    return marked && word[1] != Char() && !networkPath ? CommandWord::Option : CommandWord::Operand;
}

// One program's command line as far as the rule goes: its name, its usage, and the options it knows with the
// number of words each takes after it.
class CommandLine {
public:
    // The exit code of a command line the program cannot run.
    static constexpr int kUsageError = 2;

    struct Option {
        const char* name;
        int values;
    };

    // `synopsis` is the "usage: ..." lines, shown for help and under every refusal; `description` follows
    // them for help only.
    CommandLine(const char* program, const char* synopsis, const char* description,
                std::initializer_list<Option> options)
        : program_(program), synopsis_(synopsis), description_(description), options_(options) {}

    // Looks at the whole command line before the program acts on any of it. Returns the exit code the program
    // must end with at once (0 after help, kUsageError after refusing an option), or nothing when it may go
    // on.
    template <typename Char>
    std::optional<int> screen(int argc, Char** argv) const {
        for (int index = 1; index < argc; ++index) {
            const Option* known = find(argv[index]);
            if (known) {
                index += known->values;
                continue;
            }
            switch (commandWordOf(argv[index])) {
                case CommandWord::Help:
                    std::fputs(synopsis_, stdout);
                    std::fputs(description_, stdout);
                    std::fflush(stdout);
                    return 0;
                case CommandWord::Option:
                    return refuse("unknown option \"" + printable(argv[index]) + "\"");
                case CommandWord::Operand:
                    break;
            }
        }
        return std::nullopt;
    }

    // The program's own refusal: the reason and the synopsis on stderr. Returns kUsageError.
    int refuse(const std::string& reason) const {
        std::fprintf(stderr, "%s: %s\n%s", program_, reason.c_str(), synopsis_);
        std::fflush(stderr);
        return kUsageError;
    }

    // A word of the command line as the messages show it: wide words keep their ASCII, anything else shows
    // as "?" (the messages are narrow text).
    template <typename Char>
    static std::string printable(const Char* word) {
        std::string text;
        for (; *word != Char(); ++word) {
            const auto code = static_cast<unsigned long>(*word);
            text += sizeof(Char) == 1 || (code >= 0x20 && code < 0x7F) ? static_cast<char>(*word) : '?';
        }
        return text;
    }

private:
    template <typename Char>
    const Option* find(const Char* word) const {
        for (const Option& option : options_) {
            if (printable(word) == option.name) return &option;
        }
        return nullptr;
    }

    const char* program_;
    const char* synopsis_;
    const char* description_;
    std::vector<Option> options_;
};

}  // namespace win
