#!/usr/bin/env python3
"""Runs the built programs case by case and checks the bytes on standard output, an empty
standard error, the exit status and every file left in the scratch folder.
Arguments: the emulator that runs the programs, if any, then Bytelace."""

import os
import random
import subprocess
import sys
import tempfile
import unittest

EMULATOR, LACE = sys.argv[1:-1], os.path.abspath(sys.argv[-1])
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
START = {"lo": LO, "hi": HI, "old.rom": b"old image", "dir": DIR}
LINKS = {"lo.link": LO, "lo.symlink": "lo"}  # a hard link, a symbolic link
USAGE, OPEN_LO, OPEN_HI, CREATE, READ_LO, READ_HI, WRITE = (m.encode() + b"\r\n" for m in (
    "Usage : Bytelace low_byte_file high_byte_file rom_file", "Open error low_byte_file",
    "Open error high_byte_file", "Create error rom_file", "Read error low_byte_file",
    "Read error high_byte_file", "Write error rom_file"))
MEM = "/proc/self/mem"  # a regular file whose reads fail where nothing is mapped
TRACE = 'strace -o /dev/null -P "$PWD/{}" -e inject={} "$@" "$PWD/lo" "$PWD/hi" "$PWD/x.rom"'
FIFO_LO = 'mkfifo f; (head -c 7000 lo >f &); '


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
            with open(path, "wb") as f:
                f.write(content)
    return folder.name


def snapshot(folder):
    def content(path):
        if os.path.islink(path):
            return os.readlink(path)
        if not os.path.isfile(path):
            return DIR if os.path.isdir(path) else FIFO
        with open(path, "rb") as f:
            return f.read()
    return {name: content(os.path.join(folder, name)) for name in os.listdir(folder)}


def run_in(folder, args, stdin=None):
    """Standard output, standard error and status of the program; when args is a string, of
    that bash script, which runs the program as "$@"."""
    command = EMULATOR + [LACE] + (args if isinstance(args, list) else [])
    if isinstance(args, str):
        command = ["bash", "-c", args, "bash"] + command
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
    def check(self, rows):
        """Each row: arguments or a bash script, standard output, status, files changed,
        files before. Scripts are left out on Windows: Wine opens pipes named by path as disk
        files, and there are no signals and no strace."""
        for args, stdout, status, *more in rows:
            changed, before = (more + [{}, {}])[:2]
            if WINDOWS and isinstance(args, str):
                continue
            with self.subTest(args=args, before=list(before)):
                folder = scratch(self, {**START, **before})
                self.assertEqual(run_in(folder, args), (stdout, b"", status))
                self.assertEqual(snapshot(folder), {**START, **before, **changed})

    def test_failures_leave_every_file_as_it_was(self):
        refused = ["lo", "./hi", "dir/../lo", "lo.link", "lo.symlink"]
        if WINDOWS:
            refused += ["LO", "dir\\..\\Hi", ".\\lo.LINK"]
        self.check([([], USAGE, 1), (["lo", "hi"], USAGE, 1), (["lo", "hi", "x", "old.rom"], USAGE, 1),
                    (["no", "nohi", "x.rom"], OPEN_LO, 2), (["lo", "nohi", "old.rom"], OPEN_HI, 2),
                    (["dir", "hi", "old.rom"], OPEN_LO, 2), (["lo", "dir", "old.rom"], OPEN_HI, 2),
                    (["lo", "hi", "no/x.rom"], CREATE, 2), (["lo", "hi", "dir"], CREATE, 2),
                    # the image swapped for a link to a lane while it is being opened
                    ("(sleep .5; ln -s lo x && mv x x.rom) & " + TRACE.format(
                        "x.rom", "openat:delay_enter=1000000"), CREATE, 2, {"x.rom": "lo"})]
                   + [(["lo", "hi", rom], CREATE, 2, {}, LINKS) for rom in refused])

    def test_runs_that_write(self):
        twin = LO + bytes(5000)  # holds a lane's bytes without being the lane
        names = ["λωρίδα", "старший", "ＲＯＭ.bin"]
        lost = b"\xff" * WRAP  # the lane's main block, when the seek back to its start fails
        self.check([(["lo", "-", "new.rom"], b"", 0, {"new.rom": ROM}, {"-": HI}),
                    (["lo", "hi", "old.rom"], b"", 0, {"old.rom": ROM}, {"old.rom": twin}),
                    (["e", "e", "old.rom"], b"", 0, {"old.rom": b"\xff" * 2 * LANE}, {"e": b""}),
                    (names, b"", 0, {names[2]: ROM}, {names[0]: LO, names[1]: HI}),
                    (["lo", "hi", "/dev/full"], WRITE, 4),
                    ([MEM, "hi", "x.rom"], READ_LO, 3, {"x.rom": image(b"", HI)}),
                    (["lo", MEM, "/dev/full"], READ_HI, 3), ([MEM, MEM, "/dev/full"], READ_LO, 3),
                    (TRACE.format("lo", "lseek:error=EIO:when=2"), READ_LO, 3,
                     {"x.rom": image(lost + LO[WRAP:], HI)}),
                    (TRACE.format("hi", "lseek:error=EIO:when=2"), READ_HI, 3,
                     {"x.rom": image(LO, lost + HI[WRAP:])}),
                    ('cat lo lo | "$@" /dev/stdin hi x.rom', b"", 0, {"x.rom": ROM}),
                    ('cat lo | "$@" /dev/stdin /dev/stdin x.rom', b"", 0, {"x.rom": image(LO, LO)}),
                    # a second open of the FIFO, once its writer has gone, would wait for good
                    (FIFO_LO + 'strace -o /dev/null -P "$PWD/f" -e inject=openat:delay_enter=300000:'
                     'when=2 "$@" "$PWD/f" "$PWD/f" x.rom', b"", 0,
                     {"f": FIFO, "x.rom": image(LO[:7000], LO[:7000])}),
                    (FIFO_LO + '"$@" f <(cat hi) x.rom', b"", 0, {"f": FIFO, "x.rom": image(LO[:7000], HI)}),
                    ('"$@" lo hi /dev/stdout | cat', ROM, 0),
                    ('ulimit -f 8; "$@" lo hi x.rom', WRITE, 4, {"x.rom": ROM[:8192]}),
                    # the reader has gone before the image is written; the message goes the same way
                    ('{ sleep .3; "$@" lo hi /dev/stdout; } | true; exit ${PIPESTATUS[0]}', b"", 4)])

    def test_layout_over_random_lane_lengths(self):
        edges = [0, 1, 2047, 2048, 2049, 6143, 6144, 6145, 8191, 8192, 8193, 20000]
        for n in range(40 if WINDOWS else 300):
            low, high = (rng.randbytes(rng.choice([rng.choice(edges), rng.randrange(20001)]))
                         for _ in "lh")
            piped = 0 if WINDOWS else n % 3  # through a pipe: neither lane, the low, the high
            args = ["/dev/stdin" if piped == 1 else "l", "/dev/stdin" if piped == 2 else "h", "r"]
            folder = scratch(self, {"l": low, "h": high})
            self.assertEqual(run_in(folder, args, [None, low, high][piped]), (b"", b"", 0))
            self.assertEqual(snapshot(folder), {"l": low, "h": high, "r": image(low, high)},
                             (len(low), len(high)))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
