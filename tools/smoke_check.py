"""Smoke test of an installed scrubix wheel (run by tools/smoke_pythons.sh in each venv)."""

import pickle
import sys
import threading

import scrubix
from scrubix import Cleaner, CleaningResult, Options

assert sys.prefix != sys.base_prefix, "not running in a virtual environment"
ext = scrubix._scrubix.__file__
assert ext.startswith(sys.prefix) and ext.endswith(".abi3.so"), ext
assert scrubix.__version__ == "0.2.0" and scrubix.HAS_STATS and not scrubix.HAS_SECURITY

assert scrubix.clean("Caf\u00e9 \u2014 \u201chi\u201d  ") == 'Cafe - "hi"'
assert scrubix.clean("Stra\u00dfe") == "Strasse"
assert scrubix.humanize("a\u00a0\u00a0b \ufb01") == "a b fi"

cleaner = Cleaner(Options.aggressive_preset())
result = cleaner.clean("x\u2026 \U0001F600\r\n")
assert isinstance(result, CleaningResult) and result.text == "x...\n", repr(result.text)
assert result.changes_made == sum(result.stats.values()) == 4, result.stats
assert list(result.stats)[6] == "other_normalized"

options = Options.code_safe_preset().replace(keep_emoji=False, line_endings="crlf")
assert pickle.loads(pickle.dumps(options)) == options
restored = pickle.loads(pickle.dumps(Cleaner(options)))
assert repr(restored) == "Cleaner(keyboard_only=false, emoji_policy='drop')"
assert restored.clean("a\nb").text == "a\r\nb"

try:
    scrubix.clean("\ud800")
except UnicodeEncodeError:
    pass
else:
    raise AssertionError("a lone surrogate was accepted")

texts = ["\u00e9\u0301 \u2014 %d" % i for i in range(200)]
expected = [scrubix.clean(t) for t in texts]
errors = []


def work():
    if [scrubix.clean(t) for t in texts] != expected:
        errors.append("thread result differs")


threads = [threading.Thread(target=work) for _ in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
assert not errors, errors
print("import, clean, humanize, Cleaner, pickle, threads")
