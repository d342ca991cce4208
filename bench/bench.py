#!/usr/bin/env python3
"""Measures Bytelace against copying the bytes and against srec_cat.

Checks first that Bytelace and srec_cat make the same image from random lanes, then times
the three commands in alternating rounds with hyperfine, counts one run's user-space
instructions with callgrind and compares peak memory for small and huge lanes. Prints the
figures and the ratios, and exits non-zero when a target is missed.

Usage: bench/bench.py [path to Bytelace, default build/Bytelace]
"""

import json
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile

ROUNDS = 10
RUNS = {"bytelace": 100, "cp": 100, "srec_cat": 4}  # per round; srec_cat takes ~0.3 s a run


def srec_cat(low, high, image):
    """srec_cat doing the same: each lane spread to every other byte, lane offsets 0-6143
    moved up to image byte 0x1000, 6144-8191 down to 0, holes filled with 0xFF."""
    main = ["-crop", "0", "0x1800", "-unsplit", "2"]
    lead = ["-crop", "0x1800", "0x2000", "-offset", "-0x1800", "-unsplit", "2"]
    return ["srec_cat", "(",
            low, "-binary", *main, "0", "-offset", "0x1000",
            high, "-binary", *main, "1", "-offset", "0x1000",
            low, "-binary", *lead, "0",
            high, "-binary", *lead, "1",
            ")", "-fill", "0xFF", "0", "0x4000", "-o", image, "-binary"]


def write(path, content):
    with open(path, "wb") as f:
        f.write(content)


def same_images(bytelace, work):
    rng = random.Random(0)
    for low_len, high_len in [(8192, 8192), (100, 7000), (0, 9000)]:
        low, high = os.path.join(work, "cmp_lo"), os.path.join(work, "cmp_hi")
        write(low, rng.randbytes(low_len))
        write(high, rng.randbytes(high_len))
        ours, theirs = os.path.join(work, "ours.rom"), os.path.join(work, "theirs.rom")
        subprocess.run([bytelace, low, high, ours], check=True)
        subprocess.run(srec_cat(low, high, theirs), check=True)
        with open(ours, "rb") as a, open(theirs, "rb") as b:
            if a.read() != b.read():
                sys.exit(f"images differ for lanes of {low_len} and {high_len} bytes")
    print("same image as srec_cat for lanes of 8192/8192, 100/7000 and 0/9000 bytes")


def median_times(commands, work):
    times = {name: [] for name in commands}
    names = list(commands)
    for round_ in range(ROUNDS):
        for name in names[round_ % 3:] + names[:round_ % 3]:
            out = os.path.join(work, "hyperfine.json")
            subprocess.run(["hyperfine", "-N", "--style", "none", "--warmup", "3",
                            "--runs", str(RUNS[name]), "--export-json", out, commands[name]],
                           check=True, capture_output=True)
            with open(out) as f:
                times[name] += json.load(f)["results"][0]["times"]
    return {name: statistics.median(t) for name, t in times.items()}


def instructions(bytelace, low, high, image):
    run = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                          bytelace, low, high, image], capture_output=True, text=True,
                         check=True)
    return int(re.search(r"Collected : (\d+)", run.stderr).group(1))


def peak_kib(argv):
    # GNU time's own fork is small; spawning from here would count this interpreter's pages.
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, capture_output=True, text=True,
                         check=True)
    return int(run.stderr.split()[-1])


def main():
    bytelace = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/Bytelace")
    with tempfile.TemporaryDirectory(prefix="bytelace-bench-") as work:
        same_images(bytelace, work)

        low, high = os.path.join(work, "lo"), os.path.join(work, "hi")
        write(low, os.urandom(8192))
        write(high, os.urandom(8192))
        whole = os.path.join(work, "image16k")
        write(whole, os.urandom(16384))
        image = os.path.join(work, "out.rom")
        commands = {
            "bytelace": f"{bytelace} {low} {high} {image}",
            "cp": f"cp {whole} {image}",
            "srec_cat": " ".join(srec_cat(low, high, image)),
        }
        medians = median_times(commands, work)

        count = instructions(bytelace, low, high, image)

        huge = os.path.join(work, "huge")
        with open(huge, "wb") as f:
            f.truncate(3 << 30)  # sparse: 3 GiB that take no disk
        # Medians: now and then a run's stack straddles a few more pages, whatever the lanes.
        small_kib = statistics.median(peak_kib([bytelace, low, high, image]) for _ in range(21))
        huge_kib = statistics.median(peak_kib([bytelace, huge, huge, image]) for _ in range(21))

    vs_cp = medians["bytelace"] / medians["cp"]
    vs_srec = medians["bytelace"] / medians["srec_cat"]
    rows = [
        ("median wall time, Bytelace", f"{medians['bytelace'] * 1e3:.3f} ms", None),
        ("median wall time, cp of 16384 bytes", f"{medians['cp'] * 1e3:.3f} ms", None),
        ("median wall time, srec_cat", f"{medians['srec_cat'] * 1e3:.3f} ms", None),
        ("Bytelace / cp", f"{vs_cp:.2f}x (target <= 1.00x)", vs_cp <= 1.0),
        ("Bytelace / srec_cat", f"{vs_srec:.4f}x (target <= 0.25x)", vs_srec <= 0.25),
        ("user-space instructions, one run", f"{count:,} (target <= 1,000,000)",
         count <= 1_000_000),
        ("median peak RSS, 8192-byte lanes", f"{small_kib} KiB", None),
        ("median peak RSS, 3 GiB sparse lanes", f"{huge_kib} KiB (target: the same)",
         huge_kib == small_kib),
    ]
    for name, value, ok in rows:
        mark = "" if ok is None else ("  met" if ok else "  MISSED")
        print(f"{name:38} {value}{mark}")
    return 0 if all(ok is not False for _, _, ok in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
