"""Small file helpers shared by the case-local scripts."""

import json
import os
import tempfile


def write_json(path, data):
    """Writes JSON next to its final name and renames it into place, so that a reader
    polling the case never sees half a file."""
    directory = os.path.dirname(os.path.abspath(path))
    os.makedirs(directory, exist_ok=True)
    fd, tmp = tempfile.mkstemp(prefix=".tmp_", suffix=".json", dir=directory)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            json.dump(data, f, indent=2)
            f.write("\n")
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def read_text(path):
    """A log as text; bytes that are not UTF-8 (tools sometimes print them) are dropped."""
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="ignore")


def existing(case_dir, relative_paths):
    """The case-relative paths, in the given order, that exist as a file or directory."""
    return [p for p in relative_paths if os.path.exists(os.path.join(case_dir, p))]
