#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Doxygen's input filter for Kelvane's headers.

The headers document themselves in plain `//` comments, written for people reading the header.
Doxygen reads only its own comment forms, so this filter, run by Doxygen on each header it
reads, rewrites the comments that document something into Doxygen's forms and leaves the code
and every other comment as it is:

  - the opening block of a header (after its licence line, up to `#pragma once`) becomes the
    file's description: its first line, the header's path, becomes `/// \\file`;
  - a comment block directly above a declaration (no blank line between) becomes that
    declaration's `///` comment;
  - the declarations right under a documented one take a copy of its comment (a `/** ... */` on
    their first line) where a reader of the header takes the comment to speak of them too: its
    overloads, its setter, a function it names (`Stop()`), and declarations alike but for their
    names and values whose names share a part (constants or accessors listed under a heading:
    kModeFit, kModeFill, ...). Destructors, deleted
    functions, assignments and overrides never do, and any other declaration ends the run;
  - a trailing `// ...` after a member, an enumerator or a declaration becomes `///< ...`, with
    the comment lines aligned under it that continue it.

Comments inside function bodies, comments followed by a blank line (they speak of a section, not
a declaration), `NOLINT` notes and the licence line are left alone. No line is added or removed,
so the line numbers of Doxygen's warnings are the header's own.

