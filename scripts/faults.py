#!/usr/bin/env python3
"""Reads the fault table of plant-faults.sh and plants one fault in a tree.

  faults.py FILE list [REGEX]     index, file and description of each fault,
                                  tab-separated; only those whose description
                                  matches REGEX when one is given
  faults.py FILE check ROOT [REGEX]
                                  checks that every fault (whose description
                                  matches REGEX) plants in the tree at ROOT: its
                                  file is there and holds its text exactly once
  faults.py FILE plant ROOT INDEX plants fault INDEX in the tree at ROOT

plant exits 0 when the file changed, 3 when the fault cannot be planted (its
text is missing or occurs more than once: the table has gone stale), with the
reason on standard error. check exits 0 when every fault plants, else 3 after
one line for each that does not. A malformed table exits 2.
"""

import re
import sys

KEYS = ("file", "find", "with", "what")


def fail(message, status=2):
    print(f"faults.py: {message}", file=sys.stderr)
    sys.exit(status)


def read_table(path):
    faults = []
    current = {}
    start = 0

    def finish(line_number):
        if not current:
            return
        missing = [key for key in KEYS if key not in current]
        if missing:
            fail(f"{path}:{start}: fault lacks {', '.join(missing)}")
        if not current["find"]:
            fail(f"{path}:{start}: empty find text")
        if current["find"] == current["with"]:
            fail(f"{path}:{start}: the replacement equals the find text")
        faults.append(dict(current, line=start))
        current.clear()

    with open(path, encoding="utf-8") as table:
        for number, raw in enumerate(table, 1):
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                finish(number)
                continue
            key, value = line.split(":", 1) if ":" in line else ("", "")
            if key not in KEYS:
                fail(f"{path}:{number}: expected one of {', '.join(KEYS)}, got: {line}")
            if key in current:
                fail(f"{path}:{number}: {key} twice in one fault (blank line missing?)")
            if not current:
                start = number
            # One space follows the colon; everything after it is the text.
            current[key] = value[1:] if value.startswith(" ") else value
        finish(0)
    return faults


def selected(faults, regex):
    pattern = re.compile(regex) if regex else None
    return [
        (index, fault)
        for index, fault in enumerate(faults)
        if pattern is None or pattern.search(fault["what"])
    ]


def why_not_planted(root, fault):
    """Why the fault cannot be planted in the tree at root, or None when it can."""
    try:
        with open(f"{root}/{fault['file']}", encoding="utf-8", newline="") as source:
            text = source.read()
    except OSError as error:
        return f"cannot read {fault['file']}: {error.strerror}"
    found = text.count(fault["find"])
    if found == 1:
        return None
    where = "not found" if found == 0 else f"found {found} times"
    return f"{fault['file']}: text {where}: {fault['find']}"


def main(argv):
    if len(argv) < 3:
        fail(__doc__.strip())
    faults = read_table(argv[1])
    command = argv[2]
    if command == "list":
        for index, fault in selected(faults, argv[3] if len(argv) > 3 else ""):
            print(f"{index}\t{fault['file']}\t{fault['what']}")
        return 0
    if command == "check" and len(argv) in (4, 5):
        stale = 0
        for _, fault in selected(faults, argv[4] if len(argv) > 4 else ""):
            reason = why_not_planted(argv[3], fault)
            if reason is not None:
                stale += 1
                print(f"{argv[1]}:{fault['line']}: {fault['what']}: {reason}", file=sys.stderr)
        return 3 if stale else 0
    if command == "plant" and len(argv) == 5:
        root, index = argv[3], int(argv[4])
        fault = faults[index]
        reason = why_not_planted(root, fault)
        if reason is not None:
            fail(reason, 3)
        with open(f"{root}/{fault['file']}", encoding="utf-8", newline="") as source:
            text = source.read()
        changed = text.replace(fault["find"], fault["with"])
        with open(f"{root}/{fault['file']}", "w", encoding="utf-8", newline="") as source:
            source.write(changed)
        return 0
    fail(__doc__.strip())
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
