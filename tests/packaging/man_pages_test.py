#!/usr/bin/python3
"""Every man page of the project renders without a warning.

    man_pages_test.py SOURCE_DIR

Each page is rendered as a user sees it (MANWIDTH=80 man --warnings -l), and
any text on the error stream fails it. The pages are found under the source
tree, so a new page is checked without a change here.
"""

import glob
import os
import subprocess
import sys
import tempfile
import unittest

SOURCE_DIR = None
EXPECTED = {"meterapp.1", "vcfg.1", "vprop.1", "realmgen.1", "vsaveout.1"}


def render(page):
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
    env.pop("MANPAGER", None)
    env.pop("PAGER", None)
    result = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True,
                            env=env, timeout=60, check=False)
    return result.returncode, result.stdout, result.stderr


def project_pages():
    pages = []
    for pattern in ("tools/**/*.[1-8]", "packaging/**/*.[1-8]"):
        pages += glob.glob(os.path.join(SOURCE_DIR, pattern), recursive=True)
    return sorted(pages)


class ManPagesTest(unittest.TestCase):
    def test_every_page_renders_without_warnings(self):
        pages = project_pages()
        self.assertTrue(EXPECTED <= {os.path.basename(p) for p in pages}, pages)
        for page in pages:
            with self.subTest(page=os.path.relpath(page, SOURCE_DIR)):
                status, text, errors = render(page)
                self.assertEqual((status, errors), (0, ""))
                name = os.path.basename(page).rsplit(".", 1)[0]
                # The header line names the page, and there is a NAME section.
                self.assertIn(name.upper(), text.splitlines()[0])
                self.assertIn("\nNAME\n", text)

    def test_the_check_sees_warnings(self):
        # The same rendering flags faults of the kind the pages must not have.
        faulty = {
            "undefined macro": ".TH X 1\n.SH NAME\nx \\- y\n.XYZZY\n",
            "unknown escape": ".TH X 1\n.SH NAME\nx \\- y \\[nosuchglyph]\n",
            "line too long to fill": ".TH X 1\n.SH NAME\nx \\- y\n.nh\n" + "a" * 120 + "\n",
        }
        with tempfile.TemporaryDirectory() as scratch:
            for what, text in faulty.items():
                with self.subTest(fault=what):
                    page = os.path.join(scratch, "x.1")
                    with open(page, "w") as f:
                        f.write(text)
                    self.assertNotEqual(render(page)[2], "")


if __name__ == "__main__":
    SOURCE_DIR = os.path.abspath(sys.argv.pop(1))
    unittest.main()
