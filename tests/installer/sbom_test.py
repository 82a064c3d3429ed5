#!/usr/bin/python3
"""The package's bill of materials: valid SPDX 2.3 by the schema; the package's and every installed file's
SHA-256 as built; and everything each program's linker map shows linked in from the system, traced anew to its
Debian package and version, listed and linked to that program, with its notices in THIRD-PARTY-NOTICES.txt.

    sbom_test.py <schema> <bill of materials> <manifest> <package> <ar>
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import urllib.parse

import jsonschema

schema_path, sbom_path, manifest_path, package, archiver = sys.argv[1:6]
document = json.load(open(sbom_path, encoding="utf-8"))
failures = [f"schema: {error.message} at {list(error.absolute_path)}" for error in
            jsonschema.Draft7Validator(json.load(open(schema_path))).iter_errors(document)]
sha256 = lambda path: hashlib.sha256(open(path, "rb").read()).hexdigest()
checksums = lambda item: {c["algorithm"]: c["checksumValue"] for c in item.get("checksums", [])}

packages = {p["SPDXID"]: p for p in document["packages"]}
if checksums(packages.get("SPDXRef-Package-Product", {})).get("SHA256") != sha256(package):
    failures.append(f"the SHA-256 of {os.path.basename(package)} is not the package's")
files = {f["fileName"]: f for f in document["files"]}
links = {(r["spdxElementId"], r["relatedSpdxElement"]) for r in document["relationships"]
         if r["relationshipType"] == "STATIC_LINK"}
# One Debian package may hold several components (GCC's libgcc and libssp): the one that names the linked file.
holding = lambda purl, path: next((p for p in document["packages"] for ref in p.get("externalRefs", [])
                                   if ref["referenceLocator"].split("?")[0] == purl and path in p["sourceInfo"]), None)



def linked_by_lld(text, file_id, installed):
    """lld's map names objects by path and archive members by name alone: every member must be held by one of
    the archives the bill of materials says this file links (binutils' ar lists them), and every object and
    every such archive is then traced like a GNU map's."""
    inputs = set(re.findall(r"^[0-9a-f]+ [0-9a-f]+ +\d+ {9}(\S[^:]*):\(", text, re.M))
    objects = {path for path in inputs if path.startswith("/usr/")}
    members = {name for name in inputs if "/" not in name and not name.endswith(".obj")}
    named = [path for p in document["packages"] if (file_id, p["SPDXID"]) in links
             for path in re.findall(r"(/usr/\S+?\.[ao])\b", p.get("sourceInfo", ""))]
    archives = {path for path in named if path.endswith(".a")}
    held = {path: set(subprocess.run([archiver, "t", path], capture_output=True, text=True).stdout.split())
            for path in archives}
    unheld = members - set().union(*held.values())
    if unheld:
        failures.append(f"{installed}: linked {', '.join(sorted(unheld)[:5])}, which no archive it lists holds")
    return objects | {path for path, names in held.items() if names & members}


installed_files = [line.rstrip("\n").split("\t") for line in list(open(manifest_path, encoding="utf-8"))[1:]]
notices = "".join(open(built, encoding="utf-8").read() for installed, built, _ in installed_files
                  if installed.endswith("/THIRD-PARTY-NOTICES.txt"))
for installed, built, linker_map in installed_files:
    listed = files.get("./" + installed)
    if not listed or checksums(listed).get("SHA256") != sha256(built):
        failures.append(f"{installed}: not listed with the SHA-256 of {built}")
        continue
    if linker_map == "-":
        continue
    text = open(linker_map, encoding="utf-8", errors="replace").read()
    if text.startswith("Address "):
        linked = linked_by_lld(text, listed["SPDXID"], installed)
    else:
        members = text.split("Archive member included to satisfy reference by file (symbol)")[1].split("\nMemory")[0]
        linked = (set(re.findall(r"^(/usr/[^\s(]+\.a)\(", members, re.M)) |
                  set(re.findall(r"^LOAD (/usr/\S+\.o)$", text, re.M)))
    for path in sorted({os.path.realpath(p) for p in linked}):
        deb = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True).stdout.split(":")[0]
        version = subprocess.run(["dpkg-query", "-W", "-f=${Version}", deb], capture_output=True, text=True).stdout
        component = holding(f"pkg:deb/debian/{urllib.parse.quote(deb, safe='')}@{urllib.parse.quote(version, safe='')}",
                            path)
        if not component:
            failures.append(f"{installed}: {path} ({deb} {version}) is not listed")
        elif (listed["SPDXID"], component["SPDXID"]) not in links:
            failures.append(f"{installed}: not said to link {component['name']} statically")
        elif not re.search(r"^\d\. .*" + re.escape(component["name"]), notices, re.M | re.I):
            failures.append(f"THIRD-PARTY-NOTICES.txt has no section for {component['name']}")

print("\n".join(failures) or f"{os.path.basename(sbom_path)}: {len(document['files'])} files, "
      f"{len(document['packages']) - 1} components, every linked part listed")
sys.exit(1 if failures else 0)
