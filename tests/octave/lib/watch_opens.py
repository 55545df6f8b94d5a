#!/usr/bin/env python3
"""Which files in the FOLDERs were opened while it watched (Linux inotify):
prints "ready" once it watches, waits for a line on its input, then prints
the names of the files opened meanwhile (folders aside) on one line, or "-"
when there were none.

    watch_opens.py FOLDER...
"""
import ctypes
import os
import struct
import sys

IN_OPEN, IN_ISDIR = 0x20, 0x40000000
libc = ctypes.CDLL(None, use_errno=True)
fd = libc.inotify_init1(os.O_NONBLOCK)
if fd < 0:
    sys.exit('watch_opens: inotify_init1 failed')
for folder in sys.argv[1:]:
    if libc.inotify_add_watch(fd, os.fsencode(folder), IN_OPEN) < 0:
        sys.exit('watch_opens: cannot watch ' + folder)
print('ready', flush=True)
sys.stdin.readline()
opened = []
while True:
    try:
        data = os.read(fd, 65536)
    except BlockingIOError:
        break
    offset = 0
    while offset < len(data):
        _, mask, _, length = struct.unpack_from('iIII', data, offset)
        name = data[offset + 16:offset + 16 + length].rstrip(b'\0').decode()
        offset += 16 + length
        if not mask & IN_ISDIR:
            opened.append(name)
print(' '.join(opened) or '-', flush=True)