Text is made safe for Doxygen on the way: characters Doxygen would take as commands or HTML
(backslash, @, <, >, &, #) are escaped outside `code spans` and "quoted text"; "e.g." and "i.e."
do not end the brief description; lines indented under a paragraph, the tables of the opening
blocks, keep their layout as preformatted text.

Doxygen does not report an enumerator without a comment; the filter does, on standard error in
Doxygen's form, and docs/run-doxygen.sh counts it with Doxygen's own warnings.

Usage: doc_filter.py HEADER    the filtered text on standard output (other files pass unchanged)
       doc_filter.py --shared HEADER    the declarations that take a copy of a comment, to review
"""

import re
import sys

DECL_KINDS = ("file", "namespace", "class", "enum")

ACCESS_RE = re.compile(r"^\s*(public|private|protected)\s*:")
PATH_LINE_RE = re.compile(r"^\s*//\s*((?:kelvane|include)/\S+\.h)\b(.*)$")
NOT_DOC_RE = re.compile(r"^\s*//\s*(NOLINT|clang-format|SPDX-License-Identifier)")
ABBREVIATION_RE = re.compile(r"\b(e\.g|i\.e|cf|vs)\.(?=\s)")


class Line:
    """What the scan of one line found."""

    def __init__(self, index, text):
        self.index = index
        self.text = text
        self.code = ""  # the code of the line, strings and comments blanked
        self.comment_col = -1  # column of a `//` comment on the line, or -1
        self.scope_at_start = "file"  # innermost scope where the line starts
        self.scope_at_end = "file"  # innermost scope where the line ends
        self.starts_statement = False  # a declaration starts on this line, in a declaration scope
        self.statement_end = -1  # for such a line: the line where that declaration ends
        self.statement_opens = None  # for such a line: the scope kind it opens, if any
        self.preprocessor = False
        self.enumerators = []  # names of the enumerators that start on this line

    @property
    def stripped(self):
        return self.text.strip()

    @property
    def is_comment_only(self):
        return self.stripped.startswith("//")


def classify_brace(pending, outer):
    """The kind of scope a `{` opens, from the statement text before it."""
    if outer not in DECL_KINDS:
        return "body"
    text = re.sub(r"\[\[.*?\]\]", " ", pending)
    text = re.sub(r"__attribute__\s*\(\(.*?\)\)", " ", text)
    if re.search(r"\bnamespace\b", text):
        return "namespace"
    if re.fullmatch(r"\s*extern\s*\"\"\s*", text):
        return "namespace"
    if re.search(r"\benum\b", text):
        return "enum"
    # A class head, not a function whose result type is spelled with `struct`.
    function_head = r"\)\s*(const|noexcept|override|final|&|&&|\s)*(->.*)?$"
    if re.search(r"\b(class|struct|union)\b", text) and not re.search(function_head, text.strip()):
        return "class"
    return "body"


def scan(lines):
    """Fills in what each line is: code, comments, scopes and declaration boundaries."""
    stack = ["file"]
    pending = ""  # statement text at the current level since its last boundary
    statement_line = None  # the line where the current declaration started
    in_block_comment = False
    continued_preprocessor = False
    closed_body = False  # a body just closed back to a declaration scope
    hidden_at = []  # per open brace: whether it opens an internal or detail namespace
    hidden = False

    def end_statement(index, opens=None):
        nonlocal pending, statement_line
        if statement_line is not None and lines[statement_line].statement_end < 0:
            lines[statement_line].statement_end = index
            lines[statement_line].statement_opens = opens
        pending = ""
        statement_line = None

    for index, line in enumerate(lines):
        text = line.text.rstrip("\n")
        line.scope_at_start = stack[-1]
        if continued_preprocessor or (not in_block_comment and text.lstrip().startswith("#")):
            line.preprocessor = True
            continued_preprocessor = text.rstrip().endswith("\\")
            line.scope_at_end = stack[-1]
            continue

        code = []
        i = 0
        n = len(text)
        while i < n:
            if in_block_comment:
                end = text.find("*/", i)
                if end < 0:
                    i = n
                    break
                in_block_comment = False
                i = end + 2
                code.append(" ")
                continue
            c = text[i]
            nxt = text[i + 1] if i + 1 < n else ""
            if c == "/" and nxt == "/":
                line.comment_col = i
                break
            if c == "/" and nxt == "*":
                in_block_comment = True
                i += 2
                continue
            if c in "\"'":
                # A literal: blanked, escapes skipped (a digit separator ' is taken as such).
                if c == "'" and i > 0 and text[i - 1].isalnum() and nxt.isalnum():
                    code.append(c)
                    i += 1
                    continue
                j = i + 1
                while j < n and text[j] != c:
                    j += 2 if text[j] == "\\" else 1
                code.append(c + c)
                if stack[-1] in DECL_KINDS:
                    pending += c + c
                i = j + 1
                continue

            if stack[-1] in DECL_KINDS and not c.isspace() and c != "}" and statement_line is None:
                if not (closed_body and c in ";,"):
                    statement_line = index
                    lines[index].starts_statement = True
                    if stack[-1] == "enum":
                        name = re.match(r"\w*", text[i:]).group(0)
                        if name:
                            if not hidden:
                                lines[index].enumerators.append(name)
            if c == "{":
                kind = classify_brace(pending, stack[-1])
                # Inside an internal or detail namespace nothing is part of the manual.
                hides = kind == "namespace" and bool(re.search(r"\b(internal|detail)\b", pending))
                if stack[-1] in DECL_KINDS and kind != "body":
                    end_statement(index, kind)
                stack.append(kind)
                hidden_at.append(hides)
                hidden = any(hidden_at)
                pending = "" if kind != "body" else pending
            elif c == "}":
                popped = stack.pop() if len(stack) > 1 else "file"
                if hidden_at:
                    hidden_at.pop()
                hidden = any(hidden_at)
                if popped == "body" and stack[-1] in DECL_KINDS:
                    closed_body = True
                    end_statement(index)
                elif popped != "body":
                    pending = ""
                    statement_line = None
                    closed_body = True
            elif c == ";" and stack[-1] in DECL_KINDS:
                end_statement(index)
            elif c == "," and stack[-1] == "enum":
                end_statement(index)
            elif stack[-1] in DECL_KINDS:
                if not c.isspace():
                    closed_body = False
                pending += c
                if ACCESS_RE.match(pending) and pending.rstrip().endswith(":"):
                    # "public:" is a boundary, not the start of a declaration.
                    if statement_line is not None:
                        lines[statement_line].starts_statement = False
                    pending = ""
                    statement_line = None
            code.append(c)
            i += 1
        line.code = "".join(code)
        if stack[-1] in DECL_KINDS and pending:
            pending += " "
        line.scope_at_end = stack[-1]
    return lines


# ---- text ----------------------------------------------------------------------------------


def escape_text(text, state):
    """Escapes what Doxygen would misread in `text`, outside code spans and quotes.

    `state` carries an open quote from one line of a block to the next."""
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if state.get("quote"):
            out.append(c)
            if c == '"':
                state["quote"] = False
            i += 1
            continue
        if c == "`":
            end = text.find("`", i + 1)
            if end > 0:
                out.append(text[i : end + 1])
                i = end + 1
                continue
        if c == '"':
            # A quote is literal text for Doxygen, when it closes again in the block.
            state["quote"] = True
            out.append(c)
            i += 1
            continue
        if c in "\\@<>&#":
            out.append("\\" + c)
        elif c == "*" and text[i + 1 : i + 2] == "/":
            out.append("*&zwj;")
        else:
            out.append(c)
        i += 1
    result = "".join(out)
    return ABBREVIATION_RE.sub(lambda m: m.group(1) + ".\\", result)


def comment_text(line):
    """The text of a comment-only line, after its `//`."""
    s = line.text.rstrip("\n")
    at = s.index("//")
    return s[:at], s[at + 2 :]


def convert_block(lines, indices):
    """Rewrites the comment-only lines `indices` as one Doxygen comment block."""
    state = {}
    texts = []
    for k in indices:
        indent, text = comment_text(lines[k])
        texts.append((k, indent, text))
    # Lines indented under the paragraph above (two or more spaces beyond the block's usual one
    # space) keep their layout: a run of them becomes preformatted text.
    # A run that is a list ("  - item") is left to Markdown, which makes it a list.
    indented = [t.startswith("   ") or t.startswith("\t") for (_, _, t) in texts]
    for pos in range(len(texts)):
        if indented[pos] and (pos == 0 or not indented[pos - 1]):
            if re.match(r"\s*[-*+] ", texts[pos][2]):
                end = pos
                while end < len(texts) and indented[end]:
                    indented[end] = False
                    end += 1
    first = True
    for pos, (k, indent, text) in enumerate(texts):
        body = escape_text(text, state)
        if first and body.strip().lower().startswith("deprecated:"):
            body = re.sub(r"(?i)deprecated:", r"\\deprecated", body, count=1)
        if indented[pos]:
            starts = pos == 0 or not indented[pos - 1]
            ends = pos == len(texts) - 1 or not indented[pos + 1]
            if starts:
                body = " <pre>" + body[1:]
            if ends:
                body = body + "</pre>"
        lines[k].text = indent + "///" + body + "\n"
        if body.strip():
            first = False


def joined_text(lines, indices):
    """The text of a comment block on one line, for a `/** ... */` copy."""
    state = {}
    parts = []
    for k in indices:
        _, text = comment_text(lines[k])
        parts.append(escape_text(text.strip(), state))
    text = " ".join(p for p in parts if p)
    if text.lower().startswith("deprecated:"):
        text = "\\deprecated" + text[len("deprecated:") :]
    return text.replace("*/", "*&zwj;/")


def convert_trailing(line):
    """`code;  // text` becomes `code;  ///< text`."""
    s = line.text.rstrip("\n")
    col = line.comment_col
    state = {}
    line.text = s[:col] + "///<" + escape_text(s[col + 2 :], state) + "\n"


# ---- the filter ----------------------------------------------------------------------------


def is_doc_target(line):
    """Whether a comment block directly above `line` documents what starts there."""
    s = line.stripped
    if line.preprocessor:
        return bool(re.match(r"#\s*define\b", s))
    if not line.starts_statement or line.scope_at_start not in DECL_KINDS:
        return False
    if ACCESS_RE.match(s) or s.startswith("}"):
        return False
    if re.match(r'extern\s*"C"|static_assert|using\s+namespace', s):
        return False
    return True


def trailing_documents(line):
    """Whether the trailing comment of `line` documents the declaration or member on it."""
    if line.comment_col < 0 or not line.code.strip():
        return False
    if NOT_DOC_RE.match(line.text[line.comment_col :]):
        return False
    if line.preprocessor:
        return False
    code = line.code.strip()
    if re.fullmatch(r"[}\s;]*", code):
        return False
    # A declared but not defined struct is no part of the manual: Doxygen would hand its comment
    # to the next declaration.
    if re.fullmatch(r"(struct|class|union)\s+\w+\s*;", code):
        return False
    if line.scope_at_end == "enum":
        return True
    if line.scope_at_end not in DECL_KINDS:
        return False
    return code.endswith(";") or code.endswith("}")


DECLARATOR = r"\w+\s*(?:=\s*[^,;(){}]+)?"
MULTI_DECLARATOR_RE = re.compile(
    r"^(\s*)((?:const\s+)?[\w:]+\s+)(" + DECLARATOR + r"(?:,\s*" + DECLARATOR + r")+);(.*)$"
)


def split_declarators(line, copy):
    """`double a = 1, b = 0;` under a comment documents both: Doxygen, which gives a comment to
    the first name only, reads it as two declarations on the line, each with the comment."""
    match = MULTI_DECLARATOR_RE.match(line.text.rstrip("\n"))
    if not match or line.statement_end != line.index:
        return
    indent, type_, names, rest = match.groups()
    parts = [p.strip() for p in names.split(",")]
    first = f"{type_}{parts[0]};"
    others = " ".join(f"/** {copy} */ {type_}{p};" for p in parts[1:])
    line.text = f"{indent}{first} {others}{rest}\n"


def declared_name(lines, line):
    """The name a declaration starting on `line` declares: the function, variable or alias."""
    end = line.statement_end if line.statement_end >= line.index else line.index
    text = " ".join(lines[k].code for k in range(line.index, end + 1))
    text = re.sub(r"\[\[.*?\]\]", " ", text)
    using = re.match(r"\s*using\s+(\w+)\s*=", text)
    if using:
        return using.group(1)
    operator = re.search(r"\boperator\s*([^\w\s(]+|\(\)|\w[\w:<> ]*?)\s*\(", text)
    if operator:
        return "operator" + operator.group(1).strip()
    depth = 0
    for k, c in enumerate(text):
        if c == "<":
            depth += 1
        elif c == ">" and depth > 0:
            depth -= 1
        elif depth == 0 and c in "(=;{[":
            name = re.search(r"(~?\w+)\s*$", text[:k])
            return name.group(1) if name else ""
    return ""


def declaration_shape(lines, line, name):
    """The declaration's code with its name left out, to tell declarations alike but for it."""
    end = line.statement_end if line.statement_end >= line.index else line.index
    text = " ".join(lines[k].code for k in range(line.index, end + 1))
    if name:
        text = re.sub(r"\b" + re.escape(name) + r"\b", "@", text, count=1)
    text = re.sub(r"\b\d[\w.']*", "#", text)  # values differ along a list of constants
    return " ".join(text.split())


def common_affix(a, b):
    """The length of the longer of the prefix and the suffix that `a` and `b` share."""
    prefix = 0
    while prefix < min(len(a), len(b)) and a[prefix] == b[prefix]:
        prefix += 1
    suffix = 0
    while suffix < min(len(a), len(b)) and a[-1 - suffix] == b[-1 - suffix]:
        suffix += 1
    return max(prefix, suffix)


def related(name, first, comment, same_shape):
    """Whether a declaration named `name`, right under the declaration `first` that a comment
    documents, is what the comment speaks of too: an overload of it, its setter, a function the
    comment names, or one of a list of declarations alike but for their names, which share a
    part (a comment over such a list is its heading: "Text shades." over appText1() ..
    appText5(), "Fit modes" over kModeFit .. kModeBottom)."""
    if not name:
        return False
    setter = name in ("set_" + first, "set" + first[:1].upper() + first[1:])
    if name == first or setter or (same_shape and common_affix(name, first) >= 3):
        return True
    # Named as a function (`Stop()`) or a code span, not as a word of the prose.
    named = r"(?<![\w:])" + re.escape(name) + r"\(|`" + re.escape(name) + r"`"
    return re.search(named, comment) is not None


def share_macros(lines, first, copy, shared):
    """`#define`s right under a documented one and alike but for name and value share its
    comment (the parts of a version, say)."""
    def shape(line):
        m = re.match(r"\s*#\s*define\s+\w+\s+(.*)$", line.text.rstrip("\n"))
        if not m or line.text.rstrip().endswith("\\"):
            return None
        return re.sub(r"\b\d[\w.']*", "#", m.group(1))

    first_shape = shape(first)
    k = first.index + 1
    while first_shape is not None and k < len(lines) and shape(lines[k]) == first_shape:
        shared.append((k, first.index, lines[k].stripped))
        lines[k].text = "/** " + copy + " */ " + lines[k].text.lstrip()
        k += 1


def shares_comment(line):
    """Whether a declaration takes a copy of the comment above the declarations before it: not a
    destructor, a deleted function, an assignment or an override (which has its base's comment),
    which a comment written for a constructor or a function above does not describe. Such a
    declaration keeps the run going for the ones after it."""
    s = re.sub(r"^(virtual|constexpr|explicit|inline)\s+", "", line.stripped)
    if s.startswith("~") or "operator=(" in s or re.search(r"=\s*delete\s*;", s):
        return False
    return not re.search(r"\boverride\b", s)


def filter_header(text, warnings, shared):
    lines = [Line(i, t) for i, t in enumerate(text.splitlines(keepends=True))]
    scan(lines)
    done = set()

    # The opening block: comment lines after the licence line, up to the first other line.
    k = 0
    if lines and "SPDX-License-Identifier" in lines[0].text:
        k = 1
    opening = []
    while k < len(lines) and lines[k].is_comment_only:
        opening.append(k)
        k += 1
    if opening:
        match = PATH_LINE_RE.match(lines[opening[0]].text)
        if match:
            lines[opening[0]].text = "/// \\file\n"
            rest = opening[1:]
            convert_block(lines, rest)
            done.update(opening)

    # Trailing comments, and the lines aligned under them that continue them.
    for i, line in enumerate(lines):
        if i in done or not trailing_documents(line):
            continue
        col = line.comment_col
        convert_trailing(line)
        done.add(i)
        j = i + 1
        while j < len(lines) and lines[j].is_comment_only and lines[j].text.index("//") == col:
            indent, rest = comment_text(lines[j])
            lines[j].text = indent + "///<" + escape_text(rest, {}) + "\n"
            done.add(j)
            j += 1

    # Comment blocks above declarations, and the declarations that share them.
    i = 0
    while i < len(lines):
        line = lines[i]
        if i in done or not line.is_comment_only or line.scope_at_start not in DECL_KINDS:
            i += 1
            continue
        block = []
        j = i
        while j < len(lines) and lines[j].is_comment_only and j not in done:
            block.append(j)
            j += 1
        i = j
        if j >= len(lines) or not is_doc_target(lines[j]):
            continue
        if any(NOT_DOC_RE.match(lines[b].text) for b in block):
            continue
        copy = joined_text(lines, block)
        convert_block(lines, block)
        done.update(block)
        split_declarators(lines[j], copy)
        # The declarations that follow without a blank line share the comment.
        decl = lines[j]
        if decl.preprocessor:
            share_macros(lines, decl, copy, shared)
            continue
        first_name = declared_name(lines, decl)
        first_shape = declaration_shape(lines, decl, first_name)
        while (
            decl.scope_at_start != "enum"
            and decl.starts_statement
            and decl.statement_opens is None
            and decl.statement_end >= 0
        ):
            nxt = decl.statement_end + 1
            if nxt >= len(lines):
                break
            follower = lines[nxt]
            if not is_doc_target(follower) or follower.preprocessor:
                break
            if follower.statement_opens is not None:
                break
            own = nxt in done or (
                follower.statement_end == nxt and trailing_documents(follower)
            )
            name = declared_name(lines, follower)
            same_shape = declaration_shape(lines, follower, name) == first_shape
            special = not own and not shares_comment(follower)
            if not own and not special and not related(name, first_name, copy, same_shape):
                break
            if not own and not special:
                shared.append((nxt, j, follower.stripped))
                indent = follower.text[: len(follower.text) - len(follower.text.lstrip())]
                follower.text = indent + "/** " + copy + " */ " + follower.text.lstrip()
            decl = follower
    # Doxygen does not report enumerators without a comment; this filter does, in Doxygen's
    # form, so that the manual's check counts them with the other undocumented names.
    for i, line in enumerate(lines):
        if not line.enumerators:
            continue
        above = i > 0 and (i - 1) in done and lines[i - 1].text.lstrip().startswith("///")
        above = above and not lines[i - 1].text.lstrip().startswith("///<")
        documented = len(line.enumerators) == 1 and (above or "///<" in line.text)
        if not documented:
            for name in line.enumerators:
                warnings.append(f"{i + 1}: warning: enumerator {name} is not documented.")
    return "".join(l.text for l in lines)


def main(argv):
    # --shared lists the declarations that take a copy of the comment above, for review.
    list_shared = len(argv) == 3 and argv[1] == "--shared"
    if list_shared:
        argv = argv[:1] + argv[2:]
    if len(argv) != 2:
        sys.stderr.write("usage: doc_filter.py [--shared] HEADER\n")
        return 2
    with open(argv[1], encoding="utf-8") as f:
        text = f.read()
    # Doxygen runs the filter on every input; only headers are rewritten.
    if not argv[1].endswith(".h"):
        sys.stdout.write(text)
        return 0
    warnings = []
    shared = []
    filtered = filter_header(text, warnings, shared)
    if list_shared:
        for line, first, declaration in shared:
            sys.stdout.write(f"{argv[1]}:{line + 1}: comment of line {first + 1}: {declaration}\n")
        return 0
    sys.stdout.write(filtered)
    for warning in warnings:
        sys.stderr.write(f"{argv[1]}:{warning}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
