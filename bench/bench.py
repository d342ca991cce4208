#!/usr/bin/python3
"""Measures Bytelace, Byteunlace, Bytecheck and Bytescan against the floor of any run, against
copying the bytes, against srec_cat and, for Bytescan's checksums, against sha1sum.

Checks first that Bytelace and srec_cat make the same image from random lanes of several
lengths, that Bytecheck finds srec_cat's image made of the lanes, that Byteunlace and srec_cat
take it apart into the same lanes, and that Bytescan's checksums are Python's; then times the
commands in alternating rounds with hyperfine, counts one run's user-space instructions with
callgrind (Bytecheck's also on lanes with each fault it names, and on random damage) and
compares peak memory for small and huge lanes. Prints the figures and the ratios, and exits
non-zero when a target is missed.

Usage: bench/bench.py [build folder, default build]
"""

import hashlib
import json
import os
import random
import re
import shlex
import statistics
import subprocess
import sys
import tempfile
import zlib

ROUNDS, RUNS = 10, 100
# How much more peak memory 3 GiB lanes may take than 8192-byte ones. A page fault maps what
# the page cache holds of the program around it, so the same run's peak moves with the cache:
# from 540 to 652 KiB for Bytelace with parts of it evicted at random. A lane held in memory
# would add 3 GiB, and anything that grew by more than a byte per 24 KiB of lane would exceed.
RSS_SLACK_KIB = 128
PROGRAMS = ["Bytelace", "Byteunlace", "Bytecheck", "Bytescan"]
SCAN_RUNS = 20  # of Bytescan and sha1sum on two 4 MiB lanes, each some 20 ms


def srec_cat(low, high, image):
    """The fastest srec_cat recipe found for the same image: each lane's last quarter moved
    down to word 0 and the rest up to word 2048, the holes filled with 0xFF, the lane spread
    to every other byte."""

    def lane(path, byte):
        return [
            "(",
            path,
            "-binary",
            "-crop",
            "6144",
            "8192",
            "-offset",
            "-6144",
            path,
            "-binary",
            "-crop",
            "0",
            "6144",
            "-offset",
            "2048",
            ")",
            "-fill",
            "0xFF",
            "0",
            "8192",
            "-unsplit",
            "2",
            str(byte),
            "1",
        ]

    return ["srec_cat", *lane(low, 0), *lane(high, 1), "-o", image, "-binary"]


def srec_cat_split(image, byte, lane):
    """srec_cat taking one lane out of an image: every other byte, words 0-2047 moved up to
    lane offset 6144 and the rest down to 0. It writes one file a run, so a lane takes one."""
    half = [image, "-binary", "-split", "2", str(byte), "1"]
    return [
        "srec_cat",
        "(",
        *half,
        "-crop",
        "0",
        "2048",
        "-offset",
        "6144",
        *half,
        "-crop",
        "2048",
        "8192",
        "-offset",
        "-2048",
        ")",
        "-o",
        lane,
        "-binary",
    ]


def write(path, content):
    with open(path, "wb") as f:
        f.write(content)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def same_results(bytelace, byteunlace, bytecheck, work):
    rng = random.Random(0)
    pairs = [(8192, 8192), (100, 7000), (0, 9000), (6145, 20000)]
    for low_len, high_len in pairs:
        low, high = os.path.join(work, "cmp_lo"), os.path.join(work, "cmp_hi")
        write(low, rng.randbytes(low_len))
        write(high, rng.randbytes(high_len))
        ours, theirs = os.path.join(work, "ours.rom"), os.path.join(work, "theirs.rom")
        subprocess.run([bytelace, low, high, ours], check=True)
        subprocess.run(srec_cat(low, high, theirs), check=True)
        if read(ours) != read(theirs):
            sys.exit(f"images differ for lanes of {low_len} and {high_len} bytes")
        if subprocess.run([bytecheck, low, high, theirs]).returncode != 0:
            sys.exit(f"Bytecheck differs for lanes of {low_len} and {high_len} bytes")
        subprocess.run([byteunlace, ours, low, high], check=True)
        for byte, lane in enumerate([low, high]):
            subprocess.run(srec_cat_split(ours, byte, theirs), check=True)
            if read(lane) != read(theirs):
                sys.exit(f"lane {byte} differs for lanes of {low_len} and {high_len} bytes")
    print(
        "same images and lanes as srec_cat for lanes of",
        ", ".join(f"{a}/{b}" for a, b in pairs),
        "bytes",
    )


