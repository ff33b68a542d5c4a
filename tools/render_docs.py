#!/usr/bin/env python3
"""Renders the reference as HTML for the release package: every Markdown page of a docs
folder gets an HTML page beside it (README.md becomes index.html), written by Debian's
python3-markdown. Links between pages lead to the HTML pages, fragments included; pictures
stay where they are, so the relative paths of the Markdown hold. Headings get ids for the
fragments. Every page but the index links back to it. The same sources give the same bytes.
Code in a table cell never breaks (status texts and options such as --charset stay whole);
a code block's long lines wrap instead of running past the page.

usage: render_docs.py <docs folder>        (writes the pages in place)
"""
import os
import re
import sys

import markdown
from markdown.extensions import Extension
from markdown.treeprocessors import Treeprocessor

INDEX_SOURCE = "README.md"
INDEX_PAGE = "index.html"

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: Tahoma, Verdana, sans-serif; font-size: 15px; line-height: 1.45;
       max-width: 52em; margin: 1.5em auto; padding: 0 1em; color: #1a1a1a; }}
nav {{ font-size: 13px; margin-bottom: 1.5em; }}
h1, h2 {{ color: #20549f; }}
table {{ border-collapse: collapse; margin: 0.8em 0; }}
th, td {{ border: 1px solid #b8c4d8; padding: 0.25em 0.6em; text-align: left; vertical-align: top; }}
th {{ background: #e8eef8; }}
code {{ font-family: Consolas, "Courier New", monospace; background: #f2f2f2; padding: 0 0.2em; }}
td code, th code {{ white-space: nowrap; }}
pre {{ background: #f2f2f2; padding: 0.6em 0.8em; white-space: pre-wrap; overflow-wrap: anywhere; }}
pre code {{ padding: 0; }}
img {{ max-width: 100%; }}
</style>
</head>
<body>
{navigation}{body}
</body>
</html>
"""

SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def page_name(markdown_name):
    """The HTML page of a Markdown page, in the same folder."""
    folder, name = os.path.split(markdown_name)
    html = INDEX_PAGE if name == INDEX_SOURCE else name[:-len(".md")] + ".html"
    return os.path.join(folder, html) if folder else html


class PageLinks(Treeprocessor):
    """Points links to Markdown pages at their HTML pages; anything else is left as written."""

    def run(self, root):
        for link in root.iter("a"):
            target = link.get("href", "")
            if SCHEME.match(target) or target.startswith("#"):
                continue
            path, hash_mark, fragment = target.partition("#")
            if path.endswith(".md"):
                link.set("href", page_name(path) + hash_mark + fragment)


class PageLinksExtension(Extension):
    def extendMarkdown(self, md):
        md.treeprocessors.register(PageLinks(md), "page_links", 5)


def render(docs, source):
    with open(os.path.join(docs, source), encoding="utf-8") as f:
        text = f.read()
    converter = markdown.Markdown(extensions=["tables", "fenced_code", "toc", PageLinksExtension()],
                                  output_format="html")
    body = converter.convert(text)
    heading = re.search(r"^# (.+)$", text, re.MULTILINE)
    title = heading.group(1).strip() if heading else source
    if title != "tarvel 2 reference":
        title += " - tarvel 2 reference"
    navigation = ""
    if os.path.basename(source) != INDEX_SOURCE:
        up = os.path.relpath(docs, os.path.join(docs, os.path.dirname(source))).replace(os.sep, "/")
        index = INDEX_PAGE if up == "." else up + "/" + INDEX_PAGE
        navigation = '<nav><a href="%s">tarvel 2 reference</a></nav>\n' % index
    page = PAGE.format(title=escape(title), navigation=navigation, body=body)
    with open(os.path.join(docs, page_name(source)), "w", encoding="utf-8", newline="\n") as f:
        f.write(page)


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        sys.exit(__doc__)
    docs = sys.argv[1]
    sources = []
    for folder, folders, files in os.walk(docs):
        folders.sort()
        for name in sorted(files):
            if name.endswith(".md"):
                sources.append(os.path.relpath(os.path.join(folder, name), docs))
    for source in sources:
        render(docs, source)
    print("rendered %d pages" % len(sources))


if __name__ == "__main__":
    main()
