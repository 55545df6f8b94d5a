#!/usr/bin/env python3
"""Static check of the .m files a MATLAB user runs or reads: no Octave-only
syntax, and no call of a function missing from the allowed list.

    check_matlab_code.py SOURCE_DIR [FILE...]

Without FILEs it checks toolbox/, toolbox/private/, examples/ and
examples/private/. Prints one line per finding (file:line: what) and exits 1
if there is any."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDERS = ['toolbox', 'toolbox/private', 'examples', 'examples/private']
KEYWORDS = {'break', 'case', 'catch', 'classdef', 'continue', 'else', 'elseif', 'end', 'for',
            'function', 'global', 'if', 'otherwise', 'parfor', 'persistent', 'return', 'spmd',
            'switch', 'try', 'while'}
OCTAVE_KEYWORDS = re.compile(r'^(end\w+|end_try_catch|end_unwind_protect|unwind_protect\w*|do|until)$')
OPERATORS = re.compile(r'\+\+|--|\+=|-=|\*=|/=|\^=|!=?')
# Commands of this project, and what its own files define.
PROJECT = re.compile(r'^(link[A-Z]\w*|mexlink\w*)$')


def allowed_functions():
    names = {}
    with open(os.path.join(HERE, 'matlab_functions.txt')) as f:
        for line in f:
            line = line.split('#', 1)[0].strip()
            if line:
                name, release = line.split(None, 1)
                names[name] = release
    return names


def tokens(text):
    """(line, kind, value) for the code of TEXT; kinds: name, number, string,
    dqstring, comment, hashcomment, op, newline."""
    line = 1
    i = 0
    n = len(text)
    prev = ''          # kind of the last token that decides what a quote means
    depth = 0          # bracket depth: inside [] and {} a blank before ' starts text
    block = False
    while i < n:
        c = text[i]
        at_line_start = i == 0 or text[i - 1] == '\n'
        if c == '\n':
            yield line, 'newline', c
            line += 1
            i += 1
            prev = 'op'
            continue
        if block:
            if at_line_start and re.match(r'[ \t]*%\}[ \t]*(\n|$)', text[i:]):
                block = False
            j = text.find('\n', i)
            i = n if j < 0 else j
            continue
        if c in ' \t\r':
            i += 1
            if depth and prev in ('name', 'number', 'string', 'close', 'transpose'):
                prev = 'blank'
            continue
        if c == '.' and text.startswith('...', i):
            j = text.find('\n', i)
            i = n if j < 0 else j + 1
            line += 1
            continue
        if c in '%#':
            if c == '%' and re.match(r'[ \t]*%\{[ \t]*(\n|$)', text[text.rfind('\n', 0, i) + 1:]):
                block = True
            j = text.find('\n', i)
            j = n if j < 0 else j
            yield line, 'comment' if c == '%' else 'hashcomment', text[i:j]
            i = j
            continue
        if c == '"':
            m = re.match(r'"([^"\n]|"")*"?', text[i:])
            yield line, 'dqstring', m.group(0)
            i += len(m.group(0))
            prev = 'string'
            continue
        if c == "'":
            if prev in ('name', 'number', 'close', 'transpose'):
                yield line, 'op', "'"
                prev = 'transpose'
                i += 1
                continue
            m = re.match(r"'([^'\n]|'')*'?", text[i:])
            yield line, 'string', m.group(0)
            i += len(m.group(0))
            prev = 'string'
            continue
        m = re.match(r'[A-Za-z]\w*', text[i:])
        if m:
            yield line, 'name', m.group(0)
            i += len(m.group(0))
            prev = 'name'
            continue
        m = re.match(r'(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?[ij]?', text[i:])
        if m:
            yield line, 'number', m.group(0)
            i += len(m.group(0))
            prev = 'number'
            continue
        m = OPERATORS.match(text, i) or re.match(r"\.'|\.\^|\.\*|\./|\.\\|==|~=|<=|>=|&&|\|\||.", text[i:])
        op = m.group(0)
        yield line, 'op', op
        i += len(op)
        if op in ('(', '[', '{'):
            depth += op != '('
        if op in (']', '}'):
            depth = max(depth - 1, 0)
        prev = 'close' if op in (')', ']', '}') else ('transpose' if op == ".'" else 'op')


def statements(toks):
    """The code tokens grouped by statement (split at newline, ; and , outside brackets)."""
    current = []
    depth = 0
    for tok in toks:
        line, kind, value = tok
        if kind in ('comment', 'hashcomment'):
            continue
        if kind == 'op' and value in '([{':
            depth += 1
        elif kind == 'op' and value in ')]}':
            depth -= 1
        if kind == 'newline' or (kind == 'op' and value in (';', ',') and depth == 0):
            if current:
                yield current
            current = []
            depth = max(depth, 0) if kind != 'newline' else 0
            continue
        current.append(tok)
    if current:
        yield current


def check(path, allowed):
    text = open(path, encoding='utf-8').read()
    toks = list(tokens(text))
    findings = []

    def flag(line, what):
        findings.append('%s:%d: %s' % (path, line, what))

    for line, kind, value in toks:
        if kind == 'dqstring':
            flag(line, 'double-quoted string %s (use single quotes)' % value)
        elif kind == 'hashcomment':
            flag(line, "'#' comment (use %)")
        elif kind == 'op' and OPERATORS.fullmatch(value):
            flag(line, "Octave-only operator '%s'" % value)
        elif kind == 'name' and OCTAVE_KEYWORDS.match(value):
            flag(line, "Octave-only keyword '%s'" % value)

    # Names the file defines: its functions, their arguments and outputs, and
    # every variable assigned anywhere in it.
    defined = set()
    stmts = list(statements(toks))
    for st in stmts:
        values = [t[2] for t in st]
        kinds = [t[1] for t in st]
        if values[0] == 'function':
            defined.update(v for v, k in zip(values[1:], kinds[1:]) if k == 'name')
            continue
        if values[0] in ('for', 'parfor', 'global', 'persistent', 'catch') and len(values) > 1:
            defined.update(v for v, k in zip(values[1:], kinds[1:]) if k == 'name' and v not in KEYWORDS)
            if values[0] in ('for', 'parfor', 'catch'):
                defined.add(values[1])
            continue
        if '=' in values:
            lhs = values[:values.index('=')]
            if lhs[0] == '[':
                defined.update(v for v, k in zip(lhs, kinds) if k == 'name')
            elif kinds[0] == 'name':
                defined.add(lhs[0])

    for st in stmts:
        values = [t[2] for t in st]
        kinds = [t[1] for t in st]
        if values[0] == 'function':
            continue
        # Command syntax (clear cleanup, hold on): the words after the name are text.
        command = (len(st) > 1 and kinds[0] == 'name' and kinds[1] == 'name'
                   and values[0] not in KEYWORDS and values[0] not in defined)
        for k, (line, kind, value) in enumerate(st):
            if kind != 'name' or value in KEYWORDS or value in defined or PROJECT.match(value):
                continue
            if command and k > 0:
                break
            if k > 0 and values[k - 1] == '.':
                continue  # a field name
            if value not in allowed:
                flag(line, "'%s' is not on the list of functions MATLAB-facing code may call "
                           '(tests/toolbox/matlab_functions.txt)' % value)
    return findings


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    files = sys.argv[2:]
    if not files:
        for folder in FOLDERS:
            d = os.path.join(root, folder)
            if os.path.isdir(d):
                files += sorted(os.path.join(d, f) for f in os.listdir(d) if f.endswith('.m'))
    if not files:
        sys.exit('check_matlab_code: no .m files under %s' % root)
    allowed = allowed_functions()
    # The checked files call each other (private helpers, the build's host probe).
    allowed.update((os.path.basename(f)[:-2], 'this project') for f in files)
    findings = []
    for path in files:
        findings += check(path, allowed)
    for f in findings:
        print(f)
    print('check_matlab_code: %d files, %d findings' % (len(files), len(findings)))
    sys.exit(1 if findings else 0)


if __name__ == '__main__':
    main()
