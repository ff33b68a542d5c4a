#!/usr/bin/env python3
"""Checks that every link and picture of the HTML pages in an unpacked package resolves
inside the package: a relative path to a file that is there (never out of the folder, never
to a Markdown page, which a browser would not show), and a fragment that names an id of the
page it leads to. Prints each broken link; the exit status is 1 when there is one.

usage: check_links.py <unpacked package folder>
"""
import html.parser
import os
import posixpath
import re
import sys
import urllib.parse

SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


class Page(html.parser.HTMLParser):
    """The links (href, src) and the ids of one page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []
        self.ids = set()

    def handle_starttag(self, tag, attributes):
        for name, value in attributes:
            if name == "id" and value:
                self.ids.add(value)
            if name in ("href", "src"):
                self.links.append((tag, value or ""))


def read_page(path):
    page = Page()
    with open(path, encoding="utf-8") as f:
        page.feed(f.read())
    page.close()
    return page


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        sys.exit(__doc__)
    root = sys.argv[1]
    files = set()
    for folder, _, names in os.walk(root):
        for name in names:
            files.add(posixpath.relpath(os.path.join(folder, name), root).replace(os.sep, "/"))
    pages = {name: read_page(os.path.join(root, name)) for name in sorted(files) if name.endswith(".html")}
    if not pages:
        print("no HTML pages in %s" % root)
        return 1
    broken = []
    checked = 0
    for name, page in pages.items():
        for tag, link in page.links:
            checked += 1
            where = "%s: <%s> %s" % (name, tag, link)
            if link == "" or SCHEME.match(link) or link.startswith("//"):
                broken.append(where + ": leads out of the package")
                continue
            path, _, fragment = link.partition("#")
            path = urllib.parse.unquote(path)
            target = posixpath.normpath(posixpath.join(posixpath.dirname(name), path)) if path else name
            if target.startswith("../") or target == "..":
                broken.append(where + ": leads out of the package")
            elif target not in files:
                broken.append(where + ": no such file in the package")
            elif target.endswith(".md"):
                broken.append(where + ": leads to the Markdown page, not its HTML page")
            elif fragment and (target not in pages or urllib.parse.unquote(fragment) not in pages[target].ids):
                broken.append(where + ": no id \"%s\" in %s" % (fragment, target))
    for line in broken:
        print(line)
    print("%d links in %d pages, %d broken" % (checked, len(pages), len(broken)))
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main())
