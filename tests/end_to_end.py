#!/usr/bin/env python3
"""Runs the built programs case by case. Arguments: the emulator if any, Bytelace, Byteunlace."""

import os, pathlib, random, re, reprlib, shutil, subprocess, sys, tempfile, unittest

EMULATOR, (LACE, UNLACE) = sys.argv[1:-2], map(os.path.abspath, sys.argv[-2:])
WINDOWS = LACE.endswith(".exe")
LANE, WRAP = 8192, 6144
PROGRAMS = os.environ.get("PROGRAMS", "").split()
EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


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
USAGE, UN_USAGE, SIZE = (b"Usage : Bytelace low_byte_file high_byte_file rom_file\r\n",
                         b"Usage : Byteunlace rom_file low_byte_file high_byte_file\r\n", b"Size error rom_file\r\n")
(OPEN_LO, OPEN_HI, OPEN, READ_LO, READ_HI, READ, CREATE_LO, CREATE_HI, CREATE, WRITE_LO, WRITE_HI,
 WRITE) = (f"{kind} error {lane}_file\r\n".encode()
           for kind in ("Open", "Read", "Create", "Write") for lane in ("low_byte", "high_byte", "rom"))
MEM = "/proc/self/mem"  # a regular file whose reads fail where nothing is mapped
ROOT = tempfile.TemporaryDirectory(prefix="bytelace-")  # the scratch folders, removed at exit
TRACE = 'ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -P "$PWD/{}" -e inject={} "$@" "$PWD/{}" "$PWD/{}" "$PWD/x.rom"'


def scratch(files):
    folder = tempfile.mkdtemp(dir=ROOT.name)
    for name, content in files.items():
        path = pathlib.Path(folder, name)
        if content == DIR:
            path.mkdir()
        elif isinstance(content, str):
            path.symlink_to(content)
        elif name.endswith(".link"):
            os.link(str(path)[:-5], path)
        else:
            path.write_bytes(content)
    return folder


def run(folder, program, args, stdin=b""):
    """Files left, and as 1, 2, 3 output, error output and status, of the program or a script of it."""
    script = ["bash", "-o", "pipefail", "-c", args, "bash"] if isinstance(args, str) else []
    done = subprocess.run(script + EMULATOR + [program] + (args if not script else []), cwd=folder,
                          input=stdin, capture_output=True, timeout=20)
    return {**{p.name: os.readlink(p) if p.is_symlink() else p.read_bytes() if p.is_file() else
               DIR if p.is_dir() else FIFO for p in pathlib.Path(folder).iterdir()},
            1: done.stdout, 2: done.stderr, 3: done.returncode}


