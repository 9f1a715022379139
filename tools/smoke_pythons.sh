#!/usr/bin/env bash
# Builds the abi3 wheel once and smoke-tests it in a fresh virtual environment of every
# CPython 3.9+ on the machine.
#
#   tools/smoke_pythons.sh [INTERPRETER ...]
#
# Without arguments the interpreters are found in pyenv (~/.pyenv/versions/3.9* to 3.13*
# and later) and as /usr/bin/python3.N. The wheel is built once with python3 (copied to
# dist/); each
# interpreter gets a venv in build/smoke/ (without pip: the builder's pip installs into it
# with --python) and runs tools/smoke_check.py from outside the repository. Prints one line
# per interpreter and fails when any of them fails.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
builder="${PYTHON:-python3}"

interpreters=("$@")
if ((${#interpreters[@]} == 0)); then
    for candidate in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.*/bin/python3 /usr/bin/python3.[0-9]*; do
        [[ -x "$candidate" && "$candidate" != *-* && "$candidate" != *d ]] || continue
        "$candidate" -c 'import sys; sys.exit(sys.version_info < (3, 9) or hasattr(sys, "gettotalrefcount"))' \
            2>/dev/null && interpreters+=("$candidate")
    done
fi
((${#interpreters[@]})) || { echo "smoke_pythons.sh: no CPython 3.9+ found" >&2; exit 2; }

# Built into a fresh folder (so no older wheel can be picked up), then copied to dist/.
fresh="$repo/build/smoke/wheel"
rm -rf "$fresh" && mkdir -p "$fresh" "$repo/dist"
"$builder" -m pip wheel --quiet --no-deps -w "$fresh" "$repo"
wheel="$(ls "$fresh"/scrubix-*.whl)"
cp "$wheel" "$repo/dist/"
echo "wheel: $(basename "$wheel")"

failed=0
for python in "${interpreters[@]}"; do
    version="$("$python" -c 'import platform; print(platform.python_version())')"
    venv="$repo/build/smoke/venv-$version-$(echo "$python" | md5sum | cut -c1-6)"
    rm -rf "$venv"
    "$python" -m venv --without-pip "$venv"
    "$builder" -m pip --python "$venv/bin/python" install --quiet --no-deps --no-index "$wheel"
    if output="$(cd /tmp && "$venv/bin/python" "$repo/tools/smoke_check.py" 2>&1)"; then
        echo "ok   CPython $version ($python): $output"
    else
        echo "FAIL CPython $version ($python):"
        echo "$output" | sed 's/^/     /'
        failed=1
    fi
done
exit "$failed"
