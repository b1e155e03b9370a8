#!/usr/bin/env python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""The README's host code is the examples' own lines.

A code block whose first line is a comment naming a file of examples/
(`// examples/read.cpp`, `# examples/CMakeLists.txt`) is an excerpt. A
later line naming another file switches to it, and a `// ...` (or `# ...`)
line leaves lines out. Each run of lines between such lines must stand in
its file as consecutive lines, the same but for one indentation added to
all of them. A code block that calls the host's interface without naming
its file fails as well: the README shows no host code that no build
compiles and no test runs.

    check_readme_excerpts.py README.md EXAMPLES_DIR
"""

import os
import re
import sys

MARKER = re.compile(r'^(?://|#) (examples/\S+)$')
ELISION = re.compile(r'^\s*(?://|#) \.\.\.$')
HOST_CALL = re.compile(r'\b(ReadVariable|WriteVariable|ConnectDrive|SetConnectPar|DisConnectDrive|'
                       r'DestroyFree|getSharedLibrary)\b')


def code_blocks(lines):
    """(first line number, lines) of each fenced or indented code block, dedented."""
    blocks = []
    fence = None
    current = None
    indent = 0
    previous_blank = True
    for number, line in enumerate(lines, 1):
        if fence is not None:
            if line.strip().startswith(fence):
                blocks.append(current)
                fence = current = None
            else:
                current[1].append(line)
            continue
        stripped = line.lstrip(' ')
        if stripped.startswith('```') or stripped.startswith('~~~'):
            if current:
                blocks.append(current)
            fence, current = stripped[:3], (number + 1, [])
            continue
        width = len(line) - len(stripped)
        blank = not line.strip()
        if current and (blank or width >= indent):
            current[1].append(line[indent:] if not blank else '')
        elif not blank and width >= 4 and previous_blank:
            current, indent = (number, [line[width:]]), width
        elif current:
            blocks.append(current)
            current = None
        previous_blank = blank
    if current:
        blocks.append(current)
    result = []
    for first, block in blocks:
        while block and not block[-1].strip():
            block.pop()
        if block:
            result.append((first, block))
    return result


def excerpts(block):
    """The (file, run of lines) of a marked block; None for an unmarked one."""
    first = MARKER.match(block[0])
    if not first:
        return None
    runs = []
    name, run = first.group(1), []
    for line in block[1:]:
        marker = MARKER.match(line)
        if marker or ELISION.match(line):
            if run:
                runs.append((name, run))
            run = []
            if marker:
                name = marker.group(1)
        else:
            run.append(line)
    if run:
        runs.append((name, run))
    return runs


def stands_in(run, lines):
    """Whether the run is consecutive lines of `lines`, with one indentation added."""
    while run and not run[0].strip():
        run = run[1:]
    if not run:
        return True
    for start in range(len(lines) - len(run) + 1):
        head = lines[start]
        if not head.endswith(run[0]):
            continue
        prefix = head[:len(head) - len(run[0])]
        if prefix.strip():
            continue
        if all((not want.strip() and not have.strip()) or have == prefix + want
               for want, have in zip(run, lines[start:start + len(run)])):
            return True
    return False


def faults(readme_lines, read_file):
    """What in the README does not hold, as texts."""
    found = []
    for first, block in code_blocks(readme_lines):
        runs = excerpts(block)
        if runs is None:
            if any(HOST_CALL.search(line) for line in block):
                found.append('line %d: host code that names no examples/ file' % first)
            continue
        for name, run in runs:
            lines = read_file(name)
            if lines is None:
                found.append('line %d: %s does not exist' % (first, name))
            elif not stands_in(run, lines):
                found.append('line %d: these lines are not in %s as they stand:\n    %s'
                             % (first, name, '\n    '.join(run)))
    return found


def self_check():
    """The check on its own: blocks that must pass and blocks that must fail."""
    files = {'examples/a.cpp': ['int f()', '{', '    int x = 1;', '', '    return x;', '}']}
    cases = [
        (['', '    // examples/a.cpp', '    int x = 1;', '', '    return x;'], 0),
        (['', '    // examples/a.cpp', '    int f()', '    // ...', '        return x;'], 0),
        (['', '    // examples/a.cpp', '    int x = 2;'], 1),
        (['', '    // examples/a.cpp', '    int x = 1;', '    return x;'], 1),
        (['', '    // examples/a.cpp', '      int x = 1;', '    return x;'], 1),
        (['', '    // examples/b.cpp', '    int x = 1;'], 1),
        (['', '    drive->ConnectDrive("127.0.0.1:500");'], 1),
        (['', '```', '// examples/a.cpp', '{', '    int x = 1;', '```'], 0),
        (['', '    norvo 127.0.0.1:500 info'], 0),
    ]
    wrong = []
    for lines, expected in cases:
        got = len(faults(lines, files.get))
        if got != expected:
            wrong.append('%s: %d faults, not %d' % (lines, got, expected))
    return wrong


def main():
    if len(sys.argv) != 3:
        raise SystemExit('usage: check_readme_excerpts.py README.md EXAMPLES_DIR')
    readme, examples = sys.argv[1:]
    wrong = self_check()
    for fault in wrong:
        print('FAILED: the check itself: %s' % fault)
    if wrong:
        return 1

    def read_file(name):
        path = os.path.join(examples, os.path.relpath(name, 'examples'))
        if not name.startswith('examples/') or not os.path.isfile(path):
            return None
        with open(path, encoding='utf-8') as f:
            return f.read().splitlines()

    with open(readme, encoding='utf-8') as f:
        lines = f.read().splitlines()
    marked = sum(1 for _, block in code_blocks(lines) if excerpts(block) is not None)
    found = faults(lines, read_file)
    for fault in found:
        print('FAILED: %s: %s' % (os.path.basename(readme), fault))
    if marked == 0:
        print('FAILED: no code block names an examples/ file')
        return 1
    print('%d excerpt blocks, %d faults' % (marked, len(found)))
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
