#!/usr/bin/env python3
"""Reads tests/mutation/mutants.txt (format described at its top) for probe.sh.

  mutants.py FILE list            one line per mutant: ID <tab> PATH <tab> FAULT
  mutants.py FILE apply ID ROOT   writes the mutant into the tree at ROOT
                                  exit 0 applied, 3 text not found, 4 text not unique,
                                  5 no such file, 6 no such mutant
"""
import sys


def parse(path):
    mutants, cur = [], None
    with open(path, encoding="utf-8") as f:
        for n, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if line.startswith("@ "):
                ident, _, file = line[2:].strip().partition(" ")
                cur = {"id": ident, "file": file.strip(), "fault": "", "old": [], "new": []}
                mutants.append(cur)
            elif cur is None or not line or line.startswith("#"):
                continue
            elif line[0] in "?-+" and (len(line) == 1 or line[1] == " "):
                text = line[2:]
                key = {"?": "fault", "-": "old", "+": "new"}[line[0]]
                if key == "fault":
                    cur["fault"] = text
                else:
                    cur[key].append(text)
            else:
                sys.exit(f"{path}:{n}: cannot read this line")
    for m in mutants:
        m["old"] = "\n".join(m["old"])
        m["new"] = "\n".join(m["new"])
        if not m["old"]:
            sys.exit(f"{path}: mutant {m['id']} has no original text")
    ids = [m["id"] for m in mutants]
    if len(ids) != len(set(ids)):
        sys.exit(f"{path}: an ID is used twice")
    return mutants


def main():
    mutants = parse(sys.argv[1])
    if sys.argv[2] == "list":
        for m in mutants:
            print(f"{m['id']}\t{m['file']}\t{m['fault']}")
        return 0
    if sys.argv[2] == "apply":
        ident, root = sys.argv[3], sys.argv[4]
        found = [m for m in mutants if m["id"] == ident]
        if not found:
            return 6
        m = found[0]
        try:
            with open(f"{root}/{m['file']}", encoding="utf-8", newline="") as f:
                text = f.read()
        except OSError:
            return 5
        hits = text.count(m["old"])
        if hits == 0:
            return 3
        if hits > 1:
            return 4
        with open(f"{root}/{m['file']}", "w", encoding="utf-8", newline="") as f:
            f.write(text.replace(m["old"], m["new"]))
        return 0
    sys.exit("usage: mutants.py FILE list | apply ID ROOT")


if __name__ == "__main__":
    sys.exit(main())
