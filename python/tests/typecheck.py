"""Type-checks the README's Python examples and the Python tests with `mypy --strict` against the
package's stub. Usage: typecheck.py PACKAGE_ROOT README TEST_FOLDER (PACKAGE_ROOT holds modelfactory/)."""
import os
import pathlib
import re
import subprocess
import sys
import tempfile


def main() -> int:
    package_root, readme, tests = (pathlib.Path(a) for a in sys.argv[1:4])
    blocks = re.findall(r"```python\n(.*?)```", readme.read_text(encoding="utf-8"), re.S)
    assert blocks, "the README has no Python example"
    with tempfile.TemporaryDirectory(prefix="modelfactory-mypy-") as folder:
        # The README's blocks read as one script: later ones use what earlier ones made.
        example = pathlib.Path(folder) / "readme_examples.py"
        example.write_text("\n".join(blocks), encoding="utf-8")
        files = [str(example)]
        files += sorted(str(p) for p in tests.glob("*.py"))
        # Biopython ships no types: what the tests do with it is checked when they run.
        config = pathlib.Path(folder) / "mypy.ini"
        config.write_text("[mypy]\n[mypy-Bio.*]\nignore_missing_imports = True\n", encoding="utf-8")
        env = dict(os.environ, MYPYPATH=str(package_root))
        command = [sys.executable, "-m", "mypy", "--strict", "--config-file", str(config), "--no-incremental",
                   "--cache-dir", os.devnull, *files]
        done = subprocess.run(command, env=env)
        return done.returncode


if __name__ == "__main__":
    sys.exit(main())
