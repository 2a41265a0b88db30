#!/usr/bin/env python3
"""Fails when a file in src/ includes code from a layer above its own (docs/architecture.md).

Every project include is rooted at src/ ("services/Error.h"), so its first folder names its layer.
A file may include its own folder and any folder of a lower layer; folders that share a layer (the
four guests; the UI and the command line) may not include one another.
"""
import re
import sys
from pathlib import Path

LAYERS = {
    "platform": 0,
    "services": 1,
    "preferences": 2,
    "android": 3,
    "ios": 3,
    "linux": 3,
    "windows": 3,
    "ui": 4,
    "cli": 4,
    "app": 5,
}

INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"]+)"', re.MULTILINE)


def violations(src: Path):
    for path in sorted(src.rglob("*")):
        if path.suffix not in {".h", ".cpp"}:
            continue
        relative = path.relative_to(src)
        folder = relative.parts[0]
        if folder not in LAYERS:
            yield f"{relative}: the folder {folder}/ has no layer; add it to the table"
            continue
        text = path.read_text(encoding="utf-8")
        for match in INCLUDE.finditer(text):
            target = match.group(1).split("/")[0]
            line = text.count("\n", 0, match.start()) + 1
            if target not in LAYERS:
                yield f'{relative}:{line}: "{match.group(1)}" is not rooted at src/'
            elif target != folder and LAYERS[target] >= LAYERS[folder]:
                yield f'{relative}:{line}: {folder}/ may not include "{match.group(1)}"'


def main():
    src = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src"
    found = list(violations(src))
    for violation in found:
        print(violation)
    if found:
        print(f"{len(found)} include(s) against the layer order "
              "platform < services < preferences < guests < ui, cli < app")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
