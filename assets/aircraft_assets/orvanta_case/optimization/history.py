"""OptView.hst: the optimization history, an SQLite database.

Tables:
  meta        key -> JSON value: the problem (design variables with ranges and scaling,
              constraints, flow conditions, optimizer), and at the end the exit status,
              the primal-solve count and the wall time.
  evaluations one row per design whose flow was solved (not the finite-difference
              perturbations): design variables, CD, CL, CM, the averaging window's spread,
              the scaled objective and constraints, feasibility, solve statistics.
  gradients   one row per design whose gradient was computed: method, values, cost.
  iterations  one row per major iteration of the optimizer: the design it accepted, its
              feasibility and optimality.

Every value that is not a plain number is stored as JSON text. The driver writes the file
as the run goes, so a run that stops early still leaves the history up to that point.
"""

import json
import os
import sqlite3

SCHEMA = """
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE evaluations (
    id INTEGER PRIMARY KEY, design TEXT NOT NULL, x TEXT NOT NULL, angle_of_attack REAL,
    cd REAL, cl REAL, cm REAL, cd_std REAL, cl_std REAL, objective REAL, constraints TEXT,
    geometry TEXT, feasibility REAL, primal_converged INTEGER, primal_iterations INTEGER,
    primal_seconds REAL, primal_solves INTEGER, wall_time REAL);
CREATE TABLE gradients (
    evaluation INTEGER PRIMARY KEY REFERENCES evaluations(id), method TEXT, objective TEXT,
    constraints TEXT, steps TEXT, solves INTEGER, seconds REAL, primal_solves INTEGER);
CREATE TABLE iterations (
    major INTEGER PRIMARY KEY, evaluation INTEGER REFERENCES evaluations(id), objective REAL,
    cd REAL, cl REAL, angle_of_attack REAL, feasibility REAL, optimality REAL,
    primal_solves INTEGER, wall_time REAL);
"""


def _json(value):
    return json.dumps(value)


class HistoryWriter:
    def __init__(self, path):
        if os.path.exists(path):
            os.remove(path)
        self.db = sqlite3.connect(path)
        self.db.executescript(SCHEMA)
        self.db.commit()

    def set_meta(self, **values):
        for key, value in values.items():
            self.db.execute("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)", (key, _json(value)))
        self.db.commit()

    def add_evaluation(self, record):
        """Stores an evaluation (a dict of the table's columns, lists and dicts as they are);
        returns its id."""
        columns = [c for c in record if c != "id"]
        values = [_json(record[c]) if isinstance(record[c], (list, dict)) else record[c] for c in columns]
        cursor = self.db.execute(f"INSERT INTO evaluations ({', '.join(columns)}) VALUES "
                                 f"({', '.join('?' * len(columns))})", values)
        self.db.commit()
        return cursor.lastrowid

    def add_gradient(self, evaluation, method, objective, constraints, steps, solves, seconds, primal_solves):
        self.db.execute("INSERT OR REPLACE INTO gradients VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                        (evaluation, method, _json(list(objective)), _json([list(r) for r in constraints]),
                         _json(list(steps)), solves, seconds, primal_solves))
        self.db.commit()

    def add_iteration(self, major, evaluation, objective, cd, cl, angle_of_attack, feasibility, optimality,
                      primal_solves, wall_time):
        self.db.execute("INSERT OR REPLACE INTO iterations VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                        (major, evaluation, objective, cd, cl, angle_of_attack, feasibility, optimality,
                         primal_solves, wall_time))
        self.db.commit()

    def set_optimality(self, evaluation, optimality):
        """Fills in the optimality of iterations at a design once its gradient is known."""
        self.db.execute("UPDATE iterations SET optimality = ? WHERE evaluation = ? AND optimality IS NULL",
                        (optimality, evaluation))
        self.db.commit()

    def close(self):
        self.db.close()


def _decoded(row, json_columns):
    return {k: (json.loads(row[k]) if k in json_columns and row[k] is not None else row[k]) for k in row.keys()}


def read_history(path):
    """{"meta": {...}, "evaluations": [...], "gradients": [...], "iterations": [...]}, rows
    as dicts in id / iteration order. A missing file is a FileNotFoundError; a file that is
    not this history is a ValueError."""
    if not os.path.isfile(path):
        raise FileNotFoundError(f"{path} does not exist")
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    db.row_factory = sqlite3.Row
    try:
        meta = {row["key"]: json.loads(row["value"]) for row in db.execute("SELECT key, value FROM meta")}
        evaluations = [_decoded(r, {"design", "x", "constraints", "geometry"})
                       for r in db.execute("SELECT * FROM evaluations ORDER BY id")]
        gradients = [_decoded(r, {"objective", "constraints", "steps"})
                     for r in db.execute("SELECT * FROM gradients ORDER BY evaluation")]
        iterations = [dict(r) for r in db.execute("SELECT * FROM iterations ORDER BY major")]
    except sqlite3.DatabaseError as error:
        raise ValueError(f"{path} is not an optimization history: {error}") from error
    finally:
        db.close()
    return {"meta": meta, "evaluations": evaluations, "gradients": gradients, "iterations": iterations}
