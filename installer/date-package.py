#!/usr/bin/python3
"""Gives a Windows Installer package that wixl wrote the build's date, and a package code of its contents.

wixl (msitools 0.101) stamps the summary information with the moment it ran and a random package code, and
gcab stamps each file in the embedded cabinet with its modification time; none of it takes SOURCE_DATE_EPOCH.
This rewrites those fields in place, in streams whose size does not change:
  - the summary's creation and last-saved times, and each cabinet file's date, become SOURCE_DATE_EPOCH's;
  - the package code (the summary's revision number) becomes a name-based UUID of every other stream, so that
    a package with other contents still gets another code, as Windows Installer requires.

    date-package.py <package.msi> <seconds since 1970> <namespace UUID>
"""
import hashlib
import struct
import sys
import time
import uuid

import olefile

SUMMARY = "\x05SummaryInformation"
PID_REVISION, PID_CREATED, PID_SAVED = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def summary_properties(stream):
    """(property id, type, offset of the value) of the summary's one section."""
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    for index in range(count):
        pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * index)
        kind = struct.unpack_from("<I", stream, section + offset)[0]
        yield pid, kind, section + offset + 4


def dated_summary(stream, epoch, code):
    stream = bytearray(stream)
    filetime = (epoch + 11644473600) * 10000000
    for pid, kind, at in summary_properties(stream):
        if pid in (PID_CREATED, PID_SAVED) and kind == VT_FILETIME:
            struct.pack_into("<Q", stream, at, filetime)
        elif pid == PID_REVISION and kind == VT_LPSTR:
            length = struct.unpack_from("<I", stream, at)[0]
            text = ("{%s}" % str(code).upper()).encode() + b"\0"
            if length != len(text):
                sys.exit(f"the package code takes {length} bytes, not {len(text)}")
            stream[at + 4:at + 4 + length] = text
    return bytes(stream)


def dated_cabinet(cabinet, epoch):
    """The cabinet with every file's DOS date and time (UTC) set to `epoch`."""
    cabinet = bytearray(cabinet)
    moment = time.gmtime(epoch)
    date = (moment.tm_year - 1980) << 9 | moment.tm_mon << 5 | moment.tm_mday
    clock = moment.tm_hour << 11 | moment.tm_min << 5 | moment.tm_sec // 2
    first, count = struct.unpack_from("<I", cabinet, 16)[0], struct.unpack_from("<H", cabinet, 28)[0]
    at = first
    for _ in range(count):
        struct.pack_into("<HH", cabinet, at + 10, date, clock)
        at = cabinet.index(b"\0", at + 16) + 1
    return bytes(cabinet)


def main(path, epoch, namespace):
    package = olefile.OleFileIO(path, write_mode=True)
    contents = hashlib.sha256()
    for entry in sorted(package.listdir()):
        name = "/".join(entry)
        if name == SUMMARY:
            continue
        data = package.openstream(entry).read()
        if data[:4] == b"MSCF":
            data = dated_cabinet(data, epoch)
            package.write_stream(entry, data)
        contents.update(name.encode("utf-8", "surrogatepass") + b"\0" + data)
    code = uuid.uuid5(uuid.UUID(namespace), contents.hexdigest())
    package.write_stream(SUMMARY, dated_summary(package.openstream(SUMMARY).read(), epoch, code))
    package.close()


if __name__ == "__main__":
    if len(sys.argv) != 4 or not sys.argv[2].isdigit():
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]), sys.argv[3])
