#!/usr/bin/env python3
"""Runs the built programs case by case. Arguments: the emulator if any, then the programs."""

import os, pathlib, random, re, reprlib, shutil, subprocess, sys, tempfile, unittest

EMULATOR, PROGRAMS = sys.argv[1:-3], [os.path.abspath(p) for p in sys.argv[-3:]]
L, U, C = PROGRAMS  # Bytelace, Byteunlace, Bytecheck
NAMES_OF_PROGRAMS = [pathlib.Path(p).stem for p in PROGRAMS]
WINDOWS = L.endswith(".exe")
LANE, WRAP = 8192, 6144
EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def word(offset):
    """The image word that holds the lanes' bytes at a lane offset."""
    return (offset + LANE - WRAP) % LANE


def image(low, high):
    """0xFF past a lane's end."""
    offsets = sorted(range(LANE), key=word)
    return bytes(lane[i] if i < len(lane) else 0xFF for i in offsets for lane in (low, high))


def mismatch(name, lane, rom):
    """Bytecheck's line for a lane, worked out afresh from the layout."""
    byte = ["low", "high"].index(name)
    got, want = lane.ljust(LANE, b"\xff"), [rom[2 * word(i) + byte] for i in range(LANE)]
    wrong = [i for i in range(LANE) if got[i] != want[i]]
    bits = 0
    for i in wrong:
        bits |= got[i] ^ want[i]
    i = wrong[0]
    line = f"Mismatch {name}_byte_file at 0x{i:04X} (image 0x{2 * word(i) + byte:04X}): "
    line += f"0x{got[i]:02X} instead of 0x{want[i]:02X} ({len(wrong)} in all, bits 0x{bits:02X})"
    return f"{line}\r\n".encode()


def messages(kind):
    return [f"{kind} error {name}_file\r\n".encode() for name in ("low_byte", "high_byte", "rom")]


rng = random.Random(2026)
LO, HI = rng.randbytes(LANE), rng.randbytes(LANE)  # random: no block can pass for another
ROM = image(LO, HI)
DIR, FIFO = "a directory", "a FIFO"
START = {"lo": LO, "hi": HI, "rom": ROM, "old.rom": b"old image", "dir": DIR}
LINKS = {"lo.symlink": "lo", "rom.link": ROM, "gone": "t"}
OPEN_LO, OPEN_HI, OPEN = messages("Open")
READ_LO, READ_HI, READ = messages("Read")
CREATE_LO, CREATE_HI, CREATE = messages("Create")
WRITE_LO, WRITE_HI, WRITE = messages("Write")
SIZE, SWAPPED = b"Size error rom_file\r\n", b"Swapped low_byte_file high_byte_file\r\n"
MEM = "/proc/self/mem"  # a regular file whose reads fail where nothing is mapped
NULL = "NUL" if WINDOWS else "/dev/null"
NAMES = ["λωρίδα", "старший", "ＲＯＭ.bin"]
ROOT = tempfile.TemporaryDirectory(prefix="bytelace-")  # the scratch folders, removed at exit


def usage(program, args):
    return f"Usage : {program} {args}\r\n".encode()


def trace(inject, target, args, before=""):
    """A script that runs the program on args with strace failing or delaying a call on the
    target, after starting the script before."""
    strace = f'strace -o /dev/null -P "$PWD/{target}" -e inject={inject}'
    paths = " ".join(f'"$PWD/{arg}"' for arg in args.split())
    return f'{before}ASAN_OPTIONS=detect_leaks=0 {strace} "$@" {paths}'


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


def left(path):
    if path.is_symlink():
        return os.readlink(path)
    if path.is_dir():
        return DIR
    return path.read_bytes() if path.is_file() else FIFO


def run(folder, program, args, stdin=b""):
    """Files left, and as 1, 2, 3 output, error output and status, of the program or a script."""
    if isinstance(args, str):
        command = ["bash", "-o", "pipefail", "-c", args, "bash"] + EMULATOR + [program]
    else:
        command = EMULATOR + [program] + args
    done = subprocess.run(command, cwd=folder, input=stdin, capture_output=True, timeout=20)
    files = {p.name: left(p) for p in pathlib.Path(folder).iterdir()}
    return {**files, 1: done.stdout, 2: done.stderr, 3: done.returncode}


