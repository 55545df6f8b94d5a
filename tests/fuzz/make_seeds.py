#!/usr/bin/env python3
"""Writes the seed inputs of tests/fuzz/corpus/<target>/: one meaningful case
each (a valid call, a boundary, a typical mistake) in each target's input
layout. Run again after changing a layout."""
import math
import os
import shutil
import struct

here = os.path.dirname(os.path.abspath(__file__))

# fuzz_commands: command, nlhs, nrhs, line byte count, line bytes, then per
# argument: class index, shape (bit 0 complex, bit 1 sparse, bits 2-4 rows
# choice; 0 = one row), column count, content.
CLASS = {'double': 0, 'single': 1, 'int8': 2, 'uint8': 3, 'int16': 4, 'uint16': 5, 'int32': 6, 'uint32': 7,
         'int64': 8, 'uint64': 9, 'logical': 10, 'char': 11, 'cell': 12, 'struct': 13, 'function': 14}
# The fuzzer numbers the commands in name order of commands/*.cpp.
COMMANDS = sorted(f[:-4] for f in os.listdir(os.path.join(here, '..', '..', 'commands')) if f.endswith('.cpp'))
CMD = {name[4:].lower(): COMMANDS.index(name) for name in COMMANDS}
OWN_PORT, INVALID = 4, 0
FREE_PTY, MISSING, DEV_NULL, DIRECTORY = 5, 1, 2, 4


def d(x):
    return bytes([CLASS['double'], 0, 1]) + struct.pack('<d', x)


def handle(pick, cols=1):
    return bytes([CLASS['uint32'], 0, cols]) + bytes([pick] * cols)


def text(s):
    return bytes([CLASS['char'], 0, len(s)]) + b''.join(bytes([ord(c), 0]) for c in s)


def port(selector, extra=b''):
    return bytes([CLASS['char'], 0, 1, selector]) + extra


def call(cmd, nlhs, args, line=b''):
    return bytes([CMD[cmd], nlhs, len(args), len(line)]) + line + b''.join(args)


frame = bytes([21, 0, 0x80, 1, 0, 255, 255, 0x34, 0x12, 0, 0x80, 255, 127, 0, 0, 0, 0x80, 0, 0, 255, 255, 255, 255])
commands = {
    'attach_free_port': call('attach', 1, [port(FREE_PTY), d(115200), d(8), d(0), d(1)]),
    'attach_free_port_odd_rate_mark_parity': call('attach', 0, [port(FREE_PTY), d(31250), d(7), d(3), d(0)]),
    'attach_missing': call('attach', 1, [port(MISSING, b'\x03abc'), d(9600), d(8), d(0), d(5)]),
    'attach_dev_null': call('attach', 1, [port(DEV_NULL), d(9600), d(8), d(0), d(5)]),
    'attach_directory_nan_rate': call('attach', 1, [port(DIRECTORY), d(math.nan), d(8), d(0), d(5)]),
    'attach_bad_byte_size': call('attach', 1, [port(FREE_PTY), d(115200), d(9), d(0), d(5)]),
    'attach_negative_timeout': call('attach', 1, [port(FREE_PTY), d(115200), d(8), d(0), d(-5)]),
    'attach_two_outputs': call('attach', 2, [port(FREE_PTY), d(115200), d(8), d(0), d(5)]),
    'detach_own': call('detach', 0, [handle(OWN_PORT)]),
    'detach_invalid': call('detach', 0, [handle(INVALID)]),
    'detach_empty_handle': call('detach', 0, [bytes([CLASS['uint32'], 0, 0])]),
    'run_drive': call('run', 0, [handle(OWN_PORT), text('drive')]),
    'run_name_too_long': call('run', 0, [handle(OWN_PORT), text('abcdefghijklmnop')]),
    'run_name_not_char': call('run', 0, [handle(OWN_PORT), d(1)]),
    'halt_own': call('halt', 0, [handle(OWN_PORT)]),
    'halt_invalid': call('halt', 0, [handle(INVALID)]),
    'send_own': call('send', 0, [handle(OWN_PORT), d(1), d(-2), d(3)]),
    'send_extremes': call('send', 0, [handle(OWN_PORT), d(math.inf), d(-1e300), d(math.nan)]),
    'send_handle_vector': call('send', 0, [handle(OWN_PORT, 3), d(1), d(2), d(3)]),
    'gains_own': call('gains', 0, [handle(OWN_PORT), d(0), d(255), d(10.9)]),
    'gains_out_of_range': call('gains', 0, [handle(OWN_PORT), d(256), d(0), d(0)]),
    'gains_int8_arg': call('gains', 0, [handle(OWN_PORT), bytes([CLASS['int8'], 0, 1, 7]), d(1), d(1)]),
    'state_frame': call('state', 2, [handle(OWN_PORT)], frame),
    'state_frame_after_junk': call('state', 2, [handle(OWN_PORT)], bytes(range(57)) + frame),
    'state_short': call('state', 2, [handle(OWN_PORT)], frame[:22]),
    'state_three_outputs': call('state', 3, [handle(OWN_PORT)], frame),
    'peek_sixty': call('peek', 1, [handle(OWN_PORT)], bytes(range(1, 61))),
    'peek_double_handle': call('peek', 1, [d(5)]),
    'no_inputs': call('state', 0, []),
}

# fuzz_status_frames: count (mod 51), then the chunk.
status = {
    'frame': bytes([23]) + frame,
    'fifty': bytes([50]) + bytes(range(27)) + frame,
    'short': bytes([22]) + frame[:22],
    'tail_only': bytes([7]) + bytes(range(7)),
    'empty': bytes([0]),
}

# fuzz_telegrams: name length (u32), name bytes, three ints, then doubles.
def telegram(length, name, ints, doubles):
    return struct.pack('<I', length) + name + struct.pack('<3i', *ints) + b''.join(struct.pack('<d', x) for x in doubles)


telegrams = {
    'drive': telegram(5, b'drive', (1, 2, 3), (1.0, -1.0, 0.5)),
    'name_fifteen': telegram(15, b'abcdefghijklmno', (0, 999, 500), (16.9, -16.9)),
    'name_long_length': telegram(0xFFFFFFFF, b'abcdefghijklmno', (-1, 1000, 2**31 - 1), (math.nan, math.inf)),
    'empty_name': telegram(0, b'', (-2**31, 0, 0), (2147483647.5, -2147483648.9, 1e300)),
}

# fuzz_read_rule: start, offset of the last byte, received, T, offset of now.
def rule(start, last, received, t, now):
    return struct.pack('<QQIIQ', start, last, received, t, now)


rules = {
    'quiet_read': rule(10**12, 0, 0, 5, 3 * 10**6),
    'after_bytes': rule(10**12, 4 * 10**6, 12, 5, 6 * 10**6),
    'no_timeout': rule(10**12, 0, 0, 0, 10**9),
    'huge_timeout': rule(2**62 - 1, 2**48 - 1, 1, 0xFFFFFFFF, 2**50 - 1),
}

for target, seeds in [('fuzz_commands', commands), ('fuzz_status_frames', status), ('fuzz_telegrams', telegrams),
                      ('fuzz_read_rule', rules)]:
    folder = os.path.join(here, 'corpus', target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
