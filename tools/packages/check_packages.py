#!/usr/bin/env python3
"""Every program that the builds and the scripts start comes from a Debian package that scripts/lib/packages.txt
names, directly or through what a named package depends on; so does every Python module the scripts import.

What a fresh Debian machine has without asking (its Essential and "required" packages) counts as named. Programs
are looked for on the system's own PATH, as on a fresh machine, and resolved to the file behind every link and
alternative before dpkg is asked which package owns it.

usage: check_packages.py <source root>
"""
import os
import re
import shutil
import subprocess
import sys

import shell_commands

SYSTEM_PATH = "/usr/sbin:/usr/bin:/sbin:/bin"
PYTHON = "/usr/bin/python3"

# Words that stand where a command stands but are the shell's own, or start the command that follows them.
SHELL_WORDS = set("""
    ! [[ ]] { } ( ) case esac do done elif else fi for function if in select then time until while
    . : alias bg break builtin caller cd command compgen complete continue declare dirs disown echo enable eval
    exec exit export false fc fg getopts hash help history jobs kill let local logout mapfile popd printf pushd
    pwd read readarray readonly return set shift shopt source suspend test times trap true type typeset ulimit
    umask unalias unset wait
""".split())


def project_files(root, patterns):
    listed = subprocess.run(["git", "-C", root, "ls-files", "-z", "--", *patterns], capture_output=True,
                            check=True).stdout.decode().split("\0")
    return [name for name in listed if name and os.path.isfile(os.path.join(root, name))]


def listed_packages(root):
    packages = []
    with open(os.path.join(root, "scripts/lib/packages.txt"), encoding="utf-8") as file:
        for line in file:
            words = line.split()
            if words and not words[0].startswith("#") and len(words) >= 2:
                packages.append(words[1])
    return packages


def closure(packages):
    """The named packages and everything they depend on, all the way down (alternatives included)."""
    output = subprocess.run(["apt-cache", "depends", "--recurse", "--no-recommends", "--no-suggests",
                             "--no-conflicts", "--no-breaks", "--no-replaces", "--no-enhances", *packages],
                            capture_output=True, text=True).stdout
    names = set()
    for line in output.splitlines():
        if line and not line[0].isspace():
            names.add(line.strip().strip("<>").split(":")[0])
        else:
            match = re.match(r"\s*\|?(?:Pre)?Depends:\s*<?([^\s>]+)>?", line)
            if match:
                names.add(match.group(1).split(":")[0])
    return names


def given_packages():
    """What every Debian machine has: the Essential and the "required" packages."""
    output = subprocess.run(["dpkg-query", "-W", "-f=${Package}\t${Essential}\t${Priority}\n"],
                            capture_output=True, text=True).stdout
    return {name for name, essential, priority in (line.split("\t") for line in output.splitlines())
            if essential == "yes" or priority == "required"}


def owner(path):
    """The package that installed `path` (the file behind every link), or None."""
    real = os.path.realpath(path)
    # With /bin merged into /usr/bin, dpkg knows a file by the name its package gave it.
    candidates = [real, path] + [re.sub(r"^/usr(/s?bin/)", r"\1", name) for name in (real, path)]
    for candidate in candidates:
        result = subprocess.run(["dpkg", "-S", candidate], capture_output=True, text=True)
        if result.returncode == 0:
            line = result.stdout.splitlines()[0]
            if not line.startswith("diversion by"):
                return line.split(":")[0].split(",")[0].strip()
    return None


def shell_programs(root, names):
    """(program, where) for every command that the shell files start by a name or an absolute path; the
    scripts' own functions and the shell's builtins aside."""
    parsed = {name: shell_commands.commands(open(os.path.join(root, name), encoding="utf-8").read())
              for name in names}
    functions = set().union(*(functions for _, functions in parsed.values()))
    found = []
    for name, (commands, _) in parsed.items():
        for words, line in commands:
            word = words[0]
            if (not word.literal or word.text in SHELL_WORDS or word.text in functions or
                    ("/" in word.text and not word.text.startswith("/"))):
                continue
            found.append((word.text, f"{name}:{line}"))
            # python3 -c '...': the modules that text imports
            if word.text.startswith("python3") and len(words) > 2 and words[1].text == "-c":
                for modules in re.findall(r"import\s+([\w., ]+)", words[2].text):
                    found += [("python:" + module.strip().split(".")[0], f"{name}:{line}")
                              for module in modules.split(",")]
    return found


