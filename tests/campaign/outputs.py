"""What a campaign run leaves, to compare two runs: every output in the
output folder with the times of analyses masked (the one thing a rerun and
a clean run may differ in), and the store's views.

As a command: python3 outputs.py OUT CLEAN says how the two output folders
differ, if they do, and ends with status 1 then."""
import os
import re
import sqlite3
import sys

TIME = re.compile(rb"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")


def snapshot(out, views=True):
    """views: also the views of the output folder's SQLite store."""
    shot = {}
    for folder, _, names in os.walk(out):
        for name in names:
            if name.startswith("campaign.sqlite"):
                continue
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                shot[os.path.relpath(path, out)] = TIME.sub(b"TIME", f.read())
    if not views:
        return shot
    db = sqlite3.connect(os.path.join(out, "campaign.sqlite"))
    db.text_factory = bytes
    for view, columns in (
            # An analysis's own log_written says whether it once wrote the
            # log; summary.csv says whether the log holds its table now.
            ("latest_analyses", "path, chip, config, status, worst_channel, worst_abs_mean_ratio,"
                                " train_rows"),
            ("current_measurements", "chip, config, path, grade, worst_channel"),
            ("latest_ratios", "path, peak, channel, ratio")):
        try:
            rows = db.execute("SELECT %s FROM %s ORDER BY 1, 2, 3" % (columns, view)).fetchall()
        except sqlite3.OperationalError as error:
            rows = str(error)
        shot["view " + view] = repr(rows).encode()
    db.close()
    return shot


def differences(first, second, names=("incremental", "clean")):
    lines = []
    for name in sorted(set(first) | set(second)):
        a, b = first.get(name), second.get(name)
        if a == b:
            continue
        if a is None or b is None:
            lines.append("%s: only in the %s run" % (name, names[0] if b is None else names[1]))
            continue
        a_lines, b_lines = a.split(b"\n"), b.split(b"\n")
        at = next((i for i, (x, y) in enumerate(zip(a_lines, b_lines)) if x != y),
                  min(len(a_lines), len(b_lines)))
        lines.append("%s, line %d:\n  %s: %r\n  %s: %r" % (
            name, at + 1, names[0], (a_lines + [b""])[at][:300], names[1],
            (b_lines + [b""])[at][:300]))
    return lines


if __name__ == "__main__":
    found = differences(snapshot(sys.argv[1]), snapshot(sys.argv[2]))
    print("\n".join(found[:12]) + ("\n(and %d more)" % (len(found) - 12) if len(found) > 12 else ""))
    sys.exit(1 if found else 0)
