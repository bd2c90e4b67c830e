#!/usr/bin/env python3
"""Checks src/text/transl.dt against the interface texts of the sources.

Usage: check_catalogue.py PROJECT_SOURCE_DIR

Every string literal passed to TranslateText(...) or Tr(...) in src/ and
tools/ must be a key of the catalogue, translated in every language with the
same format placeholders in the same order. A call with any other argument is a
fault too: its texts could never be checked. The window's command table gives
its captions as fields (.itemCaption = "...", .buttonCaption = "..."): those
literals are keys too, and the one call that translates them may pass a field.
"""

import re
import sys
from pathlib import Path

SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".cc", ".cxx", ".hh", ".hxx", ".inl"}
CALLEES = {"TranslateText", "Tr"}

# Where a call need not pass a literal: the translation code itself, and the
# Tr helper's own definition.
INDIRECT_ALLOWED_FOLDERS = ("src/text/",)
# (file, function, parameters): the definition, body included.
INDIRECT_ALLOWED_DEFINITIONS = {("src/gui/main_window.cpp", "Tr", "const char* text")}
# Fields that hold catalogue keys, and the calls that translate them.
CAPTION_FIELDS = {"itemCaption", "buttonCaption"}
INDIRECT_ALLOWED_CALLS = {("src/gui/main_window.cpp", "Tr", "command." + field) for field in CAPTION_FIELDS}

SIMPLE_ESCAPES = {
    "n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v",
    "\\": "\\", "'": "'", '"': '"', "?": "?",
}


def unescape(body):
    """The text a C++ narrow string literal's body stands for (UTF-8 source)."""
    out = bytearray()
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode("utf-8")
            i += 1
            continue
        e = body[i + 1]
        if e in SIMPLE_ESCAPES:
            out += SIMPLE_ESCAPES[e].encode()
            i += 2
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(int(m.group(0), 8) & 0xFF)
            i += 1 + len(m.group(0))
        elif e == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(int(m.group(0), 16) & 0xFF)
            i += 2 + len(m.group(0))
        elif e in "uU":
            width = 4 if e == "u" else 8
            out += chr(int(body[i + 2:i + 2 + width], 16)).encode("utf-8")
            i += 2 + width
        else:
            raise ValueError("unknown escape \\" + e)
    return out.decode("utf-8", errors="surrogateescape")


def tokens(text):
    """(kind, value, line) of identifiers, string literals and punctuation,
    comments and character literals skipped."""
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif c.isspace():
            i += 1
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif c.isalpha() or c == "_":
            m = re.compile(r"[A-Za-z_0-9]*").match(text, i)
            word = m.group(0)
            i = m.end()
            if i < n and text[i] == '"' and word in ("R", "u8R", "uR", "UR", "LR"):
                m = re.compile(r'"([^()\\ ]{0,16})\(').match(text, i)
                close = ")" + m.group(1) + '"'
                end = text.index(close, m.end())
                yield ("string", text[m.end():end], line)
                line += text.count("\n", i, end)
                i = end + len(close)
            elif i < n and text[i] in "\"'" and word in ("u8", "u", "U", "L"):
                continue  # the literal follows; its prefix does not change the text
            else:
                yield ("ident", word, line)
        elif c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
            # Digit separators (1'000) must not open a character literal.
            m = re.compile(r"[0-9A-Za-z_.']*(?:[eEpP][+-][0-9A-Za-z_.']*)*").match(text, i)
            i = m.end()
        elif c == '"':
            m = re.compile(r'"((?:[^"\\\n]|\\.)*)"').match(text, i)
            if m is None:
                raise ValueError("unterminated string literal on line %d" % line)
            yield ("string", unescape(m.group(1)), line)
            i = m.end()
        elif c == "'":
            m = re.compile(r"'(?:[^'\\\n]|\\.)*'").match(text, i)
            i = m.end() if m else i + 1
        else:
            yield ("punct", c, line)
            i += 1