def cmake_programs(root):
    """(program, where) for the toolchain files' compilers, linkers and tools and every program the CMake files
    find or run by name."""
    texts = {}
    for name in project_files(root, ["*.cmake", "CMakeLists.txt", "*/CMakeLists.txt"]):
        text = open(os.path.join(root, name), encoding="utf-8").read()
        texts[name] = re.sub(r"(^|\s)#.*", r"\1", text)  # comments, kept line for line
    # A toolchain file may name a program through a variable that the file including it sets (the target triple).
    values = {}
    for text in texts.values():
        for variable, value in re.findall(r"set\(\s*(\w+)\s+([A-Za-z0-9_./+-]+)\s*\)", text):
            values.setdefault(variable, set()).add(value)

    def expanded(word):
        match = re.search(r"\$\{(\w+)\}", word)
        if not match:
            return [word]
        return [result for value in sorted(values.get(match.group(1), ()))
                for result in expanded(word.replace(match.group(0), value, 1))]

    found = []
    for name, text in texts.items():
        def add(program, at):
            line = text.count("\n", 0, at) + 1
            found.extend((word, f"{name}:{line}") for word in expanded(program))

        for match in re.finditer(r"set\(\s*(CMAKE_(?:C|CXX|RC)_COMPILER|CMAKE_LINKER|CMAKE_CROSSCOMPILING_EMULATOR|"
                                 r"CMAKE_OBJCOPY|CMAKE_STRIP|QUILLERY_WIDL)\s+([^\s)]+)", text):
            program = match.group(2)
            add(program, match.start())
            # A compiler's own binutils come with it: the archiver, the symbol and object dumpers, the stripper.
            prefix = re.match(r"^(.*-w64-mingw32-)", program)
            if prefix and match.group(1) == "CMAKE_C_COMPILER":
                for tool in ("ar", "nm", "objdump", "objcopy", "strip", "dlltool", "windres", "ld"):
                    add(prefix.group(1) + tool, match.start())
        for match in re.finditer(r"--ld-path=([^\s\"]+)", text):
            add(match.group(1), match.start())
        for match in re.finditer(r"find_program\(\s*\w+\s+(?:NAMES\s+)?([^)]*)\)", text):
            words = match.group(1).split()
            paths = []
            if "PATHS" in words:
                paths = [word for word in words[words.index("PATHS") + 1:] if not word.isupper()]
            for word in words:
                if word.isupper() or word.startswith("$"):
                    break
                add(word if not paths else os.path.join(paths[0], word), match.start())
        for match in re.finditer(r"find_package\(\s*Git\b", text):
            add("git", match.start())
        for match in re.finditer(r"\bCOMMAND\s+([A-Za-z][A-Za-z0-9_.+-]*)\b", text):
            add(match.group(1), match.start())
    return found


def python_modules(root):
    """(module, where) for every module the project's Python files, and the scripts' python3 -c lines, import."""
    found = []
    for name in project_files(root, ["*.py"]):
        for number, line in enumerate(open(os.path.join(root, name), encoding="utf-8"), 1):
            match = re.match(r"\s*(?:import\s+([\w., ]+)|from\s+(\w+)[\w.]*\s+import\b)", line)
            if match:
                for module in (match.group(1) or match.group(2)).split(","):
                    found.append((module.split(" as ")[0].strip().split(".")[0], f"{name}:{number}"))
    return found


def main():
    root = os.path.abspath(sys.argv[1])
    named = listed_packages(root)
    allowed = closure(named) | given_packages()
    local_modules = {os.path.splitext(os.path.basename(name))[0] for name in project_files(root, ["*.py"])}
    wanted = cmake_programs(root) + shell_programs(root, project_files(root, ["*.sh"]) + [".ci/run"])
    wanted += [("python:" + module, where) for module, where in python_modules(root)]
    problems, checked = [], set()
    for program, where in wanted:
        if program in checked:
            continue
        checked.add(program)
        if program.startswith("python:"):
            module = program[len("python:"):]
            if module in local_modules or module == "__future__":
                continue
            result = subprocess.run([PYTHON, "-c", f"import {module}; print(getattr({module}, '__file__', ''))"],
                                    capture_output=True, text=True)
            if result.returncode != 0:
                problems.append(f"Python module {module} ({where}) does not import with {PYTHON}")
                continue
            path, what = result.stdout.strip(), f"Python module {module} ({where})"
            if not path:
                continue  # built into the interpreter
        else:
            path = program if program.startswith("/") else shutil.which(program, path=SYSTEM_PATH)
            what = f"{program} ({where})"
            if path is None:
                # The build's own programs and test targets are no packages' business.
                if program.startswith("quillery") or program.endswith("_test"):
                    continue
                problems.append(f"{what} is on no system PATH of this machine")
                continue
        package = owner(path)
        if package is None:
            problems.append(f"{what} is {os.path.realpath(path)}, which no Debian package installed")
        elif package not in allowed:
            problems.append(f"{what} comes from package {package}, which scripts/lib/packages.txt does not "
                            f"name, nor any package it names depends on")

    for problem in problems:
        print("FAILED:", problem)
    print(f"{len(checked)} programs and Python modules checked against the {len(named)} packages named; "
          f"{len(problems)} not named")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
