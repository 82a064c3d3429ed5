#!/usr/bin/python3
"""Writes the software bill of materials of one package (SPDX 2.3, JSON).

It lists the package with its SHA-256, every file it installs with theirs, and what the toolchain linked into
each program and library statically, as the linker's map of that file shows it (GNU ld's or lld's): every
archive a member was taken from and every object loaded from the system. Each of those is traced to the Debian package that holds
it (dpkg), with that package's version, and to a component of the toolchain (GCC's libstdc++, libgcc or
libssp, the MinGW-w64 runtime, winpthreads); a component's licences are read from its package's copyright
file. Anything linked from the system that belongs to no known component stops the build: the bill of
materials names all of it or fails.

    make-sbom.py <manifest> <package.msi> <output.spdx.json>

The manifest has one line per installed file, its fields separated by tabs: the path it is installed to
(relative to the machine's Program Files folders), the built file, and the linker's map of that file or "-".
Its first line holds the product's name, version, supplier and SOURCE_DATE_EPOCH, tab-separated too.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import urllib.parse
import uuid

# A component of the toolchain: the pattern of the linked files that belong to it, where its copyright file
# speaks of it, and what it is.
COMPONENTS = [
    ("libstdc++", r"/libstdc\+\+\.a$|/libsupc\+\+\.a$", "gcc", "libstdc++-v3", "GCC's C++ standard library"),
    ("libgcc", r"/libgcc(_eh)?\.a$|/crtbegin\.o$|/crtend\.o$", "gcc", "libgcc", "GCC's support library"),
    ("libssp", r"/libssp(_nonshared)?\.a$", "gcc", "libssp", "GCC's stack protector and checked functions"),
    ("winpthreads", r"/lib(win)?pthread\.a$", "dep5", "mingw-w64-libraries/winpthreads/",
     "POSIX threads for Windows"),
    ("MinGW-w64 runtime", r"/usr/(x86_64|i686)-w64-mingw32/lib/[^/]+\.[ao]$", "dep5", "mingw-w64-crt/",
     "start-up code, C runtime and import libraries"),
]
# Parts of a source tree that never end up in a linked program: tests, and the profiler's run-time (-pg).
NOT_LINKED = re.compile(r"/(testcases|tests_pthread|profile)/")
# Debian's short licence names as SPDX identifiers; any other becomes a LicenseRef with the copyright file's text.
SPDX_NAMES = {"ZPL-2.1": "ZPL-2.1", "expat": "MIT", "BSD-3-clause": "BSD-3-Clause", "ISC": "ISC",
              "BSD-2-clause-NetBSD": "BSD-2-Clause", "GPL-2+": "GPL-2.0-or-later",
              "GPL-3+": "GPL-3.0-or-later", "LGPL-2.1+": "LGPL-2.1-or-later", "LGPL-2+": "LGPL-2.0-or-later"}


def digest(path, algorithm):
    with open(path, "rb") as file:
        return hashlib.new(algorithm, file.read()).hexdigest()


def linked_from_system(map_file):
    """The files under /usr that the linker took code from: archives a member was included from, and objects."""
    text = open(map_file, encoding="utf-8", errors="replace").read()
    if text.startswith("Address "):
        return linked_by_lld(text, map_file)
    members = text.split("Archive member included to satisfy reference by file (symbol)", 1)[-1]
    members = members.split("\nDiscarded input sections", 1)[0].split("\nMemory Configuration", 1)[0]
    found = {m for m in re.findall(r"^(/usr/\S+\.a)\(", members, re.M)}
    found |= set(re.findall(r"^LOAD (/usr/\S+\.o)$", text, re.M))
    return sorted({os.path.realpath(path) for path in found})


def archive_members(path):
    """The member names of a GNU ar archive, read from its headers."""
    names = []
    with open(path, "rb") as file:
        if file.read(8) != b"!<arch>\n":
            return names
        long_names = b""
        while True:
            header = file.read(60)
            if len(header) < 60:
                return names
            name, size = header[:16].decode("latin-1").rstrip(), int(header[48:58])
            if name == "//":
                long_names = file.read(size)
                size = 0
            elif name.startswith("/") and name[1:].isdigit():
                start = int(name[1:])
                names.append(long_names[start:long_names.index(b"/\n", start)].decode("latin-1"))
            elif name not in ("/", "/SYM64/"):
                names.append(name.rstrip("/"))
            file.seek(size + (size & 1), os.SEEK_CUR)


def linked_by_lld(text, map_file):
    """lld's map names an object given by its path with that path, and an archive's member by the member's name
    alone. The archives are those of the folders the linker was told to search, which are the folders of the
    start files it names by path: a member is traced to an archive of those folders that holds it (two
    components holding one name would be ambiguous, and stop the build). A member no archive there holds is one
    of the build's own objects."""
    inputs = list(dict.fromkeys(re.findall(r"^[0-9a-f]+ [0-9a-f]+ +\d+ {9}(\S[^:]*):\(", text, re.M)))
    objects = [path for path in inputs if path.startswith("/usr/")]
    folders = list(dict.fromkeys(os.path.dirname(path) for path in objects))
    holders = {}
    for folder in folders:
        for archive in sorted(os.listdir(folder)):
            if archive.endswith(".a"):
                for member in archive_members(os.path.join(folder, archive)):
                    holders.setdefault(member, []).append(os.path.join(folder, archive))
    found = set(objects)
    members = [name for name in inputs if "/" not in name]
    # Runtime archives share members (each of MinGW-w64's C runtimes holds the common ones): a member is traced to
    # the archive that holds the most of what was linked (of identical copies, the one of the plainest name).
    held = {}
    for member in members:
        for archive in holders.get(member, []):
            held[archive] = held.get(archive, 0) + 1
    for member in members:
        archives = sorted(holders.get(member, []), key=lambda archive: (-held[archive], len(archive), archive))
        kinds = {next((c[0] for c in COMPONENTS if re.search(c[1], a)), a) for a in archives}
        if len(kinds) > 1:
            sys.exit(f"{map_file}: {member} is in {', '.join(archives)}: which was linked cannot be told")
        if archives:
            found.add(archives[0])
        elif not member.endswith(".obj"):
            sys.exit(f"{map_file}: {member} is in no archive of {', '.join(folders)} and not one of ours")
    return sorted({os.path.realpath(path) for path in found})


