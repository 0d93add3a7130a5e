"""Checks that every link of the built site to one of its own pages or files leads somewhere.

Usage: python docs/check_local_links.py docs/_build/html (scripts/build-docs runs it). Links to
other sites are not followed; an anchor (#name) is not checked, only the file it is in.
"""

import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit


class Links(HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("href", "src") and value:
                self.targets.append(value)


def broken_links(site):
    broken = []
    for page in sorted(site.rglob("*.html")):
        parser = Links()
        parser.feed(page.read_text(encoding="utf-8"))
        for target in parser.targets:
            parts = urlsplit(target)
            if parts.scheme or parts.netloc or not parts.path:
                continue  # another site, a mail address, or an anchor on this page
            if not (page.parent / unquote(parts.path)).exists():
                broken.append((page.relative_to(site), target))
    return broken


def main(site):
    site = Path(site)
    broken = broken_links(site)
    for page, target in broken:
        print(f"{page}: broken link to {target}")
    pages = sum(1 for _ in site.rglob("*.html"))
    print(f"Local links: {len(broken)} broken in {pages} pages")
    return 1 if broken or not pages else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "docs/_build/html"))
