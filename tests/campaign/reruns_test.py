#!/usr/bin/env python3
"""Incremental equals clean, over random histories.

A campaign of a few hundred files changes at random between runs: files
are added, deleted, renamed (which may change the time in their names),
rewritten and retested, files appear half written (the robot still at
work; runs wait an hour for such a file to rest), logs are emptied or
rewritten by another program, outputs are deleted, and the runs themselves
change the grade limits and ratios.csv, write no logs, and are stopped by
Ctrl-C, SIGTERM or SIGKILL at any moment: at a random step (the campaign's
stop points) or after a random time. After each round one complete normal
run must leave exactly what a --force run over the same files writes into a
fresh output folder: the logs, every table, page and map, the set of files
in the output folder and the store's views. Only the times of analyses may
differ.

usage: reruns_test.py QAVREL_CAMPAIGN QAVREL_GEN [EMULATOR...]
  QAVREL_RERUNS_SEED=N    the seed (default 1); each seed is another history
  QAVREL_RERUNS_ROUNDS=N  rounds of changes and runs (default 24)
  QAVREL_RERUNS_FILES=N   data files to start with (default 240)
  QAVREL_RERUNS_KEEP=1    keep the working folder, and say where it is
  QAVREL_RERUNS_STORE=URL the runs keep their analyses in this PostgreSQL
                          database (--store), the clean ones in SQLite; the
                          outputs and logs are compared, not the stores
"""
import gzip
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import outputs  # noqa: E402

# A file that looks unfinished rests an hour before it is graded, so that
# which files are still being written can't differ between the two runs.
campaign = sys.argv[3:] + [os.path.realpath(sys.argv[1]), "--settle", "3600"]
generator = sys.argv[3:] + [os.path.realpath(sys.argv[2])]
seed = int(os.environ.get("QAVREL_RERUNS_SEED", "1"))
rounds = int(os.environ.get("QAVREL_RERUNS_ROUNDS", "24"))
start_files = int(os.environ.get("QAVREL_RERUNS_FILES", "240"))
keep = os.environ.get("QAVREL_RERUNS_KEEP") == "1"
shared_store = os.environ.get("QAVREL_RERUNS_STORE")
rng = random.Random(seed)

work = tempfile.mkdtemp(prefix="qavrel_reruns_")
tree = os.path.join(work, "tree")
os.makedirs(tree)

CONFIGS = ["20mV_calib-odd", "20mV_calib-even", "40mV_calib-odd"]
GRADES = ["1%,2%,5%", "0.5%,1%,2%", "0.3%,0.6%,1.5%", "1%,3%,5%"]
# Ends a run may have: complete (0, or 1 with failures), or stopped.
STOPPED = {130, 143, -signal.SIGKILL, -signal.SIGINT, -signal.SIGTERM}


def generate(*options):
    return subprocess.run(generator + list(options), check=True, stdout=subprocess.PIPE).stdout


