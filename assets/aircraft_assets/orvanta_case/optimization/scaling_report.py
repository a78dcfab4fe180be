"""reports/script_run_dafoam/driver_scaling_report.html: what the optimizer works with, in
its units and in the physical ones. Every variable x is scaled as (x - baseline) / scale,
the objective as CD / CD_baseline, the lift constraint as (CL - target) / scale; the
geometric constraints are ratios to the baseline already."""

import html
import os

REPORT = os.path.join("reports", "script_run_dafoam", "driver_scaling_report.html")

_STYLE = """body { font-family: sans-serif; margin: 2em; color: #222; }
table { border-collapse: collapse; margin-bottom: 2em; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.7em; text-align: right; }
th { background: #eee; } td.name { text-align: left; font-family: monospace; }
caption { text-align: left; font-weight: bold; margin-bottom: 0.4em; }"""


def _table(caption, header, rows):
    head = "".join(f"<th>{html.escape(h)}</th>" for h in header)
    body = ""
    for row in rows:
        cells = "".join(f'<td class="name">{html.escape(str(c))}</td>' if i == 0 else
                        f"<td>{html.escape(_text(c))}</td>" for i, c in enumerate(row))
        body += f"<tr>{cells}</tr>\n"
    return f"<table><caption>{html.escape(caption)}</caption>\n<tr>{head}</tr>\n{body}</table>\n"


def _text(value):
    if isinstance(value, float):
        return f"{value:.6g}"
    return str(value)


def write_report(case_dir, problem, optimizer, conditions, gradient_text):
    space, geometric = problem.space, problem.geometric
    lo, hi = space.bounds()
    variables = [(v.name, v.parameter, v.baseline, v.lower, v.upper, v.half_width, l, h,
                  problem.fd_step * v.half_width)
                 for v, l, h in zip(space.variables, lo, hi)]
    constraint_rows = [("lift coefficient", "equality", problem.lift_target, problem.lift_scale,
                        "(CL - target) / scale = 0")]
    for label, bound in zip(geometric.labels, geometric.lower_bounds()):
        constraint_rows.append((label, "lower bound", bound, 1.0, "ratio to baseline - bound >= 0"))
    disabled = ", ".join(g.replace("_", " ") for g in geometric.disabled) or "none"
    body = (
        f"<h1>Optimization problem and scaling</h1>\n"
        f"<p>Optimizer {html.escape(optimizer)}. Minimise CD at CL = {problem.lift_target:g}; "
        f"{html.escape(conditions)}. Gradients: {html.escape(gradient_text)}.</p>\n"
        + _table("Design variables", ["variable", "parameter", "baseline", "lower", "upper", "scale",
                                      "scaled lower", "scaled upper", "finite-difference step"], variables)
        + _table("Objective", ["function", "baseline", "scale", "scaled form"],
                 [("CD", problem.cd0, problem.cd0 / problem.objective_scale, "CD / scale")])
        + _table("Constraints", ["constraint", "kind", "bound", "scale", "scaled form"], constraint_rows)
        + f"<p>Disabled constraint groups (negative bound): {html.escape(disabled)}.</p>\n")
    path = os.path.join(case_dir, REPORT)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Optimization scaling</title>"
                f"<style>{_STYLE}</style></head><body>\n{body}</body></html>\n")
    return path


def read_report_tables(path):
    """The report's tables as {caption: [row dicts]}: what the metrics writer and tests read."""
    from html.parser import HTMLParser

    class Tables(HTMLParser):
        def __init__(self):
            super().__init__()
            self.tables, self.caption, self.row, self.cell, self.header = {}, None, None, None, None

        def handle_starttag(self, tag, attrs):
            if tag == "table":
                self.caption, self.header = "", None
            elif tag in ("td", "th", "caption"):
                self.cell = ""
            elif tag == "tr":
                self.row = []

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data

        def handle_endtag(self, tag):
            if tag == "caption":
                self.caption, self.cell = self.cell, None
                self.tables[self.caption] = []
            elif tag in ("td", "th"):
                self.row.append(self.cell)
                self.cell = None
            elif tag == "tr":
                if self.header is None:
                    self.header = self.row
                else:
                    self.tables[self.caption].append(dict(zip(self.header, self.row)))

    parser = Tables()
    with open(path, encoding="utf-8") as f:
        parser.feed(f.read())
    return parser.tables
