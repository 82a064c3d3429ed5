"""The commands a shell script starts, read as bash reads them: words at a command's place (after a newline, a
separator, a pipe, a reserved word, an assignment or a wrapper such as exec or nice), in command substitutions
too, but not inside quotes, comments, here-documents, [[ ]] tests, case patterns, for lists or array values.
"""
import re

RESERVED_THEN_COMMAND = {"if", "then", "do", "else", "elif", "while", "until", "!", "{", "time"}
RESERVED_END = {"fi", "done", "}", "esac"}
ASSIGNMENT = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*(\[[^]]*\])?\+?=")


class Word:
    def __init__(self, line):
        self.text, self.line, self.literal, self.started = "", line, True, False

    def add(self, text, literal=True):
        self.text += text
        self.started = True
        self.literal = self.literal and literal


def matching(text, start, opening, closing):
    """The index just after the `closing` that balances the `opening` before `start`, quotes respected."""
    depth, index = 1, start
    while index < len(text):
        char = text[index]
        if char == "\\":
            index += 2
            continue
        if char == "'":
            index = text.find("'", index + 1) + 1 or len(text)
            continue
        if char == '"':
            index = skip_double(text, index + 1, [])
            continue
        if text.startswith(opening, index):
            depth += 1
            index += len(opening)
            continue
        if text.startswith(closing, index):
            depth -= 1
            index += len(closing)
            if depth == 0:
                return index
            continue
        index += 1
    return len(text)


def skip_double(text, index, nested):
    """Past the closing double quote; command substitutions inside are collected in `nested`."""
    while index < len(text):
        char = text[index]
        if char == "\\":
            index += 2
        elif char == '"':
            return index + 1
        elif text.startswith("$((", index):
            index = matching(text, index + 3, "((", "))")
        elif text.startswith("$(", index):
            end = matching(text, index + 2, "(", ")")
            nested.append((index + 2, end - 1))
            index = end
        elif char == "`":
            end = text.find("`", index + 1)
            end = len(text) if end < 0 else end
            nested.append((index + 1, end))
            index = end + 1
        else:
            index += 1
    return index


def tokens(text, base_line=1):
    """('word', Word) and ('op', text, line) tokens of a shell text; command substitutions come as ('sub',
    start, end, line)."""
    out, index, line = [], 0, base_line
    word = Word(line)
    heredocs = []

    def end_word():
        nonlocal word
        if word.started:
            out.append(("word", word))
        word = Word(line)

    while index < len(text):
        char = text[index]
        if char == "\\" and index + 1 < len(text):
            if text[index + 1] == "\n":
                line += 1
            else:
                word.add(text[index + 1])
            index += 2
            continue
        if char == "\n":
            end_word()
            out.append(("op", "\n", line))
            line += 1
            index += 1
            for delimiter, strip in heredocs:
                while index < len(text):
                    end = text.find("\n", index)
                    end = len(text) if end < 0 else end
                    body = text[index:end]
                    index = end + 1
                    line += 1
                    if (body.lstrip("\t") if strip else body) == delimiter:
                        break
            heredocs = []
            continue
        if char in " \t":
            end_word()
            index += 1
            continue
        if char == "#" and not word.started:
            end = text.find("\n", index)
            index = len(text) if end < 0 else end
            continue
        if char == "'":
            end = text.find("'", index + 1)
            end = len(text) if end < 0 else end
            word.add(text[index + 1:end])
            line += text.count("\n", index, end)
            index = end + 1
            continue
        if char == '"':
            nested = []
            end = skip_double(text, index + 1, nested)
            content = text[index + 1:end - 1]
            word.add(content, literal="$" not in content and "`" not in content)
            for start, stop in nested:
                out.append(("sub", start, stop, line + text.count("\n", index, start)))
            line += text.count("\n", index, end)
            index = end
            continue
        if text.startswith("$((", index):
            end = matching(text, index + 3, "((", "))")
            word.add(text[index:end], literal=False)
            index = end
            continue
        if text.startswith("$(", index) or char == "`":
            if char == "`":
                end = text.find("`", index + 1)
                end = len(text) if end < 0 else end
                start, stop, after = index + 1, end, end + 1
            else:
                after = matching(text, index + 2, "(", ")")
                start, stop = index + 2, after - 1
            out.append(("sub", start, stop, line))
            word.add("$()", literal=False)
            line += text.count("\n", index, after)
            index = after
            continue
        if text.startswith("${", index):
            end = matching(text, index + 2, "{", "}")
            word.add(text[index:end], literal=False)
            index = end
            continue
        if char == "$":
            match = re.match(r"\$([A-Za-z_][A-Za-z0-9_]*|[0-9#?@*!$-])", text[index:])
            size = len(match.group(0)) if match else 1
            word.add(text[index:index + size], literal=False)
            index += size
            continue
        operator = re.match(r"&&|\|\||;;|<<<|<<-|<<|>>|&>|>&|<&|[;&|()<>]", text[index:])
        if operator:
            op = operator.group(0)
            # A file descriptor's number belongs to its redirection.
            if op[0] in "<>" and word.started and word.text.isdigit() and word.literal:
                word = Word(line)
            end_word()
            index += len(op)
            if op in ("<<", "<<-"):
                rest = re.match(r"\s*(['\"]?)([A-Za-z_0-9]+)\1", text[index:])
                if rest:
                    heredocs.append((rest.group(2), op == "<<-"))
                    index += len(rest.group(0))
                continue
            out.append(("op", op, line))
            continue
        word.add(char)
        index += 1
    end_word()
    return out


