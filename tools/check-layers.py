#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer that depends on its own.

The layers, in order: base/, raster/, geometry/, app/, platform/, tools/. A
folder may include its own layer and the layers listed before it, never one
listed after it. The shell declares what it needs from an operating system in
app/platform.h, which the backends of platform/ implement, so that arrow too
points downward. tests/, bench/ and examples/ may include anything.

Usage: check-layers.py [ROOT]  (default: the repository holding this script).
Prints one line per offending include, FILE:LINE: ..., and exits 1 if any.
"""

import pathlib
import re
import sys

LAYERS = ["base", "raster", "geometry", "app", "platform", "tools"]
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(relative_path):
    top = relative_path.split("/", 1)[0]
    return LAYERS.index(top) if top in LAYERS else None


def check(root):
    faults = []
    for layer in LAYERS:
        folder = root / layer
        if not folder.is_dir():
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            relative = path.relative_to(root).as_posix()
            own = LAYERS.index(layer)
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), start=1):
                match = INCLUDE.match(line)
                if match is None:
                    continue
                target = match.group(1)
                target_layer = layer_of(target)
                if target_layer is None or target_layer <= own:
                    continue
                faults.append(
                    f"{relative}:{number}: {layer}/ may not include {target}: "
                    f"{LAYERS[target_layer]}/ comes after {layer}/ in the layer order"
                )
    return faults


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    faults = check(root.resolve())
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) against the layer order "
              f"{', '.join(LAYERS)}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
