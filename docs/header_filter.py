#!/usr/bin/env python3
"""Doxygen input filter for the public headers.

The headers are written for people reading them as plain C: their comments
are ordinary block comments. This filter shows doxygen the same text as
documentation, line for line (so warnings point at the right line):
 - the banner that opens a header documents the file;
 - the dashed section banners become plain comments;
 - every other comment that starts a line documents what follows it, and a
   comment followed by several declarations or macro definitions with no
   blank line between them documents each of them (a member group);
 - a comment that ends a line of code (a member, a table slot, a macro)
   documents that line.
"""
import re
import sys

DASHES = re.compile(r"^/\* -+ \*/$")
SECTION = re.compile(r"^/\* (.*?)\s*\*/$")
COMMENT_START = re.compile(r"^(\s*)/\*(?![*!])")
TRAILING = re.compile(r"^(\s*[^\s#/*].*?|\s*#\s*define\b.*?)/\*(?![*!<])")
FUNCTION = re.compile(r"\bCORVANE_API\b.*?(\w+)\s*\(")
MACRO = re.compile(r"^\s*#\s*define\s+(\w+)")


def escaped(line):
    """Backslashes and angle brackets in the prose are text, not commands."""
    return re.sub(r"([\\<>])", r"\\\1", line)


def comment_end(lines, start):
    for index in range(start, len(lines)):
        if "*/" in lines[index]:
            return index
    return len(lines) - 1


def share_documentation(lines, start):
    """Every exported function or macro in the run of declarations from
    `start` to the next blank line or comment takes the documentation of the
    first, unless a comment of its own ends its line."""
    first = None
    index = start
    while index < len(lines) and lines[index].strip() and not COMMENT_START.match(lines[index]):
        function = MACRO.match(lines[index]) or FUNCTION.search(lines[index])
        if function and first is None:
            first = function.group(1)
        elif function and function.group(1) != first and "/*" not in lines[index]:
            lines[index] = "/** \\copydoc %s */ %s" % (first, lines[index])
        index += 1


def filtered(lines):
    out = list(lines)
    if out and out[0].rstrip() == "/*":
        first = comment_end(out, 0) + 1
        out[:first] = [escaped(line) for line in out[:first]]
        out[0] = "/** \\file"
    else:
        first = 0
    index = first
    while index < len(out):
        line = out[index]
        stripped = line.strip()
        if DASHES.match(stripped):
            out[index] = ""
            index += 1
            continue
        if (index > 0 and DASHES.match(lines[index - 1].strip())) and SECTION.match(stripped):
            out[index] = "// " + SECTION.match(stripped).group(1)
            index += 1
            continue
        match = COMMENT_START.match(line)
        if not match:
            trailing = TRAILING.match(line)
            if trailing and "*/" in line[trailing.end():]:
                code = trailing.group(1)
                out[index] = code + "/**<" + escaped(line[trailing.end():])
            index += 1
            continue
        end = comment_end(out, index)
        for text in range(index, end + 1):
            out[text] = escaped(out[text])
        out[index] = COMMENT_START.sub(r"\1/**", out[index], count=1)
        share_documentation(out, end + 1)
        index = end + 1
    return out


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as header:
        text = header.read().split("\n")
    sys.stdout.write("\n".join(filtered(text)))
