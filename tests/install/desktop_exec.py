#!/usr/bin/env python3
"""desktop_exec.py FILE GROUP KEY: prints the command line of an Exec key of a desktop entry,
each argument ended by a NUL byte, as a launcher following the desktop entry format runs it: the value's
escapes (\\s \\n \\t \\r \\\\) first, then the Exec quoting (arguments split at spaces, double
quotes grouping, and inside them a backslash before " ` $ or \\ taking that character)."""

import sys

RESERVED = set(" \t\n\"'\\><~|&;$*?#()`")


def entry_value(path, group, key):
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1]
            elif current == group and "=" in line and not line.startswith("#"):
                name, value = line.split("=", 1)
                if name.strip() == key:
                    return value.lstrip()
    sys.exit(f"{path}: no {key} in [{group}]")


def unescape_string(value):
    out, i = [], 0
    escapes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value) and value[i + 1] in escapes:
            out.append(escapes[value[i + 1]])
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def split_exec(command):
    args, current, in_arg, i = [], [], False, 0
    while i < len(command):
        c = command[i]
        if c == " ":
            if in_arg:
                args.append("".join(current))
                current, in_arg = [], False
        elif c == '"':
            in_arg, i = True, i + 1
            while i < len(command) and command[i] != '"':
                if command[i] == "\\" and i + 1 < len(command) and command[i + 1] in '"`$\\':
                    i += 1
                elif command[i] == "\\":
                    sys.exit(f"lone backslash in a quoted argument: {command!r}")
                current.append(command[i])
                i += 1
            if i == len(command):
                sys.exit(f"unterminated quote: {command!r}")
        elif c == "%":
            if command[i + 1 : i + 2] != "%":
                sys.exit(f"field code in {command!r}")
            current.append("%")
            in_arg, i = True, i + 1
        elif c in RESERVED:
            sys.exit(f"reserved character {c!r} outside quotes: {command!r}")
        else:
            current.append(c)
            in_arg = True
        i += 1
    if in_arg:
        args.append("".join(current))
    return args


if __name__ == "__main__":
    for arg in split_exec(unescape_string(entry_value(*sys.argv[1:4]))):
        sys.stdout.write(arg + "\0")
