"""Deterministic benchmark corpora, generated from seeded word lists (nothing is downloaded).

    python bench/corpora.py [--size-mb 10] [--out bench/corpora]

writes one UTF-8 file per corpus (and the NFD form of each) and can be imported:
`corpora.build(name, size_bytes)` returns the text of one corpus.
"""

from __future__ import annotations

import argparse
import random
import unicodedata
from pathlib import Path

ENGLISH = """the of and to in is that it was for on are with as his they at be this from have or
by one had not but what all were when we there can an your which their said if do will each
about how up out them then she many some so these would other into has more her two like him
see time could no make than first been its who now people my made over did down only way find
use may water long little very after words called just where most know get through back much
before go good new write our used me man too any day same right look think also around another
came come work three word must because does part even place well such here take why things
help put years different away again off went old number great tell men say small every found
still between name should home big give air line set own under read last never us left end
along while might next sound below saw something thought both few those always looked show
large often together asked house world going want school important until form food keep
children feet land side without boy once animals life enough took sometimes four head above
kind began almost live page got earth need far hand high year mother light parts country
father let night following picture being study second eyes soon times story boys since white
days ever paper hard near sentence better best across during today others however sure means
knew its try told young miles sun ways thing whole hear example heard several change answer
room sea against top turned learn point city play toward five using himself usually""".split()

FRENCH = "été où déjà très français garçon fenêtre naïve cœur élève œuvre hôpital forêt crème brûlée château".split()
GERMAN = "Straße Mädchen Übung größer schön Füße Ärger Köln über Grüße fließen Bär Löwe müssen".split()
POLISH = "zażółć gęślą jaźń łódź źródło świat książka później mężczyzna pięć żółty".split()
SPANISH = "niño señor años mañana corazón canción pequeño España información árbol".split()
CZECH = "příliš žluťoučký kůň úpěl ďábelské ódy čeština řeka šťastný dítě".split()
CYRILLIC = "привет мир язык книга время человек работа жизнь город вопрос дорога ответ".split()
CJK = list("中文字符的世界人民大学生时间问题我们这个那样东西日本語漢字") + ["한국어", "문자"]

LLM_SPICE = [
    "\u201c", "\u201d", "\u2018", "\u2019", " \u2014 ", "\u2013", "\u00a0", "\u202f", "\u200b",
    "\u00ad", "\u2026", "\u2022 ", "\U0001F600", "\U0001F44D\U0001F3FD",
    "\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F1EB\U0001F1F7", "\u2764\uFE0F",
]


def _prose(rng: random.Random, size: int, words: list[str], extra: list[str] | None = None,
           extra_rate: float = 0.0, trailing_rate: float = 0.0) -> str:
    out: list[str] = []
    total = 0
    sentence_len = 0
    while total < size:
        w = rng.choice(words)
        if extra and rng.random() < extra_rate:
            w = rng.choice(extra)
        if sentence_len == 0:
            w = w[:1].upper() + w[1:]
        piece = w
        sentence_len += 1
        if sentence_len > rng.randint(8, 18):
            piece += "."
            sentence_len = 0
            if rng.random() < 0.2:
                piece += (" " * (rng.random() < trailing_rate)) + "\n"
            else:
                piece += " "
        else:
            piece += " "
        out.append(piece)
        total += len(piece.encode("utf-8"))
    return "".join(out)


def _llm(rng: random.Random, size: int) -> str:
    base = _prose(rng, size, ENGLISH, trailing_rate=0.5)
    parts: list[str] = []
    for word in base.split(" "):
        if rng.random() < 0.08:
            spice = rng.choice(LLM_SPICE)
            if spice in ("\u201c", "\u2018"):
                word = spice + word + ("\u201d" if spice == "\u201c" else "\u2019")
            else:
                word = word + spice
        parts.append(word)
    return " ".join(parts)


CORPORA = ("ascii", "llm", "european", "cjk_cyrillic")


def build(name: str, size: int, seed: int = 2026) -> str:
    rng = random.Random(f"{name}:{seed}")
    if name == "ascii":
        return _prose(rng, size, ENGLISH)
    if name == "llm":
        return _llm(rng, size)
    if name == "european":
        return _prose(rng, size, ENGLISH, FRENCH + GERMAN + POLISH + SPANISH + CZECH, extra_rate=0.35)
    if name == "cjk_cyrillic":
        return _prose(rng, size, CYRILLIC + CJK)
    if name.endswith("_nfd"):
        return unicodedata.normalize("NFD", build(name[:-4], size, seed))
    raise ValueError(f"unknown corpus {name!r}")


def all_names() -> list[str]:
    return list(CORPORA) + [f"{n}_nfd" for n in CORPORA if n != "ascii"]


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--size-mb", type=float, default=10.0)
    p.add_argument("--out", type=Path, default=Path(__file__).resolve().parent / "corpora")
    args = p.parse_args()
    args.out.mkdir(parents=True, exist_ok=True)
    size = int(args.size_mb * 1_000_000)
    for name in all_names():
        path = args.out / f"{name}.txt"
        path.write_text(build(name, size), encoding="utf-8", newline="")
        print(f"{path}  {path.stat().st_size / 1e6:.1f} MB")


if __name__ == "__main__":
    main()
