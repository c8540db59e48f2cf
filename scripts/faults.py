#!/usr/bin/env python3
"""Reads the fault table of plant-faults.sh and plants one fault in a tree.

  faults.py FILE list [REGEX]     index, file and description of each fault,
                                  tab-separated; only those whose description
                                  matches REGEX when one is given
  faults.py FILE plant ROOT INDEX plants fault INDEX in the tree at ROOT

plant exits 0 when the file changed, 3 when the fault cannot be planted (its
text is missing or occurs more than once: the table has gone stale), with the
reason on standard error. A malformed table exits 2.
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


def main(argv):
    if len(argv) < 3:
        fail(__doc__.strip())
    faults = read_table(argv[1])
    command = argv[2]
    if command == "list":
        pattern = re.compile(argv[3]) if len(argv) > 3 and argv[3] else None
        for index, fault in enumerate(faults):
            if pattern is None or pattern.search(fault["what"]):
                print(f"{index}\t{fault['file']}\t{fault['what']}")
        return 0
    if command == "plant" and len(argv) == 5:
        root, index = argv[3], int(argv[4])
        fault = faults[index]
        path = f"{root}/{fault['file']}"
        try:
            with open(path, encoding="utf-8", newline="") as source:
                text = source.read()
        except OSError as error:
            fail(f"cannot read {fault['file']}: {error.strerror}", 3)
        found = text.count(fault["find"])
        if found != 1:
            where = "not found" if found == 0 else f"found {found} times"
            fail(f"{fault['file']}: text {where}: {fault['find']}", 3)
        changed = text.replace(fault["find"], fault["with"])
        with open(path, "w", encoding="utf-8", newline="") as source:
            source.write(changed)
        return 0
    fail(__doc__.strip())
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