def debian_package(path):
    owner = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True, check=True).stdout
    name = owner.split(":")[0].strip()
    fields = subprocess.run(["dpkg-query", "-W", "-f=${Version}\t${Architecture}", name],
                            capture_output=True, text=True, check=True).stdout.split("\t")
    return name, fields[0], fields[1]


def dep5_licences(copyright_text, prefix):
    """Licences, copyright lines and licence texts of a machine-readable copyright file's stanzas for `prefix`:
    those naming files under it (tests and the profiler aside), and the catch-all stanza for what they leave."""
    paragraphs = re.split(r"\n\s*\n", copyright_text)
    texts = {}
    for paragraph in paragraphs:
        found = re.match(r"License: (\S+)\n((?: .*\n?)+)", paragraph)
        if found and not paragraph.startswith("Files:"):
            texts[found.group(1)] = found.group(2)
    licences, holders = [], []
    for paragraph in paragraphs:
        if not paragraph.startswith("Files:"):
            continue
        files = re.search(r"^Files:((?:.*\n)(?:\s+\S.*\n)*)", paragraph + "\n", re.M).group(1).split()
        wanted = [f for f in files if f.startswith(prefix) and not NOT_LINKED.search("/" + f)]
        if not wanted and not (files == ["*"] and prefix == "mingw-w64-crt/"):
            continue
        licence = re.search(r"^License: (.+)$", paragraph, re.M).group(1).strip()
        inline = re.search(r"^License: .+\n((?: .*\n?)+)", paragraph + "\n", re.M)
        if inline:
            texts[licence] = inline.group(1)
        holder = re.search(r"^Copyright: ((?:.*\n)(?:\s+\S.*\n)*)", paragraph + "\n", re.M).group(1)
        holders += [line.strip() for line in holder.splitlines() if line.strip()]
        licences += [name.strip() for name in licence.split(" and ")]
    unique = list(dict.fromkeys(licences))
    return unique, list(dict.fromkeys(holders)), {name: unwrap(texts.get(name, "")) for name in unique}


def unwrap(text):
    return "\n".join("" if line.strip() == "." else line[1:] for line in text.rstrip("\n").split("\n"))


def gcc_licence(copyright_text, library):
    """GCC's free-form copyright file lists the libraries under its runtime library exception."""
    found = re.search(r"The following runtime libraries are licensed under the terms of the\s+GNU General Public "
                      r"License \(v3 or later\) with version 3\.1 of the GCC\s+Runtime Library Exception[^\n]*\n"
                      r"((?:\n| - .*\n|   .*\n)+)", copyright_text)
    listed = re.findall(r"^ - (\S+)", found.group(1), re.M) if found else []
    if library not in listed:
        sys.exit(f"the GCC copyright file does not list {library} under the runtime library exception")
    holder = re.search(r"GCC is (Copyright \(C\)[^\n]*(?:\n[^\n]+)*?\nFree Software Foundation, Inc\.)",
                       copyright_text)
    return "GPL-3.0-or-later WITH GCC-exception-3.1", " ".join(holder.group(1).split())


def spdx_licence(name):
    if name in SPDX_NAMES:
        return SPDX_NAMES[name]
    return "LicenseRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", name)


def purl(name, version, architecture):
    quote = lambda text: urllib.parse.quote(text, safe="")
    return f"pkg:deb/debian/{quote(name)}@{quote(version)}?arch={architecture}"


