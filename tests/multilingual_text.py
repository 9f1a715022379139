"""Builds a folder of real multilingual text from what installed Debian and PyPI packages ship:
glibc locale sources (their <Uxxxx> escapes spelled out), iso-codes tables, compiled gettext
catalogues, docutils' language modules. Nothing of it is committed; run it as
`python tests/multilingual_text.py OUT_DIR` to look at the folder.
"""

from __future__ import annotations

import gettext
import importlib.util
import re
import sys
from pathlib import Path
from typing import Iterator, Tuple

FILE_BYTES = 48 * 1024  # texts are cut into files of about this size...
TOTAL_BYTES = 3 * 1024 * 1024  # ...and the folder stops growing here

_ESCAPE = re.compile(r"<U([0-9A-Fa-f]{4,6})>")


def _spell_escapes(text: str) -> str:
    def char(m: "re.Match[str]") -> str:
        cp = int(m[1], 16)
        return chr(cp) if cp <= 0x10FFFF and not 0xD800 <= cp <= 0xDFFF else m[0]
    return _ESCAPE.sub(char, text)


def _locales() -> Iterator[Tuple[str, str]]:
    folder = Path("/usr/share/i18n/locales")
    for path in sorted(folder.glob("*")) if folder.is_dir() else []:
        if path.is_file():
            yield f"locale-{path.name}", _spell_escapes(path.read_text(encoding="utf-8", errors="replace"))


def _iso_codes() -> Iterator[Tuple[str, str]]:
    folder = Path("/usr/share/iso-codes/json")
    for path in sorted(folder.glob("*.json")) if folder.is_dir() else []:
        yield f"iso-{path.stem}", path.read_text(encoding="utf-8")


def _catalogues() -> Iterator[Tuple[str, str]]:
    for path in sorted(Path("/usr/share/locale").glob("*/LC_MESSAGES/*.mo")):
        try:
            with path.open("rb") as f:
                catalogue = gettext.GNUTranslations(f)
        except Exception:  # unreadable, or in a charset or format gettext does not take
            continue
        messages = [m for m in catalogue._catalog.values() if isinstance(m, str) and m]  # type: ignore[attr-defined]
        if messages:
            yield f"mo-{path.parts[-3]}-{path.stem}", "\n".join(messages) + "\n"


def _docutils() -> Iterator[Tuple[str, str]]:
    found = importlib.util.find_spec("docutils")
    if found is None or not found.submodule_search_locations:
        return
    root = Path(list(found.submodule_search_locations)[0])
    for path in sorted(root.glob("**/languages/*.py")):
        yield f"docutils-{path.parent.parent.name}-{path.stem}", path.read_text(encoding="utf-8")


SOURCES = (_locales, _iso_codes, _catalogues, _docutils)


def build(out: Path) -> int:
    """Writes the folder; returns the number of files (0 when no source is installed). Each
    source gets an equal share, so that no one of them fills the folder alone."""
    out.mkdir(parents=True, exist_ok=True)
    files = 0
    share = TOTAL_BYTES // len(SOURCES)
    for source in SOURCES:
        written = 0
        for name, text in source():
            if written >= share:
                break
            data = text.encode("utf-8", errors="surrogateescape")[:FILE_BYTES]
            data = data.decode("utf-8", errors="ignore").encode("utf-8")  # whole characters only
            if not data.strip():
                continue
            (out / f"{files:04d}-{re.sub(r'[^A-Za-z0-9_.-]', '_', name)}.txt").write_bytes(data)
            files += 1
            written += len(data)
    return files


if __name__ == "__main__":
    print(build(Path(sys.argv[1])), "files")
