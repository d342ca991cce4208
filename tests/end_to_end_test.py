#!/usr/bin/env python3
"""Runs the built program and checks standard output bytes, standard error, exit status
and the files it leaves. Arguments: the command that runs the program (an emulator first,
if it needs one)."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

COMMAND = sys.argv[1:-1] + [os.path.abspath(sys.argv[-1])] if len(sys.argv) > 1 else []
WINDOWS = COMMAND[-1].lower().endswith(".exe") if COMMAND else False

USAGE = b"Usage : Bytelace low_byte_file high_byte_file rom_file\r\n"
OPEN_LOW = b"Open error low_byte_file\r\n"
OPEN_HIGH = b"Open error high_byte_file\r\n"
CREATE = b"Create error rom_file\r\n"
READ_LOW = b"Read error low_byte_file\r\n"
READ_HIGH = b"Read error high_byte_file\r\n"
WRITE = b"Write error rom_file\r\n"
EXIT_OK, EXIT_USAGE, EXIT_OPEN, EXIT_READ, EXIT_WRITE = 0, 1, 2, 3, 4

# Counting lanes: the word at lane offset i is i itself. Every byte value occurs, LF, CR and
# Ctrl-Z among them, so any text-mode translation shows.
LOW = bytes(i & 0xFF for i in range(8192))
HIGH = bytes(i >> 8 for i in range(8192))
IMAGE = b"".join(((k + 6144) % 8192).to_bytes(2, "little") for k in range(8192))


class Files(unittest.TestCase):
    """A scratch folder holding the counting lanes, an old image and a directory."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="bytelace-")
        self.addCleanup(shutil.rmtree, self.dir)
        self.write("lo", LOW)
        self.write("hi", HIGH)
        self.write("old.rom", b"old image")
        os.mkdir(self.path("dir"))

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, content):
        with open(self.path(name), "wb") as f:
            f.write(content)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run_tool(self, *args, stdout=None, **kwargs):
        # Output goes to files, not pipes: Wine's server lingers with the pipes held open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(COMMAND + list(args), cwd=self.dir, stdout=stdout or out,
                                    stderr=err, timeout=60, **kwargs)
            out.seek(0)
            err.seek(0)
            result.stdout = result.stdout if stdout else out.read()
            result.stderr = err.read()
        return result

    def check(self, result, stdout, status):
        self.assertEqual(result.stdout, stdout)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, status)

    def check_untouched(self):
        self.assertEqual(self.read("lo"), LOW)
        self.assertEqual(self.read("hi"), HIGH)
        self.assertEqual(self.read("old.rom"), b"old image")


