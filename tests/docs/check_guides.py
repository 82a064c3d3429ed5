#!/usr/bin/env python3
"""Keeps the guides honest: every option the README and docs/*.md show for one of our programs is one that
program's --help names (a script's own usage text, for scripts), every repository path they name exists, every
link and every "see ..." leads to a heading that exists; and the fleet scripts (docs/fleet) find the doctor of
each package wherever Windows and PowerShell of either bitness put it, the discovery script writing one value.

    check_guides.py <source dir> <bin dir of a Windows build> <package>...

The Windows programs run under Wine for their --help, in the run's prefix (WINEPREFIX from the environment); the
packages' tables are read with msiinfo. Prints each fault and exits 1 when there is one."""

import os
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


def slug(heading):
    """The anchor a heading gets: lower case, punctuation dropped, spaces as hyphens."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def headings(text):
    fenced = False
    for line in text.splitlines():
        fenced = fenced != line.lstrip().startswith("```")
        if not fenced and re.match(r"#{1,6} ", line):
            yield line.lstrip("#").strip()


def references(guide, text, titles):
    """Faults of the links and of the "see ..." references in one guide: a link to a file that is not there or
    to a heading it lacks, and a quoted or capitalised "see" that names no heading of any guide."""
    faults = []
    for target, anchor in re.findall(r"\]\(([^)#\s]*)(?:#([^)\s]*))?\)", text):
        if "://" in target:
            continue
        path = (guide.parent / target) if target else guide
        if not path.exists():
            faults.append("the link %s leads nowhere" % target)
        elif anchor and path.suffix == ".md" and anchor not in {slug(t) for t in headings(path.read_text())}:
            faults.append("the link %s#%s names no heading there" % (target, anchor))
    prose = re.sub(r"`[^`]*`", "", re.sub(r"```.*?```", "", text, flags=re.S))
    named = re.findall(r"\bsee \"([^\"]+)\"", prose) + re.findall(r"\(see ([A-Z][^()\[\]\"]*)\)", prose)
    for name in named:
        if name.strip().lower() not in titles:
            faults.append('"see %s" names no heading' % name)
    return faults


def msi_table(package, table):
    lines = subprocess.run(["msiinfo", "export", package, table], capture_output=True, text=True,
                           check=True).stdout.replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def long_name(name):
    return name.split(":")[0].split("|")[-1]


# Where Windows Installer puts a package's folders, and what the environment of PowerShell of each bitness names,
# on each Windows a package is for. The x86 package serves 32-bit Windows and 32-bit Office alone on 64-bit
# Windows; the x64 package, 64-bit Windows.
INSTALLER_FOLDERS = {64: {"ProgramFiles64Folder": r"C:\Program Files", "ProgramFilesFolder": r"C:\Program Files (x86)"},
                     32: {"ProgramFilesFolder": r"C:\Program Files"}}
ENVIRONMENTS = {  # (Windows, PowerShell)
    (64, 64): {"ProgramW6432": r"C:\Program Files", "ProgramFiles(x86)": r"C:\Program Files (x86)",
               "ProgramFiles": r"C:\Program Files"},
    (64, 32): {"ProgramW6432": r"C:\Program Files", "ProgramFiles(x86)": r"C:\Program Files (x86)",
               "ProgramFiles": r"C:\Program Files (x86)"},
    (32, 32): {"ProgramFiles": r"C:\Program Files"},
}
PACKAGE_WINDOWS = {"x64": [64], "Intel": [64, 32]}


def installed_path(directories, directory, windows):
    """A directory of the package as installed on Windows of that bitness: its root folder's place and the long
    names below it."""
    names = []
    while directory not in INSTALLER_FOLDERS[windows]:
        row = directories.get(directory)
        if row is None or not row["Directory_Parent"]:
            return None
        names.insert(0, long_name(row["DefaultDir"]))
        directory = row["Directory_Parent"]
    return "\\".join([INSTALLER_FOLDERS[windows][directory]] + names)


def fleet_faults(source, packages):
    """The fleet scripts find each package's doctor, in every folder the package installs one to, from
    PowerShell of either bitness; the installation key they read first names such a folder; the discovery script
    writes one value; no script passes on an exit code that no program set."""
    faults = ["%s: no such package" % package for package in packages if not os.path.exists(package)]
    packages = [package for package in packages if os.path.exists(package)]
    platforms = {re.search(r"Template: (\w+);", subprocess.run(["msiinfo", "suminfo", package], capture_output=True,
                                                               text=True).stdout).group(1): package
                 for package in packages}
    if set(platforms) != set(PACKAGE_WINDOWS):
        faults.append("not both packages to read: %s" % sorted(platforms))
    scripts = {path.name: path.read_text() for path in sorted((source / "docs/fleet").glob("*.ps1"))}
    for name, text in scripts.items():
        variables = re.search(r"^\$programFiles = (.*)$", text, re.M)
        joined = re.findall(r'"\$_\\([^"]+)"', text)
        key, value, strip = (re.search(pattern, text) for pattern in
                             (r"OpenSubKey\('([^']+)'\)", r"GetValue\('([^']+)'\)", r"-replace '([^']+)'"))
        if not (variables and len(joined) == 2 and key and value and strip):
            faults.append("%s: no doctor lookup of the installation key and the Program Files folders" % name)
            continue
        variables = re.findall(r"\$\{?env:([^}\s,]+)\}?", variables.group(1))
        for platform, package in platforms.items():
            directories = {row["Directory"]: row for row in msi_table(package, "Directory")}
            components = {row["Component"]: row for row in msi_table(package, "Component")}
            doctors = [components[row["Component_"]]["Directory_"] for row in msi_table(package, "File")
                       if long_name(row["FileName"]).lower() == joined[1].lower()]
            keys = [row for row in msi_table(package, "Registry")
                    if row["Key"].rstrip("\\").lower() == key.group(1).lower() and row["Name"] == value.group(1)]
            if not doctors or not keys:
                faults.append("%s: %s has no %s or no %s value" % (name, package, joined[1], value.group(1)))
            for windows in PACKAGE_WINDOWS[platform]:
                folders = [installed_path(directories, doctor, windows).lower() for doctor in doctors]
                for row in keys:
                    named = re.sub(r"^\[(\w+)\]", lambda m: installed_path(directories, m.group(1), windows) + "\\",
                                   row["Value"])
                    if re.sub(strip.group(1), "", named).lower() not in folders:
                        faults.append("%s: %s's installation key names %s, beside no doctor"
                                      % (name, pathlib.Path(package).name, named))
                for shell in (64, 32) if windows == 64 else (32,):
                    environment = ENVIRONMENTS[windows, shell]
                    looked = {("%s\\%s" % (environment[v], joined[0])).lower() for v in variables if v in environment}
                    for folder in folders:
                        if folder not in looked:
                            faults.append("%s: on %d-bit Windows, %d-bit PowerShell misses %s's doctor in %s"
                                          % (name, windows, shell, pathlib.Path(package).name, folder))
        if "exit $LASTEXITCODE" in text and "if ($null -eq $LASTEXITCODE) { exit 1 }" not in text:
            faults.append("%s: passes on $LASTEXITCODE, which no program may have set" % name)
    writes = [line for line in scripts.get("Discover-Quillery.ps1", "").splitlines()
              if re.search(r"\b(Write-Output|Write-Host|Write-Information|Out-Host|echo)\b|^\s*& ", line)
              and not line.lstrip().startswith("#")]
    if len(writes) != 1 or not writes[0].startswith("Write-Output "):
        faults.append("Discover-Quillery.ps1: writes more than one value: %s" % writes)
    return faults


def main():
    source = pathlib.Path(sys.argv[1]).resolve()
    bin_dir = pathlib.Path(sys.argv[2]).resolve()
    scripts = sorted("scripts/" + path.name for path in (source / "scripts").glob("*.sh"))
    guides = [source / "README.md"] + sorted((source / "docs").glob("*.md"))
    titles = {title.lower() for guide in guides for title in headings(guide.read_text())}
    helps = {}
    faults = fleet_faults(source, sys.argv[3:]) if len(sys.argv) > 3 else []
    for guide in guides:
        name = guide.relative_to(source)
        text = guide.read_text()
        faults += ["%s: %s" % (name, fault) for fault in references(guide, text, titles)]
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
    for fault in sorted(set(faults)):
        print("FAILED:", fault)
    print("%d guides checked, %d faults" % (len(guides), len(set(faults))))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