WRAPPERS = {"exec", "command", "nice", "env", "xvfb-run", "timeout", "sudo", "nohup", "time", "builtin"}


def commands(text, base_line=1):
    """Every simple command of a shell text, in command substitutions too: (words, line) with words as Word."""
    found, functions = [], set()
    toks = tokens(text, base_line)
    expect, current, skip_to, redirect, case_state = True, None, None, False, None
    index = 0
    while index < len(toks):
        tok = toks[index]
        index += 1
        if tok[0] == "sub":
            sub, subfunctions = commands(text[tok[1]:tok[2]], tok[3])
            found += sub
            functions |= subfunctions
            continue
        if tok[0] == "op":
            op = tok[1]
            if redirect and op not in ("\n",):
                redirect = False
            if op in ("<", ">", ">>", "<<<", "&>", ">&", "<&"):
                redirect = True
                continue
            if skip_to == "]]" or skip_to == "do":
                if op == "\n" or op == ";":
                    if skip_to == "do":
                        continue
                continue
            if case_state == "pattern":
                if op == ")":
                    case_state = None
                    expect, current = True, None
                continue
            if op == ";;":
                case_state = "pattern"
                expect, current = True, None
                continue
            if op == "(" and current is not None and len(current[0]) == 1:
                # name ( ) { ... }: a function's definition, not a command
                functions.add(current[0][0].text)
                found.remove(current)
                if index < len(toks) and toks[index][0] == "op" and toks[index][1] == ")":
                    index += 1
                expect, current = True, None
                continue
            if op in ("\n", ";", "&", "&&", "||", "|", "(", ")"):
                expect, current = True, None
            continue
        word = tok[1]
        if (ASSIGNMENT.match(word.text) and word.text.endswith("=") and index < len(toks) and
                toks[index][0] == "op" and toks[index][1] == "("):
            # name=( ... ): an array's values
            while index < len(toks) and not (toks[index][0] == "op" and toks[index][1] == ")"):
                index += 1
            index += 1
            if current is not None:
                current[0].append(word)
            continue
        if redirect:
            redirect = False
            continue
        if skip_to:
            if word.text == skip_to and word.literal:
                skip_to = None
                expect, current = (True, None)
            continue
        if case_state == "subject":
            if word.text == "in":
                case_state = "pattern"
            continue
        if case_state == "pattern":
            if word.text == "esac":
                case_state = None
                expect = False
            continue
        if not expect:
            if current is not None:
                current[0].append(word)
            continue
        if word.literal and word.text in RESERVED_THEN_COMMAND:
            continue
        if word.literal and word.text in RESERVED_END:
            expect = False
            continue
        if word.literal and word.text == "[[":
            skip_to = "]]"
            continue
        if word.literal and word.text in ("for", "select"):
            skip_to = "do"
            continue
        if word.literal and word.text == "case":
            case_state = "subject"
            continue
        if word.literal and word.text == "function":
            functions.add(toks[index][1].text if index < len(toks) and toks[index][0] == "word" else "")
            index += 1
            continue
        if ASSIGNMENT.match(word.text):
            continue
        if word.text.startswith("((") and word.literal:
            continue
        default = re.match(r"^\$\{\w+:-(/[^}$]+)\}$", word.text)
        if default:
            # "${QUILLERY_WINE64:-/usr/lib/wine/wine64}": the program that runs unless someone says otherwise
            word.text, word.literal = default.group(1), True
        current = ([word], word.line)
        found.append(current)
        expect = word.literal and word.text in WRAPPERS
        if expect:
            current = None
            while (index < len(toks) and toks[index][0] == "word" and
                   (toks[index][1].text.startswith("-") or re.match(r"^[0-9.]+[smhd]?$", toks[index][1].text)
                    or ASSIGNMENT.match(toks[index][1].text))):
                index += 1
    return found, functions