def main(manifest, package_path, output):
    lines = [line.rstrip("\n").split("\t") for line in open(manifest, encoding="utf-8") if line.strip()]
    (product, version, supplier, epoch), installed = lines[0], lines[1:]
    package_name = os.path.basename(package_path)
    package_sha256 = digest(package_path, "sha256")
    document = {
        "spdxVersion": "SPDX-2.3",
        "dataLicense": "CC0-1.0",
        "SPDXID": "SPDXRef-DOCUMENT",
        "name": os.path.splitext(package_name)[0],
        "documentNamespace": "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_OID, package_name + package_sha256)),
        "creationInfo": {"created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch))),
                         "creators": [f"Organization: {supplier}", "Tool: Quillery installer/make-sbom.py"]},
        "documentDescribes": ["SPDXRef-Package-Product"],
        "packages": [],
        "files": [],
        "relationships": [],
        "hasExtractedLicensingInfos": [],
    }
    product_package = {
        "SPDXID": "SPDXRef-Package-Product", "name": product, "versionInfo": version,
        "packageFileName": package_name, "supplier": f"Organization: {supplier}",
        "downloadLocation": "NOASSERTION", "filesAnalyzed": True, "hasFiles": [],
        "checksums": [{"algorithm": "SHA256", "checksumValue": package_sha256}],
        "licenseConcluded": "NOASSERTION", "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION",
        "primaryPackagePurpose": "INSTALL",
    }
    document["packages"].append(product_package)
    components, extracted, sha1s = {}, {}, []
    for index, (target, built, map_file) in enumerate(installed, 1):
        file_id = f"SPDXRef-File-{index}"
        sha1s.append(digest(built, "sha1"))
        document["files"].append({
            "SPDXID": file_id, "fileName": "./" + target,
            "checksums": [{"algorithm": "SHA256", "checksumValue": digest(built, "sha256")},
                          {"algorithm": "SHA1", "checksumValue": sha1s[-1]}],
            "fileTypes": ["BINARY" if target.lower().endswith((".dll", ".exe")) else "TEXT"],
            "licenseConcluded": "NOASSERTION", "copyrightText": "NOASSERTION",
        })
        product_package["hasFiles"].append(file_id)
        if map_file == "-":
            continue
        for linked in linked_from_system(map_file):
            component = next((c for c in COMPONENTS if re.search(c[1], linked)), None)
            if not component:
                sys.exit(f"{map_file}: {linked} belongs to no component the bill of materials knows")
            deb, deb_version, architecture = debian_package(linked)
            key = (component[0], deb)
            if key not in components:
                components[key] = {"id": f"SPDXRef-Package-{len(components) + 1}", "component": component,
                                   "deb": (deb, deb_version, architecture), "linked": set(), "into": set()}
            components[key]["linked"].add(linked)
            if (components[key]["id"], file_id) not in components[key]["into"]:
                components[key]["into"].add((components[key]["id"], file_id))
                document["relationships"].append({"spdxElementId": file_id, "relationshipType": "STATIC_LINK",
                                                  "relatedSpdxElement": components[key]["id"]})
    # The package verification code: SHA-1 of the files' SHA-1s in order.
    product_package["packageVerificationCode"] = {
        "packageVerificationCodeValue": hashlib.sha1("".join(sorted(sha1s)).encode()).hexdigest()}

    for entry in components.values():
        name, pattern, kind, part, summary = entry["component"]
        deb, deb_version, architecture = entry["deb"]
        copyright_text = open(f"/usr/share/doc/{deb}/copyright", encoding="utf-8").read()
        if kind == "gcc":
            licence, holders = gcc_licence(copyright_text, part)
        else:
            names, holder_list, texts = dep5_licences(copyright_text, part)
            licence = " AND ".join(spdx_licence(n) for n in names)
            holders = "\n".join(holder_list)
            for n, text in texts.items():
                if spdx_licence(n).startswith("LicenseRef-") and spdx_licence(n) not in extracted:
                    extracted[spdx_licence(n)] = {"licenseId": spdx_licence(n), "name": n,
                                                  "extractedText": text or n}
        document["packages"].append({
            "SPDXID": entry["id"], "name": name, "versionInfo": deb_version, "summary": summary,
            "supplier": "Organization: Debian", "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
            "licenseConcluded": licence, "licenseDeclared": licence, "copyrightText": holders,
            "sourceInfo": f"linked statically from {', '.join(sorted(entry['linked']))} (Debian package {deb})",
            "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                              "referenceLocator": purl(deb, deb_version, architecture)}],
            "primaryPackagePurpose": "LIBRARY",
        })
    document["relationships"].insert(0, {"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                                         "relatedSpdxElement": "SPDXRef-Package-Product"})
    document["hasExtractedLicensingInfos"] = list(extracted.values())
    with open(output, "w", encoding="utf-8") as file:
        json.dump(document, file, indent=2, ensure_ascii=False)
        file.write("\n")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
