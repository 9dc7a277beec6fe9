#!/usr/bin/python3
"""The page's font for its Japanese message texts: a subset of Noto Sans CJK JP (Debian's
fonts-noto-cjk) holding only the characters of the texts in base/messages.h, so that a browser
without a Japanese font shows them and not empty boxes.

    tools/make-page-font.py          rewrites platform/web/fonts/messages.woff2 and its licence
    tools/make-page-font.py --check  fails when the committed font lacks a character of a text

Run with Debian's Python (python3-fonttools, python3-brotli); `make page-font` installs them and
fonts-noto-cjk and runs it. The subset is a modified version of the font under the SIL Open
Font License, so it carries a name of its own and the licence goes beside it (OFL.txt).
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MESSAGES = ROOT / "base/messages.h"
FONT_DIR = ROOT / "platform/web/fonts"
FONT = FONT_DIR / "messages.woff2"
LICENCE = FONT_DIR / "OFL.txt"
SOURCE = pathlib.Path("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
SOURCE_INDEX = 0  # Noto Sans CJK JP in the collection
COPYRIGHT = pathlib.Path("/usr/share/doc/fonts-noto-cjk/copyright")
FAMILY = "sketch3d messages"  # the subset's own name (a modified version may not keep another)


def message_texts():
    """The Japanese texts of base/messages.h, decoded from their code page 932 bytes."""
    source = MESSAGES.read_text(encoding="utf-8")
    texts = []
    for match in re.finditer(r"inline constexpr char TEXT_\w+\[\] =((?:\s*\"[^\"]*\")+);", source):
        pieces = re.findall(r"\"([^\"]*)\"", match.group(1))
        data = "".join(pieces).encode("ascii").decode("unicode_escape").encode("latin-1")
        texts.append(data.decode("cp932"))
    if not texts:
        sys.exit(f"make-page-font: no texts found in {MESSAGES}")
    return texts


def characters(texts):
    """Every character the page shows in a text; the number of "%d" may be any integer."""
    wanted = set()
    for text in texts:
        wanted.update(text.replace("%d", "-0123456789"))
    return "".join(sorted(wanted))


def covered(font_path):
    from fontTools.ttLib import TTFont

    return set(chr(code) for code in TTFont(font_path).getBestCmap())


def check():
    missing = set(characters(message_texts())) - covered(FONT)
    if missing:
        sys.exit(f"{FONT.relative_to(ROOT)} lacks {''.join(sorted(missing))!r}: run make page-font")
    print(f"{FONT.relative_to(ROOT)}: every character of the message texts is in it")


def licence_text():
    """The font's copyright and the SIL Open Font License as Debian ships them."""
    lines = COPYRIGHT.read_text(encoding="utf-8").splitlines()
    start = lines.index("License: SIL-1.1", lines.index("License: SIL-1.1") + 1)
    body = []
    for line in lines[start + 1 :]:
        if not line.startswith(" "):
            break
        body.append("" if line.strip() == "." else line[1:])
    return body


def build():
    from fontTools import subset
    from fontTools.ttLib import TTFont

    font = TTFont(SOURCE, fontNumber=SOURCE_INDEX, recalcTimestamp=False)
    copyright_notice = font["name"].getDebugName(0)
    options = subset.Options()
    options.flavor = "woff2"
    options.layout_features = []  # the texts need no substitutions
    options.hinting = False
    options.desubroutinize = True
    options.name_IDs = [0, 1, 2, 3, 4, 5, 6, 13, 14]
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=characters(message_texts()))
    subsetter.subset(font)
    names = font["name"]
    for record in names.names:
        if record.nameID in (1, 4):
            record.string = FAMILY
        elif record.nameID in (3, 6):
            record.string = FAMILY.replace(" ", "-") + "-Regular"
    FONT_DIR.mkdir(parents=True, exist_ok=True)
    font.flavor = "woff2"
    font.save(FONT)
    LICENCE.write_text(
        f"{FONT.name}: a subset of Noto Sans CJK JP Regular (Debian fonts-noto-cjk), made by\n"
        f"tools/make-page-font.py with the characters of the program's message texts and renamed\n"
        f'"{FAMILY}".\n\n'
        f"Font copyright: {copyright_notice}\n"
        f"Noto is a trademark of Google Inc.\n\n" + "\n".join(licence_text()) + "\n",
        encoding="utf-8",
    )
    print(f"{FONT.relative_to(ROOT)}: {FONT.stat().st_size} bytes, {len(covered(FONT))} characters")


if __name__ == "__main__":
    if sys.argv[1:] == ["--check"]:
        check()
    elif sys.argv[1:] == []:
        build()
    else:
        sys.exit("usage: tools/make-page-font.py [--check]")
