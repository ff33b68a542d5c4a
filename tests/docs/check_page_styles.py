#!/usr/bin/env python3
"""Checks the style sheet of every page of the rendered reference: code in a table cell must
never break (a browser breaks "--charset" after its hyphens and "-007 (Cannot restore
clipboard content)" at every blank), and a code block's long lines must wrap, since a block
that scrolls sideways shows its long lines cut off. Renders the docs folder into a temporary
copy with tools/render_docs.py, as the release package does. Prints each page that fails;
the exit status is 1 when there is one.

usage: check_page_styles.py <source dir>
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

STYLE = re.compile(r"<style>(.*?)</style>", re.DOTALL)
RULE = re.compile(r"([^{}]+)\{([^{}]*)\}")


def declarations(style):
    """Each selector of the style sheet with its declarations, later rules overriding."""
    found = {}
    for selectors, body in RULE.findall(style):
        properties = {}
        for declaration in body.split(";"):
            name, colon, value = declaration.partition(":")
            if colon:
                properties[name.strip()] = " ".join(value.split())
        for selector in selectors.split(","):
            found.setdefault(" ".join(selector.split()), {}).update(properties)
    return found


def faults(page):
    match = STYLE.search(page)
    if not match:
        return ["no style sheet"]
    rules = declarations(match.group(1))
    problems = []
    for selector in ("td code", "th code"):
        if rules.get(selector, {}).get("white-space") != "nowrap":
            problems.append("%s: no white-space: nowrap, so table cells break code tokens" % selector)
    pre = rules.get("pre", {})
    if pre.get("white-space") not in ("pre-wrap", "break-spaces"):
        problems.append("pre: no white-space: pre-wrap, so long code lines run past the block")
    if pre.get("overflow-wrap") not in ("anywhere", "break-word"):
        problems.append("pre: no overflow-wrap, so a long word of code runs past the block")
    if rules.get("pre code", {}).get("white-space") not in (None, "inherit", "pre-wrap", "break-spaces"):
        problems.append("pre code: its white-space undoes the block's wrapping")
    return problems


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    source = sys.argv[1]
    work = tempfile.mkdtemp()
    try:
        docs = os.path.join(work, "docs")
        shutil.copytree(os.path.join(source, "docs"), docs)
        subprocess.run([sys.executable, os.path.join(source, "tools", "render_docs.py"), docs],
                       check=True, stdout=subprocess.DEVNULL)
        pages = failed = 0
        for folder, _, files in os.walk(docs):
            for name in sorted(files):
                if not name.endswith(".html"):
                    continue
                pages += 1
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    problems = faults(f.read())
                for problem in problems:
                    print("%s: %s" % (os.path.relpath(os.path.join(folder, name), docs), problem))
                failed += bool(problems)
        print("%d pages, %d with style faults" % (pages, failed))
        return 1 if failed or pages == 0 else 0
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    sys.exit(main())