def make_pool():
    """Sample texts of every kind a campaign meets, to copy files from."""
    pool = []
    for level in (0.003, 0.008, 0.015, 0.03, 0.045, 0.08):
        for parity in ("odd", "even"):
            pool.append(generate("--trains", "1", "--cross-talk", str(level), "--parity", parity,
                                 "--seed", str(len(pool) + 1)))
    pool.append(generate("--trains", "0", "--cut", "120"))  # no data
    cut = generate("--trains", "1", "--cut", "150", "--cross-talk", "0.01")
    pool.append(cut)  # a train cut short
    pool.append(cut[: len(cut) // 2] + b" 12 ?? 7\n" + cut[len(cut) // 2:])  # damaged
    return pool


POOL = make_pool()
clock = [1_700_000_000 * 10**9]


def stamp(path):
    """Gives the file a modification time no other write had, as a robot's
    files have: the campaign tells a rewrite by size and time."""
    clock[0] += 10**9
    os.utime(path, ns=(clock[0], clock[0]), follow_symlinks=False)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if path.endswith(".gz"):
        text = gzip.compress(text, mtime=0)
    elif path.endswith(".zst"):
        text = subprocess.run(["zstd", "-q", "-c"], input=text, check=True,
                              stdout=subprocess.PIPE).stdout
    with open(path, "wb") as out:
        out.write(text)
    stamp(path)


def data_files():
    found = []
    for folder, _, names in os.walk(tree):
        found += [os.path.join(folder, n) for n in names if "_adc.txt" in n]
    return sorted(found)


def logs():
    found = []
    for folder, _, names in os.walk(tree):
        found += [os.path.join(folder, n) for n in names if n.endswith(".log")]
    return sorted(found)


def chip_name():
    # Now and then a name that is not UTF-8, or that holds a space.
    kind = rng.random()
    number = str(100000 + rng.randrange(400))
    if kind < 0.03:
        return b"\xe9".decode("utf-8", "surrogateescape") + number
    if kind < 0.05:
        return number + " x"
    return number


def new_path(chip=None, config=None, folder=None):
    chip = chip or chip_name()
    config = config or rng.choice(CONFIGS)
    when = "%02d%02d%02d" % (rng.randrange(8, 18), rng.randrange(60), rng.randrange(60))
    if folder is None:
        folder = os.path.join(tree, "202612%02d" % rng.randrange(1, 28), when + "_vemra" + chip)
    ending = rng.choice(["", "", "", "", "", ".gz", ".zst"])
    name = "%s_vemra%s_zorik00_link00_%s_adc.txt%s" % (when, chip, config, ending)
    return os.fsencode(os.path.join(folder, name)).decode("utf-8", "surrogateescape")


def add(path=None):
    write(path or new_path(), rng.choice(POOL))


def change(step):
    """One random change of the campaign's files, logs or outputs."""
    files = data_files()
    kind = rng.choice(["add", "add", "retest", "repeat", "delete", "rename", "move", "rewrite",
                       "touch", "log", "log", "output", "writing"])
    if kind == "add" or not files:
        add()
    elif kind == "retest":
        # The same chip and configuration measured again on another day.
        name = os.path.basename(rng.choice(files))
        chip = re.search(r"_vemra([^_]+)_", name).group(1)
        config = re.search(r"link00_(.+)_adc", name).group(1)
        add(new_path(chip, config))
    elif kind == "repeat":
        # Again in the same folder: the two files share one log.
        path = rng.choice(files)
        name = os.path.basename(path)
        chip = re.search(r"_vemra([^_]+)_", name).group(1)
        config = re.search(r"link00_(.+)_adc", name).group(1)
        add(new_path(chip, config, os.path.dirname(path)))
    elif kind == "delete":
        os.remove(rng.choice(files))
    elif kind == "rename":
        path = rng.choice(files)
        name = os.path.basename(path)
        renamed = os.path.join(os.path.dirname(path), "%06d" % rng.randrange(10**6) + name[6:])
        os.rename(path, renamed)
    elif kind == "move":
        path = rng.choice(files)
        target = new_path(folder=os.path.join(tree, "202612%02d" % rng.randrange(1, 28), "moved"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        os.rename(path, os.path.join(os.path.dirname(target), os.path.basename(path)))
    elif kind == "rewrite":
        path = rng.choice(files)
        write(path, rng.choice(POOL))
    elif kind == "touch":
        stamp(rng.choice(files))
    elif kind == "writing":
        # The robot is still writing a file (a retest, now and then): cut
        # anywhere, and changed just now. Touched or rewritten later, it
        # has rested.
        text = rng.choice(POOL)
        path = rng.choice(files) if rng.random() < 0.3 else new_path()
        write(path, text[:rng.randrange(len(text) // 4, len(text))])
        os.utime(path, None, follow_symlinks=False)
    elif kind == "log" and logs():
        # Another program empties, removes or rewrites a log.
        log = rng.choice(logs())
        what = rng.random()
        if what < 0.3:
            os.remove(log)
        else:
            with open(log, "wb") as out:
                out.write(b"" if what < 0.6 else b"Peak #  not this table\n")
            stamp(log)
    elif kind == "output":
        outputs = [os.path.join(folder, n) for folder, _, names in os.walk(os.path.join(work, "out"))
                   for n in names if not n.startswith("campaign.sqlite")]
        if outputs:
            os.remove(rng.choice(outputs))


def run(out, options, stop_at=None, kill_after=None, clean=False):
    """One run of the campaign; its status (negative: the signal that ended it)."""
    if shared_store and not clean:
        options = options + ["--store", shared_store]
    environment = dict(os.environ)
    if stop_at:
        environment["QAVREL_CAMPAIGN_STOP_AT"] = stop_at
    process = subprocess.Popen(campaign + ["-q", "-o", out] + options + [tree],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=environment)
    if kill_after is not None:
        try:
            process.wait(timeout=kill_after[0])
        except subprocess.TimeoutExpired:
            process.send_signal(kill_after[1])
    try:
        _, err = process.communicate(timeout=300)
    except subprocess.TimeoutExpired:
        process.kill()
        fail("a run did not end within 300 s: " + " ".join(options))
    status = process.returncode
    # Under an emulator a signal's end shows as 128 + its number.
    if status > 128 and status - 128 in (signal.SIGKILL, signal.SIGINT, signal.SIGTERM):
        status = -(status - 128)
    if status not in (0, 1) and status not in STOPPED:
        fail("a run ended with status %d: %s\n%s" % (status, " ".join(options),
                                                        err.decode(errors="replace")))
    return status, err


def snapshot(out):
    """What a run leaves: the outputs and views, and the logs."""
    shot = outputs.snapshot(out, views=not shared_store)
    if shared_store and "report.html" in shot:
        # The one line that says where the analyses are.
        shot["report.html"] = shot["report.html"].replace(
            b"the shared results store (schema qavrel_campaign)", b"campaign.sqlite")
    for log in logs():
        with open(log, "rb") as f:
            shot["log " + log] = f.read()
    return shot


def fail(message):
    print("FAIL (seed %d): %s" % (seed, message), file=sys.stderr)
    print("the files and outputs are in " + work, file=sys.stderr)
    sys.exit(1)


def compare(incremental, clean, history):
    lines = outputs.differences(incremental, clean)
    if lines:
        fail("the incremental run differs from a clean one after:\n  " + "\n  ".join(history) +
             "\n" + "\n".join(lines[:12]) +
             ("\n(and %d more)" % (len(lines) - 12) if len(lines) > 12 else ""))


def main():
    for _ in range(start_files):
        add()
    out = os.path.join(work, "out")
    fresh = os.path.join(work, "fresh")
    started = time.time()
    left = 0  # files the complete runs left as still being written
    for round_number in range(rounds):
        history = []
        for step in range(rng.randrange(0, 6)):
            change(step)
        # A run that is stopped, or a run with other settings, first.
        options = ["--grades", rng.choice(GRADES), "-j", rng.choice(["1", "2"])]
        if rng.random() < 0.3:
            options.append("--ratios-csv")
        if rng.random() < 0.15:
            options.append("--no-logs")
        if rng.random() < 0.1:
            options.append("--force")
        how = rng.random()
        if how < 0.5:
            stop_at = "%d:%s" % (rng.randrange(1, 70), rng.choice(["KILL", "KILL", "INT", "TERM"]))
            status, _ = run(out, options, stop_at=stop_at)
            history.append("run %s stopped at step %s: status %d" % (" ".join(options), stop_at, status))
        elif how < 0.75:
            when = rng.uniform(0, 0.4)
            sent = rng.choice([signal.SIGKILL, signal.SIGINT, signal.SIGTERM])
            status, _ = run(out, options, kill_after=(when, sent))
            history.append("run %s, signal %d after %.3f s: status %d" % (" ".join(options), sent, when, status))
        else:
            status, _ = run(out, options)
            history.append("run %s: status %d" % (" ".join(options), status))
        # Then one complete run, and a clean one beside it: as often as not
        # the very command that was stopped, run again over the same files,
        # as a user does after a Ctrl-C.
        if rng.random() < 0.5:
            checked = [o for o in options if o not in ("--no-logs", "--force")]
        else:
            for step in range(rng.randrange(0, 3)):
                change(step)
            checked = ["--grades", rng.choice(GRADES), "-j", "2"]
            if rng.random() < 0.3:
                checked.append("--ratios-csv")
        status, err = run(out, checked)
        left += err.count(b"still being written")
        history.append("run %s: status %d" % (" ".join(checked), status))
        if status not in (0, 1):
            fail("a complete run was stopped: %d\n%s" % (status, err.decode(errors="replace")))
        incremental = snapshot(out)
        shutil.rmtree(fresh, ignore_errors=True)
        clean_status, clean_err = run(fresh, checked + ["--force"], clean=True)
        if clean_status != status:
            fail("the incremental run ended %d, the clean one %d\n%s\n%s" % (
                status, clean_status, err.decode(errors="replace"), clean_err.decode(errors="replace")))
        compare(incremental, snapshot(fresh), history)
    print("%d rounds over %d data files at the end (%d left along the way as still being "
          "written), seed %d: every incremental run equals a clean one (%.1f s)" % (
              rounds, len(data_files()), left, seed, time.time() - started))
    if keep:
        print("the files and outputs are in " + work)
    else:
        shutil.rmtree(work)


main()
