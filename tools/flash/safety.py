#!/usr/bin/env python3
"""Runs Vantor's renders through the flash analyser over a grid of settings and seeds, two at a
time, and prints the worst share of a field that flashes for each setting. Exits 1 when any
frame of any render fails, 2 when a render or the analyser cannot run."""
import argparse
import concurrent.futures
import itertools
import re
import subprocess
import sys
import time

SUMMARY = re.compile(r"general: worst ([0-9.]+)(?: at ([0-9.]+) s)?; "
                     r"red: worst ([0-9.]+)(?: at ([0-9.]+) s)?;.*: (passes|fails)$")


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--program", default="build/default/src/vantor")
    parser.add_argument("--analyser", default="build/default/tools/vantor-flash")
    parser.add_argument("--resources", help="handed to the program as --resources")
    parser.add_argument("--seeds", type=int, default=20, help="seeds 1 to N (default 20)")
    parser.add_argument("--seed-list", help="these seeds instead, comma-separated")
    parser.add_argument("--seconds", type=int, default=60, help="simulated seconds a render")
    parser.add_argument("--size", default="512x384")
    parser.add_argument("--rate", default="30")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--speeds", default="1,2,3,4")
    parser.add_argument("--mirrors", default="random,10,22")
    parser.add_argument("--glow", default="off,on")
    parser.add_argument("--photos", help="a folder of photos: adds a row for each speed, with "
                        "the arrangement random and the glow on, showing them")
    parser.add_argument("--case", action="append", default=[],
                        help="one render's settings, e.g. '--seed 3 --speed 4 --glow', instead "
                             "of the grid; may be given more than once")
    return parser.parse_args()


def grid(arguments):
    """The settings (a tuple of program arguments) and the seeds of each render."""
    if arguments.case:
        return [(tuple(case.split()), None) for case in arguments.case]
    seeds = ([int(s) for s in arguments.seed_list.split(",")] if arguments.seed_list
             else range(1, arguments.seeds + 1))
    runs = []
    for speed, mirrors, glow in itertools.product(arguments.speeds.split(","),
                                                  arguments.mirrors.split(","),
                                                  arguments.glow.split(",")):
        setting = ("--speed", speed, "--mirrors", mirrors) + (("--glow",) if glow == "on" else ())
        runs += [(setting, seed) for seed in seeds]
    for speed in arguments.speeds.split(",") if arguments.photos else ():
        setting = ("--speed", speed, "--glow", "--photos", arguments.photos)
        runs += [(setting, seed) for seed in seeds]
    return runs


def analyse(arguments, setting, seed):
    """One render into the analyser: (general share, its time, red share, its time, failed)."""
    render = [arguments.program, "--render", "-", "--size", arguments.size, "--rate",
              arguments.rate, "--frames", str(int(float(arguments.rate) * arguments.seconds))]
    render += list(setting) + (["--seed", str(seed)] if seed is not None else [])
    if arguments.resources:
        render += ["--resources", arguments.resources]
    program = subprocess.Popen(render, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    analyser = subprocess.run([arguments.analyser, "-"], stdin=program.stdout,
                              capture_output=True, text=True)
    program.stdout.close()
    errors = program.stderr.read().decode(errors="replace")
    program.wait()
    summary = analyser.stdout.strip().splitlines()[-1:] or [""]
    match = SUMMARY.search(summary[0])
    if program.returncode != 0 or analyser.returncode not in (0, 1) or match is None:
        raise RuntimeError("%s: status %d, analyser %d: %s%s" % (
            " ".join(render), program.returncode, analyser.returncode, errors.strip(),
            analyser.stderr.strip()))
    general, general_at, red, red_at, verdict = match.groups()
    return float(general), general_at, float(red), red_at, verdict == "fails"


def main():
    arguments = parse_arguments()
    runs = grid(arguments)
    started = time.monotonic()
    results = {}
    with concurrent.futures.ThreadPoolExecutor(arguments.jobs) as pool:
        futures = {pool.submit(analyse, arguments, setting, seed): (setting, seed)
                   for setting, seed in runs}
        for done, future in enumerate(concurrent.futures.as_completed(futures), 1):
            setting, seed = futures[future]
            try:
                results[(setting, seed)] = future.result()
            except RuntimeError as error:
                print("safety: %s" % error, file=sys.stderr)
                pool.shutdown(cancel_futures=True)
                return 2
            if sys.stderr.isatty():
                print("safety: %d of %d renders analysed" % (done, len(runs)), end="\r",
                      file=sys.stderr, flush=True)

    rows = [("settings", "worst general (seed, s)", "worst red (seed, s)", "failing")]
    failed = 0
    for setting in dict.fromkeys(setting for setting, _ in runs):
        mine = {seed: result for (s, seed), result in results.items() if s == setting}
        def worst(share, at):
            seed, result = max(mine.items(), key=lambda item: item[1][share])
            where = "" if not result[at] else (
                " (%s s)" % result[at] if seed is None else " (%s, %s)" % (seed, result[at]))
            return "%.3f%s" % (result[share], where)
        failing = sum(result[4] for result in mine.values())
        failed += failing
        rows.append((" ".join(setting), worst(0, 1), worst(2, 3), "%d of %d" % (failing, len(mine))))
    widths = [max(len(row[i]) for row in rows) for i in range(4)]
    for row in rows:
        print("| " + " | ".join(cell.ljust(width) for cell, width in zip(row, widths)) + " |")
    print("safety: %d renders of %s s at %s, %d failing, in %.0f s" % (
        len(runs), arguments.seconds, arguments.size, failed, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