def median_times(commands, work, runs=RUNS, *options):
    times = {name: [] for name in commands}
    names = list(commands)
    for round_ in range(ROUNDS):
        for name in names[round_ % len(names) :] + names[: round_ % len(names)]:
            out = os.path.join(work, "hyperfine.json")
            subprocess.run(
                [
                    "hyperfine",
                    "-N",
                    "--style",
                    "none",
                    "--warmup",
                    "5",
                    "--runs",
                    str(runs),
                    "--export-json",
                    out,
                    *options,
                    commands[name],
                ],
                check=True,
                capture_output=True,
            )
            with open(out) as f:
                times[name] += json.load(f)["results"][0]["times"]
    return {name: statistics.median(t) for name, t in times.items()}


def same_checksums(bytescan, work):
    """Bytescan's lines of checksums against zlib's and hashlib's, for lanes around SHA-1's
    block and the lane's length."""
    rng = random.Random(1)
    for length in (0, 55, 56, 8191, 8192, 100000):
        lane = os.path.join(work, "scan_lane")
        write(lane, rng.randbytes(length))
        data = read(lane)
        out = subprocess.run([bytescan, lane, lane], capture_output=True).stdout.decode()
        want = (
            f"{length} bytes, CRC32 {zlib.crc32(data):08x}, SHA-1 {hashlib.sha1(data).hexdigest()}"
        )
        if f"low_byte_file: {want}, sum 0x{sum(data) % 65536:04x}\r\n" not in out:
            sys.exit(f"Bytescan's checksums differ from Python's for {length} bytes")
    print("same checksums as Python's zlib and hashlib for lanes of 0 to 100000 bytes")


def faulty_lanes(lane):
    """The lane as chips with each fault that Bytecheck names would give it back, and with
    random damage that none explains."""
    n, rng = range(len(lane)), random.Random(2)
    swap = lambda x, j, k: x ^ ((x >> j ^ x >> k) & 1) * (1 << j | 1 << k)
    damaged = bytearray(lane)
    for i in rng.sample(n, 100):
        damaged[i] ^= rng.randrange(1, 256)
    return {
        "D2 stuck at 1": bytes(b | 4 for b in lane),
        "not programmed": b"\xff" * len(lane),
        "A12 stuck at 0": bytes(lane[i & ~0x1000] for i in n),
        "A0 stuck at 1": bytes(lane[i | 1] for i in n),
        "D6 and D7 swapped": bytes(swap(b, 6, 7) for b in lane),
        "A11 and A12 swapped": bytes(lane[swap(i, 11, 12)] for i in n),
        "random damage": bytes(damaged),
    }


def instructions(argv, status=0):
    run = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null", *argv],
        capture_output=True,
        text=True,
    )
    if run.returncode != status:
        sys.exit(f"{shlex.join(argv)} exited with {run.returncode}: {run.stdout}")
    return int(re.search(r"Collected : (\d+)", run.stderr).group(1))


def peak_kib(argv, status=0):
    # GNU time's own fork is small; spawning from here would count this interpreter's pages.
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, capture_output=True, text=True)
    if run.returncode != status:
        sys.exit(f"{shlex.join(argv)} exited with {run.returncode}: {run.stdout}")
    return int(run.stderr.split()[-1])


