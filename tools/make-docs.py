#!/usr/bin/python3
"""Makes the pictures of docs/ that the native tools draw, as docs/pictures.txt lists them.

    tools/make-docs.py --replay TOOL --gallery TOOL            rewrites them in docs/
    tools/make-docs.py --replay TOOL --gallery TOOL --check    makes them in a scratch folder and
                                                               fails when one differs from docs/

The check compares pixels, not bytes, and also fails for a picture in docs/ that no line of
docs/pictures.txt makes. Pictures of the browser page ("page") are left to
tools/web-test/docs-page.mjs; "kept" pictures (records of an earlier build) are not made. Run with Debian's Python (python3-pil); `make docs` runs it.
"""
import argparse
import pathlib
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
RECIPES = DOCS / "pictures.txt"
GAP = 6  # white pixels between the screenshots of a strip


def recipes():
    """(picture, kind, arguments) for every line of docs/pictures.txt."""
    lines = []
    for number, line in enumerate(RECIPES.read_text(encoding="utf-8").splitlines(), 1):
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        if len(words) < 2 or words[1] not in ("replay", "loop", "gallery", "tool", "page", "kept"):
            sys.exit(f"{RECIPES}:{number}: expected 'NAME.png replay|gallery|tool|page|kept ...'")
        if words[1] == "kept" and len(words) < 3:
            sys.exit(f"{RECIPES}:{number}: a kept picture says why it cannot be made again")
        if words[1] == "tool" and len(words) != 3:
            sys.exit(f"{RECIPES}:{number}: a tool picture names one program")
        if words[1] == "replay" and len(words) < 4:
            sys.exit(f"{RECIPES}:{number}: a replay picture names a script and a screenshot")
        if words[1] == "loop" and (len(words) < 4 or not all(w.isdigit() for w in words[3:])):
            sys.exit(f"{RECIPES}:{number}: a loop picture names a script and frame numbers")
        lines.append((words[0], words[1], words[2:]))
    return lines


def run(command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"make-docs: {' '.join(command)} failed:\n{result.stdout}{result.stderr}")


def make(picture, kind, arguments, tools, out, scratch):
    from PIL import Image

    target = out / picture
    if kind == "gallery":
        run([tools.gallery, *arguments, "--out", str(target)])
    elif kind == "tool":
        program = str(ROOT / arguments[0])
        prefix = [sys.executable] if program.endswith(".py") else []
        run([*prefix, program, tools.replay, str(target)])
    elif kind in ("replay", "loop"):
        script, shots = arguments[0], arguments[1:]
        folder = scratch / picture
        if kind == "replay":
            run([tools.replay, str(ROOT / script), "--out", str(folder)])
            files = [folder / f"{shot}.png" for shot in shots]
        else:
            run([tools.replay, str(ROOT / script), "--frames", str(folder)])
            files = [folder / f"frame-{int(shot):03d}.png" for shot in shots]
        images = [Image.open(path).convert("RGB").reduce(2) for path in files]
        width = sum(image.width for image in images) + GAP * (len(images) - 1)
        strip = Image.new("RGB", (width, max(image.height for image in images)), "white")
        x = 0
        for image in images:
            strip.paste(image, (x, 0))
            x += image.width + GAP
        strip.save(target, optimize=True)


def pixels(path):
    from PIL import Image

    with Image.open(path) as image:
        return image.size, image.convert("RGB").tobytes()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--replay", required=True)
    parser.add_argument("--gallery", required=True)
    parser.add_argument("--check", action="store_true")
    tools = parser.parse_args()
    try:
        import PIL  # noqa: F401
    except ImportError:
        sys.exit("make-docs: Python's imaging library is missing (Debian: python3-pil; make deps)")
    lines = recipes()
    native = [line for line in lines if line[1] not in ("page", "kept")]
    with tempfile.TemporaryDirectory() as scratch_name:
        scratch = pathlib.Path(scratch_name)
        out = scratch / "out" if tools.check else DOCS
        out.mkdir(exist_ok=True)
        for picture, kind, arguments in native:
            make(picture, kind, arguments, tools, out, scratch)
            if not tools.check:
                print(f"docs/{picture}")
        if not tools.check:
            return
        problems = []
        listed = {picture for picture, _, _ in lines}
        for stray in sorted(path.name for path in DOCS.glob("*.png") if path.name not in listed):
            problems.append(f"docs/{stray}: no line of docs/pictures.txt makes it")
        for picture, _, _ in native:
            committed = DOCS / picture
            if not committed.exists():
                problems.append(f"docs/{picture}: missing")
            elif pixels(committed) != pixels(out / picture):
                problems.append(f"docs/{picture}: differs from what make docs makes now")
        if problems:
            sys.exit("\n".join(problems) + "\nRun make docs, look at the pictures, commit them.")
        print(f"the {len(native)} pictures of the native tools in docs/ are up to date")


if __name__ == "__main__":
    main()
