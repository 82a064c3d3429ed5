#!/usr/bin/env python3
"""Dates a type library that widl wrote with the build's date rather than the moment widl ran.

widl records in the library's custom data "Created by WIDL version <v> at <ctime>" and the same moment as a
32-bit time; both end up in the add-in's resources, so two builds of one commit would differ in them. Run widl
with TZ=UTC (ctime is local time), then:

    typelib-date.py <library.tlb> <seconds since 1970>
"""
import calendar
import re
import struct
import sys
import time


def main(path, epoch):
    data = bytearray(open(path, "rb").read())
    found = re.search(rb"Created by WIDL version [^\n\0]* at ([A-Z][a-z]{2} [A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \d{4})\n",
                      data)
    if not found:
        sys.exit(f"{path}: widl's creation note is not there; nothing to date")
    written = calendar.timegm(time.strptime(found.group(1).decode(), "%a %b %d %H:%M:%S %Y"))
    stamp = struct.pack("<I", written)
    if data.count(stamp) != 1:
        sys.exit(f"{path}: widl's time {written} is there {data.count(stamp)} times, not once")
    wanted = time.asctime(time.gmtime(epoch)).encode()
    data[found.start(1):found.end(1)] = wanted
    at = data.index(stamp)
    data[at:at + 4] = struct.pack("<I", epoch)
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[2].isdigit():
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]))
