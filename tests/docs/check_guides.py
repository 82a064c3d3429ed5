#!/usr/bin/env python3
"""Keeps the guides honest: every option the README and docs/*.md show for one of our programs is one that
program's --help names (a script's own usage text, for scripts), and every repository path they name exists.

    check_guides.py <source dir> <bin dir of a Windows build>

The Windows programs run under Wine for their --help, in the run's prefix (WINEPREFIX from the environment).
Prints each fault and exits 1 when there is one."""

import pathlib
import re
import subprocess
import sys

PROGRAMS = ["quillery-doctor", "quillery-hostsim", "quillery-soak", "quillery-fixtures", "settings-report",
            "quillery-startup-bench"]
TOP_FOLDERS = ["addin", "server", "settings", "text", "host", "about", "resources", "markup", "doctor",
               "installer", "trust", "win", "tools", "tests", "scripts", "cmake", "docs", "strings", ".ci"]
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z0-9-]*)")
# What ends a program's arguments on a line: a comment, a pipe or a redirection.
ARGUMENTS_END = re.compile(r"\s(&rem|#|\||>|2>|;)")
PATH = re.compile(r"^(?:%s)/[^\s<>*{}$]*$" % "|".join(re.escape(folder) for folder in TOP_FOLDERS))


def help_text(source, bin_dir, program):
    if program.startswith("scripts/"):
        return (source / program).read_text()  # a script's usage is its own text
    run = subprocess.run(["wine", str(bin_dir / (program + ".exe")), "--help"], capture_output=True, timeout=120)
    return run.stdout.decode("utf-8", "replace")


def code_spans(text):
    """Every line of a fenced block, and every inline code span."""
    fenced = False
    for line in text.splitlines():
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            yield line
        else:
            yield from re.findall(r"`([^`]+)`", line)


def main():
    source = pathlib.Path(sys.argv[1]).resolve()
    bin_dir = pathlib.Path(sys.argv[2]).resolve()
    scripts = sorted("scripts/" + path.name for path in (source / "scripts").glob("*.sh"))
    guides = [source / "README.md"] + sorted((source / "docs").glob("*.md"))
    helps = {}
    faults = []
    for guide in guides:
        name = guide.relative_to(source)
        text = guide.read_text()
        for span in code_spans(text):
            for program in PROGRAMS + scripts:
                found = re.search(r"(?<![\w-])%s(\.exe)?\"?(?=\s|$)" % re.escape(program), span)
                if not found:
                    continue
                arguments = ARGUMENTS_END.split(span[found.end():])[0]
                for option in OPTION.findall(arguments):
                    if program not in helps:
                        helps[program] = help_text(source, bin_dir, program)
                    if not re.search(r"(?<![\w-])%s(?![\w-])" % re.escape(option), helps[program]):
                        faults.append("%s: %s %s: the program does not know this option" % (name, program, option))
            for token in re.findall(r"[^\s`'\"()\[\]]+", span):
                token = token.rstrip(".,:;")
                # A concept may be named by its file's stem: "doctor/Repair" for Repair.h and Repair.cpp.
                if PATH.match(token) and not (source / token).exists() and not list(source.glob(token + ".*")):
                    faults.append("%s: %s does not exist" % (name, token))
        for target in re.findall(r"\]\(([^)#\s]+)(?:#[^)]*)?\)", text):
            if "://" not in target and not (guide.parent / target).exists():
                faults.append("%s: the link %s leads nowhere" % (name, target))
    for fault in sorted(set(faults)):
        print("FAILED:", fault)
    print("%d guides checked, %d faults" % (len(guides), len(set(faults))))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
