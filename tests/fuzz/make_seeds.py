#!/usr/bin/env python3
"""Writes the seed inputs of tests/fuzz/corpus/<target>/: one meaningful case
each (a valid call, a boundary, a typical mistake) in each target's input
layout; for fuzz_commands, the mistakes are the calls of
tests/argument_checks.txt that its layout can make. Run again after changing
a layout or the table."""
import math
import os
import re
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
FREE_PTY, MISSING, DEV_NULL, DIRECTORY, HELD_PTY = 5, 1, 2, 4, 6
# The handle values the fuzzer can make, by pick (OWN_PORT is its attached port).
HANDLE_PICKS = {4294967295: INVALID, 987654: 1, 0x7FFFFFFF: 2, 0x80000000: 3}
# Row counts by the rows choice in bits 2-4 of the shape byte.
ROWS_CHOICE = {1: 0, 0: 3, 2: 4}
# The runner's class tags (tests/host/runner_values.cpp) and how their values pack.
TAGS = {'d': 'double', 'i8': 'int8', 'u8': 'uint8', 'i16': 'int16', 'u16': 'uint16', 'i32': 'int32', 'u32': 'uint32',
        'i64': 'int64', 'u64': 'uint64'}
PACK = {'double': '<d', 'single': '<f', 'int8': '<b', 'uint8': '<B', 'int16': '<h', 'uint16': '<H', 'int32': '<i',
        'int64': '<q', 'uint64': '<Q', 'logical': '<B'}


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


def array(cls, rows, values, shape=0):
    """An argument of class CLS with ROWS rows, VALUES its packed elements (column-major)."""
    cols = len(values) // max(rows, 1)
    return bytes([CLASS[cls], shape | ROWS_CHOICE[rows] << 2, cols]) + b''.join(values)


def chars(text):
    return [struct.pack('<H', ord(c)) for c in text]


def table_argument(token, command, position):
    """A token of the runner's language in fuzz_commands' layout; None where it cannot say it."""
    if token == '$h':
        return handle(OWN_PORT)
    if token == '$port':
        return port(HELD_PTY) if command == 'linkAttach' and position == 0 else text('port')
    if token.startswith('$'):
        return None  # a detached handle: the fuzzer's own port stays attached
    tag, _, value = token.partition(':')
    if tag == 's':
        name = re.sub(r'\\x([0-9a-fA-F]{2})', lambda m: chr(int(m.group(1), 16)), value).replace('\\\\', '\\')
        # A one-row char in the first place of linkAttach is a port name chosen by the fuzzer.
        return None if command == 'linkAttach' and position == 0 or len(name) > 23 else array('char', 1, chars(name))
    if tag == 'c2':
        top, bottom = value.split(',')
        return array('char', 2, [c for pair in zip(chars(top), chars(bottom)) for c in pair])
    if tag == 'v':
        return array('double', 1, [struct.pack('<d', float(x)) for x in value.split(',')])
    if tag == 'e':
        return array(TAGS.get(value, value), 0, [])
    if tag == 'sp':
        return array('double', 1, [struct.pack('<d', 1.0)], shape=2)
    if tag in ('cell', 'struct'):
        return bytes([CLASS[tag], 0, 1])
    complex_flag = 1 if tag.startswith('z') else 0
    cls = TAGS.get(tag[complex_flag:] or 'd', tag[complex_flag:])
    if cls == 'uint32':
        pick = HANDLE_PICKS.get(int(value))
        return None if pick is None else bytes([CLASS[cls], complex_flag, 1, pick])
    number = float(value) if cls in ('double', 'single') else int(value)
    return array(cls, 1, [struct.pack(PACK[cls], number)], shape=complex_flag)


def table_seeds():
    seeds = {}
    with open(os.path.join(here, '..', 'argument_checks.txt')) as table:
        for number, line in enumerate(table, 1):
            found = re.match(r'(link\w+) (\d+)((?: \S+)*) => ', line)
            if not found:
                continue
            command, tokens = found.group(1), found.group(3).split()
            args = [table_argument(token, command, k) for k, token in enumerate(tokens)]
            if None not in args:
                # The reading commands always get at least one line byte.
                line = b'\x00' if command in ('linkState', 'linkPeek') else b''
                seeds['check_%s_line%03d' % (command, number)] = call(command[4:].lower(), int(found.group(2)), args, line)
    return seeds


frame = bytes([21, 0, 0x80, 1, 0, 255, 255, 0x34, 0x12, 0, 0x80, 255, 127, 0, 0, 0, 0x80, 0, 0, 255, 255, 255, 255])
commands = {
    'attach_free_port': call('attach', 1, [port(FREE_PTY), d(115200), d(8), d(0), d(1)]),
    'attach_free_port_odd_rate_mark_parity': call('attach', 0, [port(FREE_PTY), d(31250), d(7), d(3), d(0)]),
    'attach_missing': call('attach', 1, [port(MISSING, b'\x03abc'), d(9600), d(8), d(0), d(5)]),
    'attach_dev_null': call('attach', 1, [port(DEV_NULL), d(9600), d(8), d(0), d(5)]),
    'attach_directory_nan_rate': call('attach', 1, [port(DIRECTORY), d(math.nan), d(8), d(0), d(5)]),
    'attach_bad_byte_size': call('attach', 1, [port(FREE_PTY), d(115200), d(9), d(0), d(5)]),
    'attach_negative_timeout': call('attach', 1, [port(FREE_PTY), d(115200), d(8), d(0), d(-5)]),
    'detach_own': call('detach', 0, [handle(OWN_PORT)]),
    'run_drive': call('run', 0, [handle(OWN_PORT), text('drive')]),
    'halt_own': call('halt', 0, [handle(OWN_PORT)]),
    'send_own': call('send', 0, [handle(OWN_PORT), d(1), d(-2), d(3)]),
    'send_extremes': call('send', 0, [handle(OWN_PORT), d(math.inf), d(-1e300), d(math.nan)]),
    'send_handle_vector': call('send', 0, [handle(OWN_PORT, 3), d(1), d(2), d(3)]),
    'gains_own': call('gains', 0, [handle(OWN_PORT), d(0), d(255), d(10.9)]),
    'gains_int8_arg': call('gains', 0, [handle(OWN_PORT), bytes([CLASS['int8'], 0, 1, 7]), d(1), d(1)]),
    'state_frame': call('state', 2, [handle(OWN_PORT)], frame),
    'state_frame_after_junk': call('state', 2, [handle(OWN_PORT)], bytes(range(57)) + frame),
    'state_short': call('state', 2, [handle(OWN_PORT)], frame[:22]),
    'peek_sixty': call('peek', 1, [handle(OWN_PORT)], bytes(range(1, 61))),
    'ports_listed': call('ports', 2, []),
    'ports_printed_under_root': call('ports', 0, [text('/')]),
    **table_seeds(),
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