def extract(root, problems):
    """The keys of every TranslateText/Tr call, in source order."""
    keys = []
    files = []
    for folder in ("src", "tools"):
        files += sorted(p for p in (root / folder).rglob("*") if p.suffix in SOURCE_SUFFIXES and p.is_file())
    for path in files:
        rel = path.relative_to(root).as_posix()
        try:
            toks = list(tokens(path.read_text(encoding="utf-8")))
        except (ValueError, UnicodeDecodeError) as error:
            problems.append("%s: cannot read: %s" % (rel, error))
            continue
        skip_to = 0
        for k, (kind, value, line) in enumerate(toks):
            if (kind == "ident" and value in CAPTION_FIELDS and k > 0 and toks[k - 1][1] == "."
                    and k + 2 < len(toks) and toks[k + 1][1] == "=" and toks[k + 2][0] == "string"):
                keys.append((toks[k + 2][1], "%s:%d" % (rel, line)))
                continue
            if k < skip_to or kind != "ident" or value not in CALLEES:
                continue
            if k + 1 >= len(toks) or toks[k + 1][1] != "(":
                continue
            j = k + 2
            parts = []
            while j < len(toks) and toks[j][0] == "string":
                parts.append(toks[j][1])
                j += 1
            if parts and j < len(toks) and toks[j] == ("punct", ")", toks[j][2]):
                keys.append(("".join(parts), "%s:%d" % (rel, line)))
                continue
            # Not a single literal: say what it was, to tell the allowed ones.
            depth, argument, m = 1, "", k + 2
            while m < len(toks) and depth > 0:
                kind_m, text_m = toks[m][0], toks[m][1]
                if text_m == "(" and kind_m == "punct":
                    depth += 1
                elif text_m == ")" and kind_m == "punct":
                    depth -= 1
                if depth > 0:
                    if kind_m != "punct" and (argument[-1:].isalnum() or argument[-1:] in ('"', "_", "*", "&", ",")):
                        argument += " "
                    argument += '"%s"' % text_m if kind_m == "string" else text_m
                m += 1
            if rel.startswith(INDIRECT_ALLOWED_FOLDERS) or (rel, value, argument) in INDIRECT_ALLOWED_CALLS:
                continue
            if (rel, value, argument) in INDIRECT_ALLOWED_DEFINITIONS and m < len(toks) and toks[m][1] == "{":
                depth, skip_to = 0, m
                while skip_to < len(toks):
                    depth += {"{": 1, "}": -1}.get(toks[skip_to][1], 0) if toks[skip_to][0] == "punct" else 0
                    skip_to += 1
                    if depth == 0:
                        break
                continue
            problems.append("%s:%d: %s(%s): the argument is not a string literal, so its text cannot be checked"
                            % (rel, line, value, argument))
    return keys


def read_lines(path):
    """Lines as the program reads them: BOM dropped, split at CR LF, LF or CR,
    a final line break making no further line."""
    text = path.read_bytes()
    if text.startswith(b"\xEF\xBB\xBF"):
        text = text[3:]
    lines = re.split(rb"\r\n|\n|\r", text)
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def edges(text):
    stripped = text.strip()
    if not stripped:
        return (text, "")
    start = text.index(stripped)
    return (text[:start], text[start + len(stripped):])


PLACEHOLDER = re.compile(r"%[ds%]")


def check_catalogue(path, keys, problems):
    try:
        raw = read_lines(path)
    except OSError as error:
        problems.append("%s: %s" % (path, error))
        return
    lines = []
    for number, line in enumerate(raw):
        try:
            lines.append(line.decode("utf-8"))
        except UnicodeDecodeError:
            problems.append("line %d: not UTF-8" % (number + 1))
            lines.append(line.decode("utf-8", errors="replace"))
    if not lines or not re.fullmatch(r"[0-9]+", lines[0]) or int(lines[0]) == 0:
        problems.append("line 1: the number of languages is missing: %r" % (lines[0] if lines else ""))
        return
    n = int(lines[0])
    body = lines[1:]
    if len(body) % n != 0:
        problems.append("%d lines after the first leave a partial block of %d languages" % (len(body), n))
    if len(body) < 2 * n:
        problems.append("fewer than the two blocks of language names and codes")
        return
    entries = len(body) // n
    table = [[body[k * n + c] for k in range(entries)] for c in range(n)]
    codes = [table[c][1] for c in range(n)]
    for c in range(n):
        if not table[c][0].strip():
            problems.append("language %d: no name" % c)
        if not table[c][1].strip():
            problems.append("language %d: no code" % c)
    if len(set(c.lower() for c in codes)) != n:
        problems.append("language codes repeat: %s" % " ".join(codes))
    for c in range(n):
        for k in range(entries):
            text, key = table[c][k], table[0][k]
            # Blanks around a text join it to what the program puts beside it.
            if text and edges(text) != edges(key):
                problems.append("%r [%s]: leading or trailing blanks differ from the key's in %r" % (key, codes[c], text))
    row_of_key = {}
    for k in range(2, entries):
        key = table[0][k]
        if key in row_of_key:
            problems.append("%r: listed twice (lines %d and %d)"
                            % (key, 2 + row_of_key[key] * n, 2 + k * n))
        else:
            row_of_key[key] = k
    for key, where in keys:
        if "\n" in key or "\r" in key:
            problems.append("%s: %r: a line break cannot be a catalogue key" % (where, key))
        elif key not in row_of_key:
            problems.append("%s: %r: not in the catalogue" % (where, key))
    for k in range(2, entries):
        key = table[0][k]
        if not key:
            problems.append("line %d: empty key" % (2 + k * n))
            continue
        wanted = PLACEHOLDER.findall(key)
        for c in range(1, n):
            text = table[c][k]
            if not text:
                problems.append("%r [%s]: no translation" % (key, codes[c]))
            elif PLACEHOLDER.findall(text) != wanted:
                problems.append("%r [%s]: format placeholders %s differ from %s in %r"
                                % (key, codes[c], PLACEHOLDER.findall(text), wanted, text))


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    root = Path(sys.argv[1])
    problems = []
    keys = extract(root, problems)
    # Each text once, at its first call.
    seen = set()
    unique = []
    for key, where in keys:
        if key not in seen:
            seen.add(key)
            unique.append((key, where))
    if not unique:
        problems.append("no TranslateText/Tr call found below %s" % root)
    check_catalogue(root / "src" / "text" / "transl.dt", unique, problems)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("catalogue: %d texts checked" % len(unique))
    return 0


if __name__ == "__main__":
    sys.exit(main())