def page_rows(build, work, runs=50):
    """The page in headless Chromium: the median time from a task's click to its result, by
    which its downloads and maps are in place, and the sizes of the page and its module."""
    from selenium import webdriver  # Debian's, with /usr/bin/python3

    page = os.path.abspath(os.path.join(build, "bytelace.html"))
    if not os.path.exists(page):
        return [("page", "not built (configure with -DBYTELACE_WEB=ON)", None)]
    options = webdriver.ChromeOptions()
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", f"--user-data-dir={work}/chromium"]:
        options.add_argument(flag)
    service = webdriver.chrome.service.Service("/usr/bin/chromedriver")  # Debian's, by name
    browser = webdriver.Chrome(options=options, service=service)
    files = {"low": os.urandom(8192), "high": os.urandom(8192), "image": os.urandom(16384)}
    browser.get("file://" + page)
    for field, content in files.items():
        write(os.path.join(work, field), content)
        browser.find_element("id", field).send_keys(os.path.join(work, field))
    timed = """const [task, done] = arguments, result = document.getElementById("result");
        const start = performance.now();
        new MutationObserver((_, watch) => result.textContent &&
            (watch.disconnect(), done(performance.now() - start))).observe(result, {childList: true});
        document.getElementById(task).click();"""
    rows = []
    for task in ("join", "split", "check", "scan"):
        ms = statistics.median(browser.execute_async_script(timed, task) for _ in range(runs))
        rows += [(f"page: {task}, click to result", f"{ms:.2f} ms (target < 5 ms)", ms < 5)]
    browser.quit()
    size, module = os.path.getsize(page), os.path.getsize(os.path.join(build, "page/module.wasm"))
    rows += [("page: size", f"{size:,} bytes (target <= 65,536)", size <= 65536)]
    return rows + [("page: WebAssembly module", f"{module:,} bytes", None)]


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    bytelace, byteunlace, bytecheck, bytescan = (os.path.join(build, p) for p in PROGRAMS)
    with tempfile.TemporaryDirectory(prefix="bytelace-bench-") as work:
        same_results(bytelace, byteunlace, bytecheck, work)
        same_checksums(bytescan, work)

        # The floor: starting and ending a static process that does nothing.
        noop = os.path.join(work, "noop")
        subprocess.run(
            ["cc", "-static", "-O2", "-x", "c", "-", "-o", noop],
            check=True,
            input=b"int main(void) { return 0; }\n",
        )
        low, high = os.path.join(work, "lo"), os.path.join(work, "hi")
        write(low, os.urandom(8192))
        write(high, os.urandom(8192))
        whole = os.path.join(work, "image16k")
        write(whole, os.urandom(16384))
        image = os.path.join(work, "out.rom")
        low_out, high_out = os.path.join(work, "lo.out"), os.path.join(work, "hi.out")
        # Bytecheck's dearest case: the lanes match, so every byte is compared.
        checked = os.path.join(work, "checked.rom")
        subprocess.run([bytelace, low, high, checked], check=True)
        commands = {  # hyperfine splits each as a shell would: quoted, a build path may hold spaces
            "floor": [noop],
            "bytelace": [bytelace, low, high, image],
            "byteunlace": [byteunlace, whole, low_out, high_out],
            "bytecheck": [bytecheck, low, high, checked],
            "bytescan": [bytescan, low, high],
            "cp": ["cp", whole, image],
            "srec_cat": srec_cat(low, high, image),
            "srec_cat_split": srec_cat_split(whole, 0, low_out),
        }
        commands = {name: shlex.join(argv) for name, argv in commands.items()}
        medians = median_times(commands, work)
        big_low, big_high = os.path.join(work, "lo4m"), os.path.join(work, "hi4m")
        write(big_low, os.urandom(4 << 20))
        write(big_high, os.urandom(4 << 20))
        big = {"bytescan": [bytescan, big_low, big_high], "sha1sum": ["sha1sum", big_low, big_high]}
        # Bytescan finds that such lanes are longer than a chip, and exits with status 7.
        big = {k: shlex.join(v) for k, v in big.items()}
        big = median_times(big, work, SCAN_RUNS, "--ignore-failure")

        count = instructions([bytelace, low, high, image])
        unlace_count = instructions([byteunlace, whole, low_out, high_out])
        check_count = instructions([bytecheck, low, high, checked])
        scan_count = instructions([bytescan, low, high])
        faults = {}
        for fault, lane in faulty_lanes(read(low)).items():
            write(os.path.join(work, "faulty"), lane)
            faults[fault] = instructions(
                [bytecheck, os.path.join(work, "faulty"), high, checked], 6
            )

        huge = os.path.join(work, "huge")
        with open(huge, "wb") as f:
            f.truncate(3 << 30)  # sparse: 3 GiB that take no disk
        # Medians of runs taken in turns, so that both see the page cache alike: now and then a
        # run's stack straddles a few more pages, whatever the lanes.
        small, huge_runs = [], []
        for _ in range(21):
            small.append(peak_kib([bytelace, low, high, image]))
            huge_runs.append(peak_kib([bytelace, huge, huge, image]))
        small_kib, huge_kib = statistics.median(small), statistics.median(huge_runs)
        small_scan, big_scan = [], []
        for _ in range(21):
            small_scan.append(peak_kib([bytescan, low, high]))
            big_scan.append(peak_kib([bytescan, big_low, big_high], 7))
        small_scan, big_scan = statistics.median(small_scan), statistics.median(big_scan)

    ms = {name: f"{t * 1e3:.3f} ms" for name, t in medians.items()}
    above = {
        name: f"{(medians[name] - medians['floor']) * 1e3:.3f} ms"
        for name in ("bytelace", "byteunlace", "bytecheck")
    }
    vs_cp = medians["bytelace"] / medians["cp"]
    vs_srec = medians["bytelace"] / medians["srec_cat"]
    un_vs_cp = medians["byteunlace"] / medians["cp"]
    un_vs_srec = medians["byteunlace"] / (2 * medians["srec_cat_split"])
    check_vs_lace = medians["bytecheck"] / medians["bytelace"]
    scan_vs_cp = medians["bytescan"] / medians["cp"]
    scan_vs_sha1sum = big["bytescan"] / big["sha1sum"]
    rows = [
        ("median wall time, static no-op (floor)", ms["floor"], None),
        ("median wall time, Bytelace", ms["bytelace"], None),
        ("median wall time, Byteunlace", ms["byteunlace"], None),
        ("median wall time, Bytecheck", ms["bytecheck"], None),
        ("median wall time, Bytescan", ms["bytescan"], None),
        ("median wall time, cp of 16384 bytes", ms["cp"], None),
        ("median wall time, srec_cat joining", ms["srec_cat"], None),
        ("median wall time, srec_cat, one lane", ms["srec_cat_split"], None),
        ("Bytelace above the floor", above["bytelace"], None),
        ("Byteunlace above the floor", above["byteunlace"], None),
        ("Bytecheck above the floor", above["bytecheck"], None),
        ("Bytelace / cp", f"{vs_cp:.2f}x (target <= 1.00x)", vs_cp <= 1.0),
        ("Byteunlace / cp", f"{un_vs_cp:.2f}x (target <= 1.00x)", un_vs_cp <= 1.0),
        ("Bytelace / srec_cat", f"{vs_srec:.2f}x (target <= 0.25x)", vs_srec <= 0.25),
        (
            "Byteunlace / srec_cat, two lanes",
            f"{un_vs_srec:.2f}x (target <= 0.25x)",
            un_vs_srec <= 0.25,
        ),
        (
            "user-space instructions, Bytelace",
            f"{count:,} (target <= 1,000,000)",
            count <= 1_000_000,
        ),
        (
            "user-space instructions, Byteunlace",
            f"{unlace_count:,} (target <= 1,000,000)",
            unlace_count <= 1_000_000,
        ),
        ("Bytecheck / Bytelace", f"{check_vs_lace:.2f}x (target <= 1.00x)", check_vs_lace <= 1.0),
        (
            "user-space instructions, Bytecheck",
            f"{check_count:,} (target <= 1,000,000)",
            check_count <= 1_000_000,
        ),
        ("Bytescan / cp", f"{scan_vs_cp:.2f}x (target <= 1.00x)", scan_vs_cp <= 1.0),
        ("median wall time, Bytescan, 4 MiB lanes", f"{big['bytescan'] * 1e3:.3f} ms", None),
        ("median wall time, sha1sum, 4 MiB lanes", f"{big['sha1sum'] * 1e3:.3f} ms", None),
        (
            "Bytescan / sha1sum, 4 MiB lanes",
            f"{scan_vs_sha1sum:.2f}x (target <= 2.00x)",
            scan_vs_sha1sum <= 2.0,
        ),
        ("user-space instructions, Bytescan", f"{scan_count:,}", None),
        *(
            (
                f"Bytecheck, {fault} / matching",
                f"{n:,}, {n / check_count:.2f}x (target <= 5.00x)",
                n <= 5 * check_count,
            )
            for fault, n in faults.items()
        ),
        ("median peak RSS, 8192-byte lanes", f"{small_kib} KiB", None),
        (
            "median peak RSS, 3 GiB sparse lanes",
            f"{huge_kib} KiB (target <= {small_kib + RSS_SLACK_KIB} KiB)",
            huge_kib <= small_kib + RSS_SLACK_KIB,
        ),
        ("median peak RSS, Bytescan, 8192-byte lanes", f"{small_scan} KiB", None),
        (
            "median peak RSS, Bytescan, 4 MiB lanes",
            f"{big_scan} KiB (target <= {small_scan + RSS_SLACK_KIB} KiB)",
            big_scan <= small_scan + RSS_SLACK_KIB,
        ),
    ]
    with tempfile.TemporaryDirectory(prefix="bytelace-bench-") as work:
        rows += page_rows(build, work)
    for name, value, ok in rows:
        mark = "" if ok is None else ("  met" if ok else "  MISSED")
        print(f"{name:40} {value}{mark}")
    return 0 if all(ok is not False for _, _, ok in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