class EndToEnd(Files):
    def test_wrong_argument_count_opens_nothing(self):
        for args in [(), ("lo", "hi"), ("lo", "hi", "new.rom", "old.rom")]:
            with self.subTest(args=args):
                self.check(self.run_tool(*args), USAGE, EXIT_USAGE)
                self.assertFalse(os.path.exists(self.path("new.rom")))
                self.check_untouched()

    def test_first_failure_is_the_one_reported(self):
        cases = [
            (("nolo", "nohi", "new.rom"), OPEN_LOW),
            (("lo", "nohi", "old.rom"), OPEN_HIGH),
            (("dir", "hi", "old.rom"), OPEN_LOW),
            (("lo", "dir", "old.rom"), OPEN_HIGH),
            (("lo", "hi", os.path.join("nodir", "new.rom")), CREATE),
            (("lo", "hi", "dir"), CREATE),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                self.check(self.run_tool(*args), message, EXIT_OPEN)
                self.assertFalse(os.path.exists(self.path("new.rom")))
                self.check_untouched()

    def test_image_that_is_a_lane_is_refused(self):
        os.link(self.path("lo"), self.path("lo.link"))
        spellings = ["lo", os.path.join(".", "hi"), os.path.join("dir", "..", "lo"),
                     self.path("hi"), "lo.link"]
        if WINDOWS:
            spellings += ["LO", "dir\\..\\Hi", ".\\lo.LINK"]
        else:
            os.symlink("hi", self.path("hi.symlink"))
            spellings.append("hi.symlink")
        for rom in spellings:
            with self.subTest(rom=rom):
                self.check(self.run_tool("lo", "hi", rom), CREATE, EXIT_OPEN)
                self.check_untouched()

    def test_complete_image(self):
        long_low = LOW + b"\x00" * 5000
        cases = [
            # lanes, image, what the image file held before
            ((LOW, HIGH), IMAGE, None),
            ((long_low, HIGH + b"\x01"), IMAGE, long_low),  # a lane's twin, not the lane
            ((b"", b""), b"\xff" * 16384, b"x" * 20000),
        ]
        for (low, high), image, before in cases:
            with self.subTest(low=len(low), high=len(high)):
                self.write("low lane", low)
                self.write("-", high)  # a name like any other, not standard input
                if before is not None:
                    self.write("image.rom", before)
                self.check(self.run_tool("low lane", "-", "image.rom"), b"", EXIT_OK)
                self.assertEqual(self.read("image.rom"), image)

    def test_names_outside_any_code_page(self):
        names = ["λωρίδα_χαμηλή", "старший_байт", "ＲＯＭイメージ.bin"]
        for name, content in zip(names, (LOW, HIGH)):
            self.write(name, content)
        self.check(self.run_tool(*names), b"", EXIT_OK)
        self.assertEqual(self.read(names[2]), IMAGE)
        self.check(self.run_tool(names[0], "Lane_ラ_λ_я", names[2]), OPEN_HIGH, EXIT_OPEN)

    def test_io_failures(self):
        # Linux devices; Wine reaches them through its Z: drive for the Windows build.
        mem = "/proc/self/mem"  # regular, but reading it where nothing is mapped fails
        cases = [
            (("lo", "hi", "/dev/full"), WRITE, EXIT_WRITE),
            ((mem, "hi", "image.rom"), READ_LOW, EXIT_READ),
            (("lo", mem, "/dev/full"), READ_HIGH, EXIT_READ),
            ((mem, mem, "/dev/full"), READ_LOW, EXIT_READ),
        ]
        for args, message, status in cases:
            with self.subTest(args=args):
                self.check(self.run_tool(*args), message, status)
                self.check_untouched()
        # From the failed read on, the lane yields the filler; the other lane is unaffected.
        self.assertEqual(self.read("image.rom"), bytes(b if i % 2 else 0xFF
                                                       for i, b in enumerate(IMAGE)))


@unittest.skipIf(WINDOWS, "Wine presents pipes opened by path as disk files")
class Streams(Files):
    def test_lane_from_a_pipe(self):
        result = self.run_tool("/dev/stdin", "hi", "image.rom", input=LOW + b"\x00" * 100000)
        self.check(result, b"", EXIT_OK)
        self.assertEqual(self.read("image.rom"), IMAGE)

    def test_one_pipe_as_both_lanes(self):
        result = self.run_tool("/dev/stdin", "/dev/stdin", "image.rom", input=LOW)
        self.check(result, b"", EXIT_OK)
        self.assertEqual(self.read("image.rom"), bytes(b for b in IMAGE[::2] for _ in "lh"))

    def test_lanes_from_a_fifo_and_a_process_substitution(self):
        script = ('mkfifo fifo; { head -c 7000 lo >fifo; } >/dev/null 2>&1 & '
                  'exec "$@" fifo <(cat hi) x.rom')
        result = subprocess.run(["bash", "-c", script, "bash"] + COMMAND, cwd=self.dir,
                                capture_output=True, timeout=60)
        self.check(result, b"", EXIT_OK)
        expected = bytearray(IMAGE)
        expected[2 * (7000 - 6144):4096:2] = b"\xff" * (8192 - 7000)
        self.assertEqual(self.read("x.rom"), bytes(expected))

    def test_image_to_a_pipe(self):
        result = self.run_tool("lo", "hi", "/dev/stdout", stdout=subprocess.PIPE)
        self.check(result, IMAGE, EXIT_OK)



@unittest.skipIf(WINDOWS, "needs a FIFO, signals and strace on a Linux program")
class Hardening(Files):
    def test_one_fifo_named_as_both_lanes(self):
        # A second open of the FIFO, once its writer has gone, would wait for good.
        script = ('mkfifo fifo; (head -c 7000 lo >fifo &); exec strace -o /dev/null -P "$PWD/fifo" '
                  '-e trace=openat -e inject=openat:delay_enter=300000:when=2 "$@" "$PWD/fifo" '
                  '"$PWD/fifo" x.rom')
        result = subprocess.run(["bash", "-c", script, "bash"] + COMMAND, cwd=self.dir,
                                capture_output=True, timeout=10,
                                env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        self.check(result, b"", EXIT_OK)

    def test_failed_writes_are_reported_not_signalled(self):
        cases = [("ulimit -f 8; exec \"$@\" lo hi x.rom", EXIT_WRITE),
                 ('"$@" lo hi /dev/stdout | true; exit "${PIPESTATUS[0]}"', EXIT_WRITE)]
        for script, status in cases:
            result = subprocess.run(["bash", "-c", script, "bash"] + COMMAND, cwd=self.dir,
                                    capture_output=True, timeout=20)
            self.assertEqual((result.returncode, result.stderr), (status, b""))

    def strace(self, traced, *options):
        args = [self.path(name) for name in ("lo", "hi", "x.rom")]
        return subprocess.Popen(["strace", "-o", "/dev/null", "-P", self.path(traced), *options]
                                + COMMAND + args, env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"),
                                cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_failed_seek_back_is_a_read_error(self):
        for lane, message in [("lo", READ_LOW), ("hi", READ_HIGH)]:
            run = self.strace(lane, "-e", "trace=lseek", "-e", "inject=lseek:error=EIO:when=2")
            self.assertEqual(run.communicate(timeout=20), (message, b""))

    def test_image_swapped_for_a_lane_while_opening(self):
        run = self.strace("x.rom", "-e", "trace=openat", "-e", "inject=openat:delay_enter=1000000")
        time.sleep(0.5)
        os.symlink("lo", self.path("x.tmp"))
        os.rename(self.path("x.tmp"), self.path("x.rom"))
        self.assertEqual(run.communicate(timeout=20), (CREATE, b""))
        self.check_untouched()


@unittest.skipUnless(WINDOWS, "checks the Windows executable")
class WindowsExecutable(unittest.TestCase):
    def test_imports_only_windows_own_dlls(self):
        dump = subprocess.run([os.environ["OBJDUMP"], "-p", COMMAND[-1]], capture_output=True,
                              text=True, check=True).stdout
        dlls = {line.split(":")[1].strip().lower() for line in dump.splitlines()
                if "DLL Name:" in line}
        self.assertIn("kernel32.dll", dlls)
        self.assertLessEqual(dlls, {"kernel32.dll", "msvcrt.dll"})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
