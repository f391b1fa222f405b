#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Tests of docs/doc_filter.py: which comments reach the manual, and how."""

import os
import sys
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_filter  # noqa: E402


def run(source):
    warnings, shared = [], []
    text = doc_filter.filter_header(source, warnings, shared)
    return text.splitlines(), warnings, shared


HEADER = """\
// SPDX-License-Identifier: Apache-2.0
// kelvane/demo/demo.h
//
// What the module is for.
//
//   Run    starts the work;
//          it continues here.
#pragma once

namespace kelvane {

// Section note, not documentation.

// Starts the work. Runs until Stop() is called.
void Run() noexcept;
void Stop() noexcept;
void Unrelated() noexcept;

struct Pair {
  int first = 0;   // the first
  int second = 0;  // the second
                   // and more of it
};

inline void Body() {
  // Inside a body: left alone.
  int x = 1;  // also left alone
}

}  // namespace kelvane
"""


class FilterTest(unittest.TestCase):
    def test_keeps_every_line_and_the_licence(self):
        lines, _, _ = run(HEADER)
        self.assertEqual(len(lines), len(HEADER.splitlines()))
        self.assertEqual(lines[0], "// SPDX-License-Identifier: Apache-2.0")

    def test_opening_block_is_the_file_description_with_its_table_kept(self):
        lines, _, _ = run(HEADER)
        self.assertEqual(lines[1], "/// \\file")
        self.assertEqual(lines[3], "/// What the module is for.")
        self.assertEqual(lines[5], "/// <pre>  Run    starts the work;")
        self.assertEqual(lines[6], "///          it continues here.</pre>")

    def test_comment_above_a_declaration_documents_it_and_a_blank_line_does_not(self):
        lines, _, _ = run(HEADER)
        self.assertEqual(lines[11], "// Section note, not documentation.")
        self.assertEqual(lines[13], "/// Starts the work. Runs until Stop() is called.")

    def test_a_function_the_comment_names_shares_it_and_an_unrelated_one_ends_the_run(self):
        lines, _, shared = run(HEADER)
        self.assertEqual(lines[15], "/** Starts the work. Runs until Stop() is called. */ "
                                    "void Stop() noexcept;")
        self.assertEqual(lines[16], "void Unrelated() noexcept;")
        self.assertEqual(shared, [(15, 14, "void Stop() noexcept;")])

    def test_trailing_comments_and_their_continuations_document_members(self):
        lines, _, _ = run(HEADER)
        self.assertEqual(lines[19], "  int first = 0;   ///< the first")
        self.assertEqual(lines[20], "  int second = 0;  ///< the second")
        self.assertEqual(lines[21], "                   ///< and more of it")

    def test_comments_inside_function_bodies_are_left_alone(self):
        lines, _, _ = run(HEADER)
        self.assertEqual(lines[25], "  // Inside a body: left alone.")
        self.assertEqual(lines[26], "  int x = 1;  // also left alone")
        self.assertEqual(lines[29], "}  // namespace kelvane")

    def test_sharing_rules(self):
        source = """\
namespace kelvane {
class A {
 public:
  // Makes one.
  A() noexcept;
  ~A();
  A(const A&) = delete;
  A& operator=(const A&) = delete;
  A(A&& other) noexcept;

  // The size.
  int size() const noexcept;
  int size(int unit) const noexcept;
  void set_size(int size) noexcept;
  int other() const noexcept;

  // Text shades.
  int appText1() noexcept;
  int appText2() noexcept;
};
}  // namespace kelvane
"""
        lines, _, shared = run(source)
        names = [declaration for _, _, declaration in shared]
        self.assertEqual(names, ["A(A&& other) noexcept;",
                                 "int size(int unit) const noexcept;",
                                 "void set_size(int size) noexcept;",
                                 "int appText2() noexcept;"])
        self.assertEqual(lines[5], "  ~A();")
        self.assertEqual(lines[14], "  int other() const noexcept;")

    def test_escapes_what_doxygen_would_misread_outside_code_and_quotes(self):
        source = """\
// A <major>.<minor> & #include @(x) a\\b, `code <kept> #1`, "quoted <kept> @x", e.g. this.
int f();
"""
        lines, _, _ = run(source)
        self.assertEqual(lines[0], "/// A \\<major\\>.\\<minor\\> \\& \\#include \\@(x) a\\\\b, "
                                   "`code <kept> #1`, \"quoted <kept> @x\", e.g.\\ this.")

    def test_deprecated_comment_marks_the_declaration(self):
        lines, _, _ = run("// Deprecated: use g().\nint f();\n")
        self.assertEqual(lines[0], "/// \\deprecated use g().")

    def test_one_comment_over_several_declarators_documents_each(self):
        lines, _, _ = run("struct T {\n  // The numbers.\n  double a = 1.0, b = 0.0;\n};\n")
        self.assertEqual(lines[2], "  double a = 1.0; /** The numbers. */ double b = 0.0;")

    def test_reports_enumerators_without_a_comment_outside_internal_namespaces(self):
        source = """\
enum class Kind {
  kOne,  // documented
  // Documented above.
  kTwo,
  kThree,
};
enum class Line { kA, kB };
namespace detail {
enum class Hidden { kX };
}  // namespace detail
"""
        _, warnings, _ = run(source)
        self.assertEqual(warnings, ["5: warning: enumerator kThree is not documented.",
                                    "7: warning: enumerator kA is not documented.",
                                    "7: warning: enumerator kB is not documented."])

    def test_macros_alike_share_the_comment_above(self):
        source = "// The parts.\n#define MAJOR 1\n#define MINOR 3\n// Text.\n#define TEXT \"1.3\"\n"
        lines, _, _ = run(source)
        self.assertEqual(lines[2], "/** The parts. */ #define MINOR 3")
        self.assertEqual(lines[4], "#define TEXT \"1.3\"")


if __name__ == "__main__":
    unittest.main()
