#!/usr/bin/python3
"""Every report of quillery-doctor --json that the doctor's tests saw against the schema the packages install beside
the doctor, so that what fleet tools parse by holds for every state the tests put a machine in. The tests keep each
report in a folder (tests/installer/DoctorRun.cpp); each is removed once checked, so the next run is checked afresh.

    report_schema_test.py <schema> <folder of kept reports>
"""
import json
import pathlib
import sys

import jsonschema

schema_path, folder = sys.argv[1], pathlib.Path(sys.argv[2])
validator = jsonschema.Draft202012Validator(json.load(open(schema_path, encoding="utf-8")))
reports = sorted(folder.glob("*.json"))
failures = []
for path in reports:
    for error in validator.iter_errors(json.loads(path.read_bytes())):
        failures.append(f"{path.name}: {error.message} at {'/'.join(map(str, error.absolute_path)) or 'the top'}")
    path.unlink()
if not reports:
    failures.append(f"no reports in {folder}: installer_doctor_tests keeps one for each --json run")
print("\n".join(failures) or f"{len(reports)} reports match {pathlib.Path(schema_path).name}")
sys.exit(1 if failures else 0)