class EndToEnd(unittest.TestCase):
    def same(self, actual, expected, note=""):
        """Names the entries that differ, in short: a diff of two whole images takes minutes."""
        keys = actual | expected
        wrong = {
            k: (actual.get(k), expected.get(k)) for k in keys if actual.get(k) != expected.get(k)
        }
        self.assertFalse(wrong, f"{note} {reprlib.repr(wrong)}")

    def check(self, rows):
        """Rows: program, arguments or a bash script (not under Wine), output, status, the files
        it changes, and the files there before it runs besides the usual ones."""
        for program, args, stdout, status, *files in rows:
            changed, before = (files + [{}, {}])[:2]
            if WINDOWS and isinstance(args, str):
                continue
            with self.subTest(program=os.path.basename(program), args=args, before=list(before)):
                left = run(scratch({**START, **before}), program, args)
                self.same(left, {**START, **before, **changed, 1: stdout, 2: b"", 3: status})

    def test_failures_leave_every_file_as_it_was(self):
        delay = "openat:delay_enter=1000000"
        swap = trace(delay, "x.rom", "lo hi x.rom", "(sleep .5; ln -s lo x && mv x x.rom) & ")
        replace = trace(delay, "no/h", "rom l no/h", "(sleep .5; echo other >x && mv x l) & ")
        self.check(
            [
                (L, [], usage("Bytelace", "low_byte_file high_byte_file rom_file"), 1),
                (U, ["rom", "l"], usage("Byteunlace", "rom_file low_byte_file high_byte_file"), 1),
                (C, list("1234"), usage("Bytecheck", "low_byte_file high_byte_file rom_file"), 1),
                (U, '{ sleep .3; "$@"; } | true', b"", 1),  # the usage to a reader that has gone
                (L, ["no", "nohi", "x.rom"], OPEN_LO, 2),
                (L, ["lo", "nohi", "old.rom"], OPEN_HI, 2),
                (L, ["lo", "hi", "no/x.rom"], CREATE, 2),
                (L, ["lo", "hi", "hi"], CREATE, 2),
                (L, ["lo", "hi", "lo.symlink"], CREATE, 2, {}, LINKS),
                (L, ["lo", "hi", "gone"], CREATE, 2, {}, LINKS),
                (L, '"$@" lo hi /dev/stdout >>lo', b"", 2, {"lo": LO + CREATE}),
                (L, swap, CREATE, 2, {"x.rom": "lo"}),  # the image made a link to a lane
                (L, '(sleep 1; cat lo) | timeout -s INT .3 "$@" /dev/stdin hi old.rom', b"", 124),
                (U, ["no", "l", "h"], OPEN, 2),
                (U, [MEM, "no/l", "h"], READ, 3),
                (U, trace("read:error=EIO:when=2", "rom", "rom l h"), READ, 3),
                (U, ["old.rom", "no/l", "h"], SIZE, 5),
                (U, ["x", "l", "h"], SIZE, 5, {}, {"x": ROM + b"\0"}),
                (U, ["rom", "no/l", "no/h"], CREATE_LO, 2),
                (U, ["rom", "l", "no/h"], CREATE_HI, 2),
                (U, ["rom", "lo", "dir"], CREATE_HI, 2),
                (U, ["rom", "rom.link", "h"], CREATE_LO, 2, {}, LINKS),
                (U, ["rom", "l", "gone"], CREATE_HI, 2, {}, LINKS),
                (U, ["rom", "l", "rom"], CREATE_HI, 2),
                (U, ["rom", "l", "l"], CREATE_HI, 2),
                (U, replace, CREATE_HI, 2, {"l": b"other\n"}),  # a lane this run created replaced
                (C, ["no", "no", "no"], OPEN_LO, 2),
                (C, ["lo", "no", "no"], OPEN_HI, 2),
                (C, ["lo", MEM, "dir"], OPEN, 2),
                (C, [MEM, MEM, "old.rom"], READ_LO, 3),
                (C, ["lo", MEM, "old.rom"], READ_HI, 3),
                (C, ["lo", "hi", MEM], READ, 3),
                (C, ["lo", "hi", "old.rom"], SIZE, 5),
                (C, ["lo", "hi", "x"], SIZE, 5, {}, {"x": ROM + b"\0"}),
            ]
            + WINDOWS
            * [(L, ["lo", "hi", "LO"], CREATE, 2), (U, ["rom", "l", "dir\\..\\Rom"], CREATE_HI, 2)]
        )

    def test_runs_that_write(self):
        twin = LO + bytes(10000)  # a lane's bytes without being the lane, and longer than an image
        flipped = bytearray(LO)
        for offset, bit in ((300, 4), (5000, 4), (8000, 1)):
            flipped[offset] ^= bit
        edges = [LO[:i] + bytes([LO[i] ^ 0x80]) + LO[i + 1 :] for i in (0, 6143, 6144, 8191)]
        fifo = "mkfifo f; (head -c 7000 lo >f &); "  # opened twice, it would wait for good
        fifo = trace("openat:delay_enter=300000:when=2", "f", "f f x", fifo)
        seek = trace("lseek:error=EIO", "hi", "lo hi x.rom")
        close = trace("close:error=EIO", "x.rom", "lo hi x.rom")
        around = '{ printf H; "$@" lo hi /dev/stdout; printf T; } >x'
        one_after_other = '{ "$@" rom /dev/stdout /dev/null && "$@" rom /dev/null /dev/stdout; } >x'
        both = mismatch("low", HI, ROM) + mismatch("high", flipped, ROM)
        self.check(
            [
                (L, ["lo", "-", "new.rom"], b"", 0, {"new.rom": ROM}, {"-": HI}),
                (L, ["lo", "hi", "old.rom"], b"", 0, {"old.rom": ROM}, {"old.rom": twin}),
                (L, NAMES, b"", 0, {NAMES[2]: ROM}, {NAMES[0]: LO, NAMES[1]: HI}),
                (L, [NULL, "hi", NULL], b"", 0),
                (L, ["lo", "hi", "/dev/full"], WRITE, 4),
                (L, [MEM, "hi", "x.rom"], READ_LO, 3, {"x.rom": image(b"", HI)}),
                (L, ["lo", MEM, "/dev/full"], READ_HI, 3),
                (L, [MEM, MEM, "/dev/full"], READ_LO, 3),
                (L, seek, READ_HI, 3, {"x.rom": image(LO, b"")}),
                (L, trace("ftruncate:error=EIO", "old.rom", "lo hi old.rom"), WRITE, 4),
                (L, close, WRITE, 4, {"x.rom": ROM}),
                (L, 'cat lo | "$@" /dev/stdin /dev/stdin x.rom', b"", 0, {"x.rom": image(LO, LO)}),
                (L, fifo, b"", 0, {"f": FIFO, "x": image(LO[:7000], LO[:7000])}),
                (L, '"$@" lo hi /dev/stdout | cat', ROM, 0),
                (L, around, b"", 0, {"x": b"H" + ROM + b"T"}),
                (L, 'printf H >x; "$@" lo hi /dev/stdout >>x', b"", 0, {"x": b"H" + ROM}),
                (L, 'ulimit -f 8; "$@" lo hi x.rom', WRITE, 4, {"x.rom": ROM[:8192]}),
                # the image to a pipe whose reader has gone, the message where the test sees it
                (L, 'exec 4>&1; { sleep .3; "$@" lo hi /dev/fd/3 3>&1 >&4; } | true', WRITE, 4),
                (U, ["rom", "lo", "hi"], b"", 0, {"lo": LO, "hi": HI}, {"lo": twin, "hi": b""}),
                (U, ["rom", "-", NAMES[1]], b"", 0, {"-": LO, NAMES[1]: HI}),
                (U, ["rom", NULL, NULL], b"", 0),
                (U, ["rom", "/dev/full", "h"], WRITE_LO, 4, {"h": HI}),
                (U, ["rom", "l", "/dev/full"], WRITE_HI, 4, {"l": LO}),
                (U, ["rom", "/dev/full", "/dev/full"], WRITE_LO, 4),
                (
                    U,
                    trace("ftruncate:error=EIO", "old.rom", "rom old.rom h"),
                    WRITE_LO,
                    4,
                    {"h": HI},
                ),
                (U, 'ulimit -f 4; "$@" rom l h', WRITE_LO, 4, {"l": LO[:4096], "h": HI[:4096]}),
                (U, '"$@" rom /dev/stdout h | cat', LO, 0, {"h": HI}),
                (U, one_after_other, b"", 0, {"x": LO + HI}),
                (C, NAMES, b"", 0, {}, {NAMES[0]: LO, NAMES[1]: HI, NAMES[2]: ROM}),
                (C, ["hi", "lo", "rom"], SWAPPED, 6),
                (C, ["hi", "f", "rom"], both, 6, {}, {"f": flipped}),
                (C, ["lo", "f", "rom"], mismatch("high", LO[:100], ROM), 6, {}, {"f": LO[:100]}),
            ]
            + [(C, ["e", "hi", "rom"], mismatch("low", e, ROM), 6, {}, {"e": e}) for e in edges]
        )

    def test_round_trips_over_random_lane_lengths(self):
        lengths = [0, 1, 2047, 2048, 2049, 6143, 6144, 6145, 8191, 8192, 8193, 20000]
        for n in range(40 if WINDOWS else 300):
            low, high = (
                rng.randbytes(rng.choice([rng.choice(lengths), rng.randrange(20001)])) for _ in "lh"
            )
            folder = scratch({"l": low, "h": high})
            piped = None if WINDOWS else "lh"[n % 2]  # one lane, then the image, piped
            runs = [(L, ["l", "h", "r"], piped), (U, ["r", "l2", "h2"], piped and "r")]
            runs += [(L, ["l2", "h2", "r2"], None), (C, ["l", "h", "r2"], piped)]
            for program, args, pipe in runs:
                stdin = pathlib.Path(folder, pipe).read_bytes() if pipe else b""
                files = run(
                    folder, program, ["/dev/stdin" if a == pipe else a for a in args], stdin
                )
                self.assertEqual(
                    [files[1], files[2], files[3]], [b"", b"", 0], (program, len(low), len(high))
                )
            padded = {"l2": low[:LANE].ljust(LANE, b"\xff"), "h2": high[:LANE].ljust(LANE, b"\xff")}
            rom = image(low, high)
            names = {k: v for k, v in files.items() if isinstance(k, str)}
            self.same(names, {"l": low, "h": high, "r": rom, "r2": rom, **padded})

    @unittest.skipUnless(WINDOWS, "reads Windows executables")
    def test_windows_executables(self):
        dll, xp = "", set()  # what XP SP3 exports, as "DLL name"
        for name in re.sub("#.*", "", pathlib.Path(os.environ["XP_EXPORTS"]).read_text()).split():
            dll, xp = (name, xp) if name.endswith(".dll") else (dll, xp | {f"{dll} {name}"})
        v, by = os.environ["VERSION"], "The Bytelace developers"
        version = [("CompanyName", by), ("FileVersion", v), ("ProductVersion", v)]
        version[2:2] = [("LegalCopyright", f"Copyright (c) 2026 {by}, MIT licence")]
        for exe in PROGRAMS:
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
            [p.lower() for p in NAMES_OF_PROGRAMS],
        )
        man, exes = "share/man/man1/{}.1.gz", [p + ".exe" for p in NAMES_OF_PROGRAMS]
        unix = [f"bin/{p}" for p in NAMES_OF_PROGRAMS] + [f"bin/{p}@" for p in low]
        unix += [man.format(p) for p in low] + [man.format(p) + "@" for p in NAMES_OF_PROGRAMS]
        tar = unix + ["LICENSE", "THIRD-PARTY-NOTICES"]
        deb = unix + ["share/doc/bytelace/changelog.gz", "share/doc/bytelace/copyright"]
        deb += ["share/lintian/overrides/bytelace"]
        texts = [
            p + ".txt" for p in NAMES_OF_PROGRAMS + ["README", "LICENSE", "THIRD-PARTY-NOTICES"]
        ]
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
                lace, unlace, check = (
                    top + f for f in (exes if emulator == "wine" else [f"bin/{p}" for p in low])
                )
                script = (
                    f"cp {EXAMPLES}/*.bin . && {emulator} {lace} low.bin high.bin r && "
                    f"{emulator} {unlace} r l h && cmp l low.bin && cmp h high.bin && "
                    f"{emulator} {check} l h r"
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
