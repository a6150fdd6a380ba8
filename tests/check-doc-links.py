#!/usr/bin/env python3
"""Checks every relative link of the project's Markdown pages: README.md,
BUILD.md and docs/*.md. A link must name a file or folder that exists, and
a #part of a Markdown file must name one of its headings (as the repository
host makes a heading's anchor). Links in code (fenced, indented or between
backquotes) and links to other sites are left alone.

    python3 tests/check-doc-links.py [TOP]

Prints one line a broken link and exits 1, or one pass line and exits 0."""
import os
import re
import sys

LINK = re.compile(r'!?\[[^\]]*\]\(([^)\s]+)\)')


def prose_lines(text):
    """(number, line) of each line outside code, inline code blanked."""
    fenced = False
    previous_blank = True
    in_indented = False
    for number, line in enumerate(text.split('\n'), 1):
        if line.lstrip().startswith('```'):
            fenced = not fenced
            continue
        if fenced:
            continue
        if line.startswith('    ') and (previous_blank or in_indented):
            in_indented = True
            continue
        in_indented = False
        previous_blank = not line.strip()
        yield number, re.sub(r'`[^`]*`', '', line)


def anchor(heading):
    text = heading.strip().lower()
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def anchors(path):
    with open(path, encoding='utf-8') as page:
        return {anchor(line.lstrip('#')) for _, line in prose_lines(page.read())
                if re.match(r'#{1,6} ', line)}


def main():
    top = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(os.path.dirname(__file__), '..'))
    docs = os.path.join(top, 'docs')
    pages = [os.path.join(top, 'README.md'), os.path.join(top, 'BUILD.md')]
    pages += sorted(os.path.join(docs, name) for name in os.listdir(docs)
                    if name.endswith('.md'))
    broken = 0
    links = 0
    for page in pages:
        with open(page, encoding='utf-8') as source:
            text = source.read()
        for number, line in prose_lines(text):
            for target in LINK.findall(line):
                if re.match(r'[a-z]+:', target):
                    continue
                links += 1
                path, _, part = target.partition('#')
                resolved = os.path.normpath(
                    os.path.join(os.path.dirname(page), path)) if path else page
                where = '%s:%d: %s' % (os.path.relpath(page, top), number, target)
                if not os.path.exists(resolved):
                    print('FAIL %s: no such file' % where)
                    broken += 1
                elif part and resolved.endswith('.md') and part not in anchors(resolved):
                    print('FAIL %s: no heading with that anchor' % where)
                    broken += 1
    if broken:
        print('doc links: %d of %d broken' % (broken, links))
        return 1
    print('doc links: all %d resolve in %d pages' % (links, len(pages)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
