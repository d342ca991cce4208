#!/usr/bin/env python3
"""Runs the built programs case by case and checks the bytes on standard output, an empty
standard error, the exit status and every file left in the scratch folder.
Arguments: the emulator that runs the programs, if any, then Bytelace and Byteunlace."""

import os
import pathlib
import random
import subprocess
import sys
import tempfile
import unittest

EMULATOR, (LACE, UNLACE) = sys.argv[1:-2], map(os.path.abspath, sys.argv[-2:])
WINDOWS = LACE.endswith(".exe")
LANE, WRAP = 8192, 6144


def image(low, high):
    """Word k comes from lane offset (k + 6144) mod 8192; 0xFF past a lane's end."""
    return bytes(lane[i] if i < len(lane) else 0xFF
                 for i in ((k + WRAP) % LANE for k in range(LANE)) for lane in (low, high))


rng = random.Random(2026)
LO, HI = rng.randbytes(LANE), rng.randbytes(LANE)  # random: no block can pass for another
ROM = image(LO, HI)
DIR, FIFO = "a directory", "a FIFO"
START = {"lo": LO, "hi": HI, "rom": ROM, "old.rom": b"old image", "dir": DIR}
LINKS = {"lo.link": LO, "lo.symlink": "lo", "rom.link": ROM, "rom.symlink": "rom"}
USAGE = b"Usage : Bytelace low_byte_file high_byte_file rom_file\r\n"
UN_USAGE = b"Usage : Byteunlace rom_file low_byte_file high_byte_file\r\n"
SIZE = b"Size error rom_file\r\n"
(OPEN_LO, OPEN_HI, OPEN, READ_LO, READ_HI, READ, CREATE_LO, CREATE_HI, CREATE, WRITE_LO, WRITE_HI,
 WRITE) = (f"{kind} error {lane}_file\r\n".encode()
           for kind in ("Open", "Read", "Create", "Write") for lane in ("low_byte", "high_byte", "rom"))
MEM = "/proc/self/mem"  # a regular file whose reads fail where nothing is mapped
TRACE = 'strace -o /dev/null -P "$PWD/{}" -e inject={} "$@" "$PWD/{}" "$PWD/{}" "$PWD/x.rom"'


def scratch(test, files):
    folder = tempfile.TemporaryDirectory(prefix="bytelace-")
    test.addCleanup(folder.cleanup)
    for name, content in files.items():
        path = os.path.join(folder.name, name)
        if content == DIR:
            os.mkdir(path)
        elif isinstance(content, str):
            os.symlink(content, path)
        elif name.endswith(".link"):
            os.link(path[:-5], path)
        else:
            pathlib.Path(path).write_bytes(content)
    return folder.name


def snapshot(folder):
    return {p.name: os.readlink(p) if p.is_symlink() else p.read_bytes() if p.is_file() else
            DIR if p.is_dir() else FIFO for p in pathlib.Path(folder).iterdir()}


def run_in(folder, program, args, stdin=None):
    """Output, error output and status of the program, or of args as a bash script running it."""
    command = EMULATOR + [program] + (args if isinstance(args, list) else [])
    if isinstance(args, str):
        command = ["bash", "-o", "pipefail", "-c", args, "bash"] + command
    # Output goes to files, not pipes: Wine's server lingers holding pipes open.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        feed = {"stdin": subprocess.DEVNULL} if stdin is None else {"input": stdin}
        run = subprocess.run(command, cwd=folder, stdout=out, stderr=err, timeout=20, **feed,
                             env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0")  # ptrace
                             if "strace" in args else None)
        out.seek(0)
        err.seek(0)
        return out.read(), err.read(), run.returncode