class EndToEnd(unittest.TestCase):
    def same(self, actual, expected, note=""):
        """Names the entries that differ, in short: a diff of two whole images takes minutes."""
        wrong = {k: (actual.get(k), expected.get(k)) for k in actual | expected if actual.get(k) != expected.get(k)}
        self.assertFalse(wrong, f"{note} {reprlib.repr(wrong)}")

    def check(self, program, rows):
        """Rows: arguments or a bash script (not under Wine), output, status, files changed, before."""
        for args, stdout, status, changed, before in ((*row, {}, {})[:5] for row in rows):
            if not (WINDOWS and isinstance(args, str)):
                with self.subTest(program=os.path.basename(program), args=args, before=list(before)):
                    self.same(run(scratch({**START, **before}), program, args),
                              {**START, **before, **changed, 1: stdout, 2: b"", 3: status})

    def test_failures_leave_every_file_as_it_was(self):
        lo = ["lo", "./lo", "dir/../lo", "lo.link", "lo.symlink"] + WINDOWS * ["LO", "dir\\..\\Lo", ".\\lo.LINK"]
        rom = ["rom", "./rom", "rom.symlink"] + WINDOWS * ["ROM", "dir\\..\\Rom"]
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
        lost = b"\xff" * WRAP  # the low lane's main block, when its seek back to the start fails
        self.check(LACE, [(["lo", "-", "new.rom"], b"", 0, {"new.rom": ROM}, {"-": HI}),
                          (["lo", "hi", "old.rom"], b"", 0, {"old.rom": ROM}, {"old.rom": twin}),
                          (names, b"", 0, {names[2]: ROM}, {names[0]: LO, names[1]: HI}),
                          (["lo", "hi", "/dev/full"], WRITE, 4),
                          ([MEM, "hi", "x.rom"], READ_LO, 3, {"x.rom": image(b"", HI)}),
                          (["lo", MEM, "/dev/full"], READ_HI, 3), ([MEM, MEM, "/dev/full"], READ_LO, 3),
                          (TRACE.format("lo", "lseek:error=EIO:when=2", "lo", "hi"), READ_LO, 3,
                           {"x.rom": image(lost + LO[WRAP:], HI)}),
                          (TRACE.format("hi", "lseek:error=EIO:when=1", "lo", "hi"), READ_HI, 3,
                           {"x.rom": image(LO, b"")}),  # the seek to the wrap point fails
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
                            ('cat rom rom | "$@" /dev/stdin l h', SIZE, 5),
                            ('{ sleep .3; "$@" rom /dev/stdout h; } | true', b"", 4, {"h": HI})])

    def test_round_trips_over_random_lane_lengths(self):
        for n in range(40 if WINDOWS else 300):
            low, high = (rng.randbytes(rng.choice([rng.choice([0, 1, 2047, 2048, 2049, 6143, 6144, 6145, 8191, 8192,
                                                               8193, 20000]), rng.randrange(20001)])) for _ in "lh")
            rom, pad = image(low, high), lambda lane: lane[:LANE].ljust(LANE, b"\xff")
            folder, piped = scratch({"l": low, "h": high}), None if WINDOWS else "lh"[n % 2]
            for program, args in [(LACE, ["l", "h", "r"]), (UNLACE, ["r", "l2", "h2"]), (LACE, ["l2", "h2", "r2"])]:
                pipe = piped if program == LACE else piped and "r"  # one lane, then the image, piped
                stdin = pathlib.Path(folder, pipe).read_bytes() if pipe in args else b""
                left = run(folder, program, ["/dev/stdin" if a == pipe else a for a in args], stdin)
                self.assertEqual([left[1], left[2], left[3]], [b"", b"", 0], (program, len(low), len(high)))
            self.same(left, {"l": low, "h": high, "r": rom, "l2": pad(low), "h2": pad(high), "r2": rom,
                             1: b"", 2: b"", 3: 0}, (len(low), len(high), pipe))

    @unittest.skipUnless(WINDOWS, "reads Windows executables")
    def test_windows_executables(self):
        dll, xp = "", set()  # what XP SP3 exports, as "DLL name"
        for word in re.sub("#.*", "", pathlib.Path(os.environ["XP_EXPORTS"]).read_text()).split():
            dll, xp = (word, xp) if word.endswith(".dll") else (dll, xp | {f"{dll} {word}"})
        v, by = os.environ["VERSION"], "The Bytelace developers"
        version = [("CompanyName", by), ("FileVersion", v), ("ProductVersion", v)]
        version[2:2] = [("LegalCopyright", f"Copyright (c) 2026 {by}, MIT licence")]
        for exe in (os.path.join(os.path.dirname(LACE), p + ".exe") for p in PROGRAMS):
            out = lambda *command: subprocess.run([*command, exe], capture_output=True).stdout
            dump = out(os.environ["OBJDUMP"], "-p").decode()
            flags = set(dump.split()) & {"DYNAMIC_BASE", "NX_COMPAT", "TERMINAL_SERVICE_AWARE"}
            imports = {
                f"{dll} {name}"
                for dll, names in re.findall(r"DLL Name: (\S+)(.*?)\n\n", dump, re.S)
                for name in re.findall(r"^\t\w+\t +\d+  (\w+)$", names, re.M)
            }
            info = out("wrestool", "-x", "--raw", "-t", "16").decode("utf-16-le", "replace")
            strings = re.findall(r"(Company\w+|Legal\w+|\w+Version)\0+([^\0]+)", info)
            manifest = b'level="asInvoker"' in out("wrestool", "-x", "--raw", "-t", "24")
            self.assertEqual(
                [len(flags), manifest, strings, len(imports) > 9, imports - xp],
                [3, True, version, True, set()],
                exe,
            )

    @unittest.skipUnless(os.environ.get("ARCHIVES"), "no release archives to check")
    def test_archives(self):
        """Each archive's exact files (links marked @), its programs run, its texts in ASCII
        with CR LF, lintian silent on each .deb; SHA256SUMS lists and matches them all."""
        v, folder, low = (
            os.environ["VERSION"],
            os.environ["ARCHIVES"],
            [p.lower() for p in PROGRAMS],
        )
        man, exes = "share/man/man1/{}.1.gz", [p + ".exe" for p in PROGRAMS]
        unix = [f"bin/{p}" for p in PROGRAMS] + [f"bin/{p}@" for p in low]
        unix += [man.format(p) for p in low] + [man.format(p) + "@" for p in PROGRAMS]
        tar = unix + ["LICENSE", "THIRD-PARTY-NOTICES"]
        deb = unix + ["share/doc/bytelace/changelog.gz", "share/doc/bytelace/copyright"]
        deb += ["share/lintian/overrides/bytelace"]
        texts = [p + ".txt" for p in PROGRAMS + ["README", "LICENSE", "THIRD-PARTY-NOTICES"]]
        rows = [(f"bytelace-{v}-windows-x86.zip", exes + texts, "wine")]
        for arch, debian, emulator in [
            ("x86_64", "amd64", ""),
            ("aarch64", "arm64", "qemu-aarch64-static"),
            ("armhf", "armhf", "qemu-arm-static"),
        ]:
            rows += [
                (f"bytelace-{v}-linux-{arch}.tar.gz", tar, emulator),
                (f"bytelace_{v}_{debian}.deb", deb, emulator),
            ]
        sums = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=folder, capture_output=True)
        self.assertEqual(
            [sums.returncode, sorted(sums.stdout.decode().split())],
            [0, sorted([row[0] + ":" for row in rows] + ["OK"] * len(rows))],
        )
        for archive, files, emulator in rows:
            with self.subTest(archive=archive):
                unpacked, path = scratch({}), os.path.join(folder, archive)
                top = "usr/" if files == deb else re.sub(r"(\.tar)?\.\w+$", "/", archive)
                if files == deb:
                    subprocess.run(["dpkg-deb", "-x", path, unpacked], check=True)
                else:
                    shutil.unpack_archive(path, unpacked)
                lace, unlace = (
                    top + f for f in (exes if emulator == "wine" else [f"bin/{p}" for p in low])[:2]
                )
                script = (
                    f"cp {EXAMPLES}/*.bin . && {emulator} {lace} low.bin high.bin r && "
                    f"{emulator} {unlace} r l h && cmp l low.bin && cmp h high.bin"
                )
                lint = subprocess.run(
                    ["lintian", "--pedantic", path] * (files == deb) or ["true"],
                    capture_output=True,
                )
                found = [
                    str(p.relative_to(unpacked)) + "@" * p.is_symlink()
                    for p in pathlib.Path(unpacked).rglob("*")
                    if p.is_symlink() or not p.is_dir()
                ]
                crlf = rb"([ -~\t]*\r\n)*"  # ASCII lines, each ended by CR LF
                dos = all(
                    re.fullmatch(crlf, pathlib.Path(unpacked, top, t).read_bytes())
                    for t in texts
                    if t in files
                )
                self.assertEqual(
                    [
                        sorted(found),
                        run(unpacked, "", script)[3],
                        lint.returncode,
                        lint.stdout,
                        dos,
                    ],
                    [sorted(top + f for f in files), 0, 0, b"", True],
                )


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
