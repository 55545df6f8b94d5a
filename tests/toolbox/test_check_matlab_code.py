#!/usr/bin/env python3
"""check_matlab_code.py flags each kind of Octave-only slip, and only those."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'check_matlab_code.py')

# A slip planted in a MATLAB-facing file, and what the check must say.
SLIPS = [
    ('x = "text";', 'double-quoted string'),
    ('x = 1;  # note', "'#' comment"),
    ('if x != 1, end', "operator '!='"),
    ('if !x, end', "operator '!'"),
    ('x++;', "operator '++'"),
    ('x += 1;', "operator '+='"),
    ('if x\nendif', "keyword 'endif'"),
    ('for k = 1:2\nendfor', "keyword 'endfor'"),
    ('try\ncatch\nend_try_catch', "keyword 'end_try_catch'"),
    ('unwind_protect\nx = 1;\nunwind_protect_cleanup\nend_unwind_protect', "keyword 'unwind_protect'"),
    ("printf('%d\\n', x);", "'printf' is not on the list"),
    ("graphics_toolkit('gnuplot');", "'graphics_toolkit' is not on the list"),
    ("ok = isfolder(pwd);", "'isfolder' is not on the list"),
]

# MATLAB code the check must pass: transposes next to quoted text, command
# syntax, fields, variables, local functions, block comments.
CLEAN = r"""function out = sample(a)
%SAMPLE  Help text may say anything: printf, "quotes", # and !=.
%{
  a block comment with printf("x")
%}
  b = a';
  c = [a' 'text'];
  d = {'it''s', b.'};
  s.field = numel(c);
  clear d
  out = helper(s.field) + b(end);   % printf here is a comment
end

function y = helper(x)
  y = x';
end
"""


def run(text):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, 'sample.m')
        with open(path, 'w') as f:
            f.write(text)
        done = subprocess.run([sys.executable, CHECKER, d, path], capture_output=True, text=True)
    return done.returncode, done.stdout


class CheckMatlabCode(unittest.TestCase):
    def test_each_slip_is_flagged(self):
        for code, finding in SLIPS:
            with self.subTest(code=code):
                status, out = run('x = 1;\n' + code.replace('\\n', '\n') + '\n')
                self.assertEqual(status, 1, out)
                self.assertIn(finding, out)

    def test_matlab_code_passes(self):
        status, out = run(CLEAN)
        self.assertEqual((status, out), (0, 'check_matlab_code: 1 files, 0 findings\n'))


if __name__ == '__main__':
    unittest.main()