class EndToEnd(unittest.TestCase):
    def check(self, program, rows):
        """Rows: arguments or a bash script, output, status, files changed, files before. Wine
        opens pipes named by path as disk files and has no signals nor strace: no scripts."""
        for args, stdout, status, *more in rows:
            changed, before = (more + [{}, {}])[:2]
            if WINDOWS and isinstance(args, str):
                continue
            with self.subTest(program=os.path.basename(program), args=args, before=list(before)):
                folder = scratch(self, {**START, **before})
                self.assertEqual(run_in(folder, program, args), (stdout, b"", status))
                self.assertEqual(snapshot(folder), {**START, **before, **changed})

    def test_failures_leave_every_file_as_it_was(self):
        lo, rom = ["lo", "./lo", "dir/../lo", "lo.link", "lo.symlink"], ["rom", "./rom", "rom.symlink"]
        if WINDOWS:
            lo, rom = lo + ["LO", "dir\\..\\Lo", ".\\lo.LINK"], rom + ["ROM", "dir\\..\\Rom"]
        self.check(LACE, [([], USAGE, 1), (["lo", "hi"], USAGE, 1), (["lo", "hi", "x", "r"], USAGE, 1),
                          (["no", "nohi", "x.rom"], OPEN_LO, 2), (["lo", "nohi", "old.rom"], OPEN_HI, 2),
                          (["dir", "hi", "old.rom"], OPEN_LO, 2), (["lo", "dir", "old.rom"], OPEN_HI, 2),
                          (["lo", "hi", "no/x.rom"], CREATE, 2), (["lo", "hi", "dir"], CREATE, 2),
                          # the image swapped for a link to a lane while it is being opened
                          ("(sleep .5; ln -s lo x && mv x x.rom) & " + TRACE.format(
                              "x.rom", "openat:delay_enter=1000000", "lo", "hi"), CREATE, 2, {"x.rom": "lo"})]
                   + [(["lo", "hi", name], CREATE, 2, {}, LINKS) for name in lo + ["hi"]])
        self.check(UNLACE, [([], UN_USAGE, 1), (["rom", "l"], UN_USAGE, 1), (["no", "l", "h"], OPEN, 2),
                            (["dir", "l", "h"], OPEN, 2), ([MEM, "no/l", "h"], READ, 3),
                            (["lo", "hi", "old.rom"], SIZE, 5), (["old.rom", "no/l", "h"], SIZE, 5),
                            (["x", "l", "h"], SIZE, 5, {}, {"x": ROM + b"\0"}),
                            (["rom", "no/l", "no/h"], CREATE_LO, 2), (["rom", "dir", "h"], CREATE_LO, 2),
                            (["rom", "l", "no/h"], CREATE_HI, 2), (["rom", "lo", "dir"], CREATE_HI, 2)]
                   + [(["rom", name, "h"], CREATE_LO, 2, {}, LINKS) for name in rom]
                   + [(["rom", "l", name], CREATE_HI, 2, {}, LINKS) for name in rom + ["l", "./l"]]
                   + [(["rom", "lo", name], CREATE_HI, 2, {}, LINKS) for name in lo])

    def test_runs_that_write(self):
        twin = LO + bytes(10000)  # a lane's bytes without being the lane, and longer than an image
        names = ["λωρίδα", "старший", "ＲＯＭ.bin"]
        lost = b"\xff" * WRAP  # a lane's main block when the seek back to its start fails
        self.check(LACE, [(["lo", "-", "new.rom"], b"", 0, {"new.rom": ROM}, {"-": HI}),
                          (["lo", "hi", "old.rom"], b"", 0, {"old.rom": ROM}, {"old.rom": twin}),
                          (["e", "e", "old.rom"], b"", 0, {"old.rom": b"\xff" * 2 * LANE}, {"e": b""}),
                          (names, b"", 0, {names[2]: ROM}, {names[0]: LO, names[1]: HI}),
                          (["lo", "hi", "/dev/full"], WRITE, 4),
                          ([MEM, "hi", "x.rom"], READ_LO, 3, {"x.rom": image(b"", HI)}),
                          (["lo", MEM, "/dev/full"], READ_HI, 3), ([MEM, MEM, "/dev/full"], READ_LO, 3),
                          (TRACE.format("lo", "lseek:error=EIO:when=2", "lo", "hi"), READ_LO, 3,
                           {"x.rom": image(lost + LO[WRAP:], HI)}),
                          (TRACE.format("hi", "lseek:error=EIO:when=2", "lo", "hi"), READ_HI, 3,
                           {"x.rom": image(LO, lost + HI[WRAP:])}),
                          ('cat lo lo | "$@" /dev/stdin hi x.rom', b"", 0, {"x.rom": ROM}),
                          ('cat lo | "$@" /dev/stdin /dev/stdin x.rom', b"", 0, {"x.rom": image(LO, LO)}),
                          # a second open of the FIFO, once its writer has gone, would wait for good
                          ("mkfifo f; (head -c 7000 lo >f &); " + TRACE.format(
                              "f", "openat:delay_enter=300000:when=2", "f", "f"), b"", 0,
                           {"f": FIFO, "x.rom": image(LO[:7000], LO[:7000])}),
                          ('"$@" lo hi /dev/stdout | cat', ROM, 0),
                          ('ulimit -f 8; "$@" lo hi x.rom', WRITE, 4, {"x.rom": ROM[:8192]}),
                          # the reader is gone before the image is written; so is the message
                          ('{ sleep .3; "$@" lo hi /dev/stdout; } | true', b"", 4)])
        self.check(UNLACE, [(["rom", "lo", "hi"], b"", 0, {"lo": LO, "hi": HI}, {"lo": twin, "hi": b""}),
                            (["rom", "-", names[1]], b"", 0, {"-": LO, names[1]: HI}),
                            (["rom", "/dev/full", "h"], WRITE_LO, 4, {"h": HI}),
                            (["rom", "l", "/dev/full"], WRITE_HI, 4, {"l": LO}),
                            ('cat rom | "$@" /dev/stdin l h', b"", 0, {"l": LO, "h": HI}),
                            ('cat rom rom | "$@" /dev/stdin l h', SIZE, 5),
                            ('"$@" rom /dev/stdout h | cat', LO, 0, {"h": HI}),
                            ('"$@" rom /dev/stdout /dev/stdout | cat', CREATE_HI, 2),
                            ('ulimit -f 4; "$@" rom l h', WRITE_LO, 4, {"l": LO[:4096], "h": HI[:4096]}),
                            ('{ sleep .3; "$@" rom /dev/stdout h; } | true', b"", 4, {"h": HI})])

    def test_round_trips_over_random_lane_lengths(self):
        edges = [0, 1, 2047, 2048, 2049, 6143, 6144, 6145, 8191, 8192, 8193, 20000]
        for n in range(40 if WINDOWS else 300):
            low, high = (rng.randbytes(rng.choice([rng.choice(edges), rng.randrange(20001)]))
                         for _ in "lh")
            rom, pad = image(low, high), lambda lane: lane[:LANE].ljust(LANE, b"\xff")
            pipe = 0 if WINDOWS else n % 3  # piped: nothing, the low lane and the image, the high lane
            p = lambda name, piped: "/dev/stdin" if piped else name
            folder = scratch(self, {"l": low, "h": high})
            for program, args, stdin in [
                    (LACE, [p("l", pipe == 1), p("h", pipe == 2), "r"], [None, low, high][pipe]),
                    (UNLACE, [p("r", pipe == 1), "l2", "h2"], rom if pipe == 1 else None),
                    (LACE, ["l2", "h2", "r2"], None)]:
                self.assertEqual(run_in(folder, program, args, stdin), (b"", b"", 0), (len(low), len(high)))
            self.assertEqual(snapshot(folder), {"l": low, "h": high, "r": rom, "r2": rom,
                                                "l2": pad(low), "h2": pad(high)}, (len(low), len(high)))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
