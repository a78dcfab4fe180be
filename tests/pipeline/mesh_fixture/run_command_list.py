"""Runs the command list of a dry-run `orvanta phase ... run` in a case directory, as the
host would: one bash shell, in order, no `set -e`. With --stl the geometry export is
replaced by a copy of a fixture STL (the mesh sizing is still written from it). Each command's exit status and wall time are recorded.

Prints one JSON object: {"commands": [{"command", "status", "seconds"}], "seconds"}.
"""

import argparse
import json
import os
import subprocess
import tempfile

GEOMETRY_COMMAND = "python script_generate_geometry.py >> log_geometry.txt 2>&1"


def commands_from_dry_run(path):
    with open(path, encoding="utf-8") as f:
        dry_run = json.load(f)
    for call in dry_run["host_calls"]:
        if call["operation"] == "_execute_commands":
            return call["arguments"]["commands"]
    raise ValueError(f"{path} records no _execute_commands call")


def timed_script(commands, status_file):
    """A bash script that runs the commands in one shell and appends 'index status start end' lines."""
    lines = []
    for i, command in enumerate(commands):
        lines.append("t0=$(date +%s.%N)")
        lines.append(command)
        lines.append("rc=$?")
        lines.append(f'echo "{i} $rc $t0 $(date +%s.%N)" >> {status_file}')
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dry-run-json", required=True)
    parser.add_argument("--case-dir", required=True)
    parser.add_argument("--stl", help="fixture STL that stands in for the geometry export")
    args = parser.parse_args()

    commands = commands_from_dry_run(args.dry_run_json)
    if args.stl:
        if GEOMETRY_COMMAND not in commands:
            raise ValueError("the command list has no geometry export to replace")
        stl = os.path.abspath(args.stl)
        # The fixture replaces the export only: the mesh sizing is still measured on it.
        commands = [f"cp {stl} aircraft.stl >> log_geometry.txt 2>&1 && "
                    f"python script_generate_geometry.py --sizing-only >> log_geometry.txt 2>&1"
                    if c == GEOMETRY_COMMAND else c for c in commands]

    with tempfile.TemporaryDirectory() as tmp:
        status_file = os.path.join(tmp, "status.txt")
        script = os.path.join(tmp, "commands.sh")
        with open(script, "w", encoding="utf-8") as f:
            f.write(timed_script(commands, status_file))
        subprocess.run(["bash", script], cwd=args.case_dir, check=False)
        with open(status_file, encoding="utf-8") as f:
            rows = [line.split() for line in f if line.strip()]
    results = [{"command": commands[int(i)], "status": int(rc), "seconds": round(float(t1) - float(t0), 3)}
               for i, rc, t0, t1 in rows]
    print(json.dumps({"commands": results, "seconds": sum(r["seconds"] for r in results)}, indent=1))


if __name__ == "__main__":
    main()
