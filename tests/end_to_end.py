#!/usr/bin/env python3
"""Runs the built programs case by case. Arguments: the emulator if any, then Bytelace,
Byteunlace, Bytecheck and Bytescan."""

import glob, gzip, hashlib, json, os, pathlib, random, re, reprlib, shlex, shutil, subprocess
import sys, tempfile, time, unittest, zlib
import pefile

# Rows name /dev/full and /dev/stdout as outputs: as root, a program that wrongly removed its
# outputs would remove them. Run with /dev read-only, in a mount namespace of our own.
if os.geteuid() == 0 and not os.environ.get("DEV_READ_ONLY"):
    if subprocess.run(["unshare", "-m", "true"]).returncode == 0:
        guard = 'mount --rbind /dev /dev && mount -o remount,bind,ro /dev && exec "$@"'
        os.environ["DEV_READ_ONLY"] = "1"
        os.execvp("unshare", ["unshare", "-m", "sh", "-c", guard, "sh", sys.executable, *sys.argv])
EMULATOR, PROGRAMS = sys.argv[1:-4], [os.path.abspath(p) for p in sys.argv[-4:]]
L, U, C, S = PROGRAMS
WINDOWS = L.endswith(".exe")
LANE, LEAD = 8192, 2048  # a lane's length; the words before lane offset 0 in the image


def image(low, high):
    """Word k holds the lanes' bytes at offset (k - 2048) mod 8192, 0xFF past a lane's end."""
    offsets = [(k - LEAD) % LANE for k in range(LANE)]
    return bytes(lane[i] if i < len(lane) else 0xFF for i in offsets for lane in (low, high))


def compare(byte, lane, rom):
    """The low (byte 0) or high (1) lane as the image has it, then as read, 0xFF past its end,
    and the lane offsets where they differ."""
    want, got = rom[2 * LEAD + byte :: 2] + rom[byte : 2 * LEAD : 2], lane.ljust(LANE, b"\xff")
    return want, got, [i for i in range(LANE) if got[i] != want[i]]


def mismatch(byte, lane, rom):
    """Bytecheck's line for the low (byte 0) or high (1) lane, worked out from the image."""
    want, got, wrong = compare(byte, lane, rom)
    bits, i = 0, wrong[0]
    for k in wrong:
        bits |= got[k] ^ want[k]
    line = f"Mismatch {('low', 'high')[byte]}_byte_file at 0x{i:04X} "
    line += f"(image 0x{2 * ((i + LEAD) % LANE) + byte:04X}): 0x{got[i]:02X} instead of "
    return f"{line}0x{want[i]:02X} ({len(wrong)} in all, bits 0x{bits:02X})\r\n".encode()


def flip(lane, *changes):
    """The lane with the bits of each (offset, bits) change flipped."""
    lane = bytearray(lane)
    for offset, bits in changes:
        lane[offset] ^= bits
    return bytes(lane)


def sums(name, data):
    """Bytescan's line of checksums, worked out by zlib and hashlib."""
    line = f"{name}: {len(data)} bytes, CRC32 {zlib.crc32(data):08x}, "
    return f"{line}SHA-1 {hashlib.sha1(data).hexdigest()}, sum 0x{sum(data) % 65536:04x}\r\n"


def scan(low, high, *findings):
    """Bytescan's report on two lanes with these findings."""
    lines = (
        sums("low_byte_file", low) + sums("high_byte_file", high) + sums("image", image(low, high))
    )
    return (lines + "".join(f"{finding}\r\n" for finding in findings)).encode()


def fault(lane, kind, j, k=0):
    """The lane as a chip with a fault gives it back: data bits j set and k cleared ("stuck"),
    address line j held at k ("held"), data or address lines j and k swapped ("swap", "cross"),
    or only the addresses with line j set and k clear reading those the other way ("half")."""
    swap, n = lambda x: x ^ ((x >> j ^ x >> k) & 1) * (1 << j | 1 << k), range(LANE)
    if kind == "stuck":
        return bytes(b & ~k | j for b in lane)
    if kind == "held":
        return bytes(lane[i & ~(1 << j) | k << j] for i in n)
    if kind == "half":
        return bytes(lane[swap(i) if i >> j & 1 else i] for i in n)
    return bytes(swap(b) for b in lane) if kind == "swap" else bytes(lane[swap(i)] for i in n)


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
SIZE_HI, LIMIT = b"Size error high_byte_file\r\n", 4194304  # the longest lane Bytescan takes
CHOSEN = " chosen: choose its file above, or drop it on its box."  # the page's explanations
IMAGE_IS = ": an image is 16384 bytes, two lanes of 8192."
SCAN_IS = f"This high lane is {LIMIT + 1} bytes: Scan takes lanes of up to {LIMIT} bytes (4 MiB), "
SCAN_IS += "more than any parallel EPROM holds."
USAGE = b"Usage : %s low_byte_file high_byte_file rom_file\r\n"
UNLACE_USAGE = b"Usage : Byteunlace rom_file low_byte_file high_byte_file\r\n"
CHROMIUM = "--headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-sync "
CHROMIUM += "--disable-background-networking --disable-component-update"  # nothing of its own
LOCAL = ("file:", "blob:", "data:", "chrome")  # the page's own, or the browser's (chrome-*:)
MATCH = "The lanes join to exactly this image."
MEM = "/proc/self/mem"  # a regular file whose reads fail where nothing is mapped
NULL = "NUL" if WINDOWS else "/dev/null"
NAMES = ["λωρίδα", "старший", "ＲＯＭ.bin"]
ROOT = tempfile.TemporaryDirectory(prefix="bytelace-")  # the scratch folders, removed at exit
os.chmod(ROOT.name, 0o711)  # for runs as another user
FUSE = os.geteuid() == 0 and os.path.exists("/dev/fuse")  # a FUSE view can be mounted
PEER = os.environ.get("PEER", "")  # Windows: a pipe server, or a holder of a file, and a command
WRITE_BACK = "mergerfs -o cache.files=full,cache.writeback=true"  # caches what is written


def trace(inject, target, args, before=""):
    """A script: before, then the program on args with strace failing or delaying a call on
    the target."""
    paths = " ".join(f'-P "$PWD/{path}"' for path in target.split())
    strace = f"strace -o /dev/null {paths} -e inject={inject}"
    paths = " ".join(arg if arg[0] in "/>" else f'"$PWD/{arg}"' for arg in args.split())
    return f'{before}ASAN_OPTIONS=detect_leaks=0 {strace} "$@" {paths}'


def nobody(args, before=""):
    """A script: before, then the program, copied where all may run it, run on args by the user
    nobody, who owns none of the files there."""
    copy = 'p=("$@"); cp "${p[-1]}" prog; chmod 777 .; set -- "${p[@]::${#p[@]}-1}" ./prog'
    user = "setpriv --reuid=65534 --regid=65534 --clear-groups"
    return f'{before}{copy}; {user} "$@" {args}; s=$?; rm prog; exit $s'


def view(mount, args, before="", after=""):
    """A script: before, then the program on args with a FUSE view of the folder, or of r,
    mounted at v."""
    mount = f"{before}mkdir -p r v && {mount} v"
    return f'{mount} && "$@" {args}; s=$?; umount v; {after}rm -r r v; exit $s'


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
    """Files left, and as 1, 2, 3 output, error output and status, of the program, a script, or
    a ("cmd", line) run by bash, or under Wine by cmd with the program on its path."""
    line = args[1] if isinstance(args, tuple) else args
    if WINDOWS and isinstance(args, tuple):
        os.environ["WINEPATH"] = "Z:" + os.path.dirname(program).replace("/", "\\")
        command = EMULATOR + ["cmd", "/c", line.replace('"$@"', os.path.basename(program))]
    elif isinstance(line, str):
        command = ["bash", "-o", "pipefail", "-c", line, "bash"] + EMULATOR + [program]
    else:
        command = EMULATOR + [program] + args
    done = subprocess.run(command, cwd=folder, input=stdin, capture_output=True, timeout=20)
    files = {}
    for path in pathlib.Path(folder).iterdir():
        is_file = path.is_file() and not path.is_symlink()
        files[path.name] = path.read_bytes() if is_file else DIR if path.is_dir() else FIFO
        files[path.name] = os.readlink(path) if path.is_symlink() else files[path.name]
    return {**files, 1: done.stdout, 2: done.stderr, 3: done.returncode}


class EndToEnd(unittest.TestCase):
    def same(self, actual, expected):
        """Names the entries that differ, each shown from a little before its first difference:
        a diff of two whole images takes minutes."""
        wrong = {k: (actual.get(k), v) for k, v in expected.items() if actual.get(k) != v}
        wrong |= {k: (v, None) for k, v in actual.items() if k not in expected}
        for k, pair in wrong.items():
            if all(isinstance(x, (bytes, str, list)) for x in pair):
                at = next((i for i, (a, b) in enumerate(zip(*pair)) if a != b), min(map(len, pair)))
                wrong[k] = (f"from {at}:", *(reprlib.repr(x[max(at - 8, 0) :]) for x in pair))
        if wrong:  # not assertFalse, which would print the whole dict first
            self.fail(f"{list(wrong)} differ (got, wanted): {wrong}")

    def check(self, rows):
        """Rows: program, arguments, a bash script (not under Wine) or a ("cmd", line), output,
        status, the files it changes, and the files there before it runs besides the usual ones."""
        for program, args, stdout, status, *files in rows:
            changed, before = (files + [{}, {}])[:2]
            if not (WINDOWS and isinstance(args, str)):
                with self.subTest(program=os.path.basename(program), args=args):
                    left = run(scratch({**START, **before}), program, args)
                    self.same(left, {**START, **before, **changed, 1: stdout, 2: b"", 3: status})

    def test_failures_leave_every_file_as_it_was(self):
        delay = "openat:delay_enter=1000000"
        gone = '{ sleep .3; "$@" %s; } | true'  # the usage to a reader that has gone
        swap = trace(delay, "x.rom", "lo hi x.rom", "(sleep .5; ln -s lo x && mv x x.rom) & ")
        relink = "(sleep .5; ln -s other x && mv x old.rom) & "  # an output made a link elsewhere
        relink = trace(delay, "old.rom", "lo hi old.rom", relink)
        replace = trace(delay, "no/h", "rom l no/h", "(sleep .5; echo other >x && mv x l) & ")
        huge = 'cp lo x; truncate -s 3G x; "$@" x hi x; s=$?; truncate -s 8192 x; exit $s'
        # Every look at the target fails, or the second on; strace counts fstat, newfstatat and
        # statx apart, and which of them a look takes depends on the C library and QEMU.
        second = "fstat:error=EIO -e inject=newfstatat,statx:error=EIO:when=2"
        # Only the look at a new output once it is open fails: a first run finds which call
        # that is, and its number among its kind, which the C library and QEMU decide.
        found = 'ASAN_OPTIONS=detect_leaks=0 strace -o t -P "$PWD/x" -e trace=%%stat "$@" '
        found += '"$PWD/lo" "$PWD/hi" "$PWD/x" >/dev/null; rm x; '
        found += "c=$(grep -m1 -E '^\\w+\\([0-9]' t | cut -d'(' -f1); "
        found += 'n=$(grep -E "^$c\\(" t | grep -n -m1 -E "^$c\\([0-9]" | cut -d: -f1); rm t; '
        found = trace("$c:error=EIO:when=$n", "x", "lo hi x", found)
        unknown = lambda target, args, calls="%%stat:error=EIO": trace(calls, target, args)
        self.check(
            [
                (L, list("1234"), USAGE % b"Bytelace", 1),
                (U, ["rom", "l"], UNLACE_USAGE, 1),
                (C, list("1234"), USAGE % b"Bytecheck", 1),
                (L, gone % "", b"", 1),
                (U, gone % "1 2 3 4", b"", 1),
                (C, gone % "1 2", b"", 1),
                (L, ["no", "nohi", "x.rom"], OPEN_LO, 2),
                (L, ["lo", "nohi", "no/x.rom"], OPEN_HI, 2),
                (L, ["lo", "hi", "no/x.rom"], CREATE, 2),
                (L, ["lo", "hi", "HI" if WINDOWS else "hi"], CREATE, 2),
                (L, ["lo", "hi", "lo.symlink"], CREATE, 2, {}, LINKS),
                (L, ["lo", "hi", "gone"], CREATE, 2, {}, LINKS),
                (L, '"$@" lo hi /dev/stdout >>lo', b"", 2, {"lo": LO + CREATE}),
                (L, swap, CREATE, 2, {"x.rom": "lo"}),  # the image made a link to a lane
                (L, '(sleep 1; cat lo) | timeout -s INT .3 "$@" /dev/stdin hi old.rom', b"", 124),
                *[
                    (L, f'(sleep 1; cat lo) | timeout -s {s} .3 "$@" /dev/stdin hi x', b"", 124)
                    for s in ("INT", "HUP", "TERM")
                ],
                (L, unknown("lo", "lo hi x"), OPEN_LO, 2),
                (L, unknown("old.rom", "lo hi old.rom"), CREATE, 2),
                (L, unknown("old.rom", "lo hi old.rom", second), CREATE, 2),
                (L, unknown("old.rom", "lo hi old.rom", "%%stat:error=EIO:when=1"), CREATE, 2),
                (L, found, CREATE, 2),
                (L, relink, CREATE, 2, {"old.rom": "other"}, {"other": b"other"}),
                (L, huge, CREATE, 2, {"x": LO}),  # a 3 GiB lane as the image
                (L, [MEM, "hi", "old.rom"], READ_LO, 3),
                (L, [MEM, "hi", "x.rom"], READ_LO, 3),
                (L, trace("lseek:error=EIO", "hi", "lo hi x"), READ_HI, 3),
                (L, trace("lseek:error=EIO:when=2", "hi", "lo hi x"), READ_HI, 3),
                (U, trace("fcntl:signal=SIGINT:when=1", "h", "rom l h"), b"", -2),
                (L, '"$@" lo hi /dev/fd/ 0<>x', CREATE, 2, {"x": b""}),
                *(
                    [(L, view("bindfs .", "v/lo hi lo", "touch -d 2001-01-01 lo; "), CREATE, 2)]
                    if FUSE
                    else []
                ),
                *([(U, view("bindfs .", "rom v/rom h"), CREATE_LO, 2)] if FUSE else []),
                (U, ["no", "l", "h"], OPEN, 2),
                (U, [MEM, "no/l", "h"], READ, 3),
                (U, trace("read:error=EIO:when=2", "rom", "rom l h"), READ, 3),
                (U, ["old.rom", "no/l", "h"], SIZE, 5),
                (U, ["x", "l", "h"], SIZE, 5, {}, {"x": ROM + b"\0"}),
                (U, ["rom", "no/l", "no/h"], CREATE_LO, 2),
                (U, ["rom", "lo", "dir"], CREATE_HI, 2),
                (U, ["rom", "rom.link", "h"], CREATE_LO, 2, {}, LINKS),
                (U, ["rom", "l", "gone"], CREATE_HI, 2, {}, LINKS),
                (U, ["rom", "l", "dir\\..\\Rom" if WINDOWS else "rom"], CREATE_HI, 2),
                (U, ["rom", "l", "l"], CREATE_HI, 2),
                (U, replace, CREATE_HI, 2, {"l": b"other\n"}),  # a lane this run created replaced
                (U, 'mkfifo f; (cat rom >f &); "$@" f f h', CREATE_LO, 2, {"f": FIFO}),
                (C, ["no", "no", "no"], OPEN_LO, 2),
                (C, ["lo", "no", "no"], OPEN_HI, 2),
                (C, ["lo", MEM, "dir"], OPEN, 2),
                (C, [MEM, MEM, "old.rom"], READ_LO, 3),
                (C, ["lo", MEM, MEM], READ_HI, 3),
                (C, ["lo", "hi", MEM], READ, 3),
                (C, ["lo", "hi", "x"], SIZE, 5, {}, {"x": ROM + b"\0"}),
                (C, ["lo", "hi", "x"], SIZE, 5, {}, {"x": ROM[:-1]}),
            ]
        )

    def test_runs_that_write(self):
        twin = LO + bytes(10000)  # a lane's bytes without being the lane, and longer than an image
        both = {"l": flip(LO, (0, 4), (300, 1), (8000, 4)), "h": flip(HI, (8191, 0x80))}
        edges = {"l": flip(LO, (6143, 2)), "h": flip(HI, (6144, 2))}
        lines = [
            mismatch(0, lanes["l"], ROM) + mismatch(1, lanes["h"], ROM) for lanes in (both, edges)
        ]
        fifo = "mkfifo f; (head -c 7000 lo >f &); "  # opened twice, it would wait for good
        fifo = trace("openat:delay_enter=300000:when=2", "f", "f f x", fifo)
        around = '{ printf H; "$@" lo hi /dev/stdout; printf T; } >x'
        nohup = (
            '(sleep 1; cat lo) | { trap "" HUP; "$@" /dev/stdin hi x <&0 & sleep .3; kill -HUP $!; '
        )
        nohup += "wait $!; }"  # an ignored SIGHUP stays ignored
        one_after_other = '{ "$@" rom /dev/stdout /dev/null && "$@" rom /dev/null /dev/stdout; } >x'
        crossed = [mismatch(0, HI, ROM) + mismatch(1, both["l"], ROM)]  # one lane crossed only
        crossed += [mismatch(0, both["l"], ROM) + mismatch(1, LO, ROM)]
        no_more = 'cat rom rom | { "$@" /dev/stdin l h; s=$?; cat >x; exit $s; }'  # 16385 read
        empty_fails = trace("ftruncate:error=EIO", "old.rom", "rom old.rom h")
        huge_image = 'truncate -s 3G y; "$@" lo hi y; s=$?; head -c 16385 y >x; rm y; exit $s'
        closing = trace("close:error=EIO", "x", "lo hi /dev/stdout >x")
        socket = "import socket, subprocess as s, sys; a, b = socket.socketpair(); "
        socket += "c = s.run(sys.argv[1:], stdout=a).returncode; a.close(); "
        socket += 'sys.stdout.buffer.write(b"".join(iter(lambda: b.recv(9), b""))); sys.exit(c)'
        socket = f"python3 -c '{socket}' \"$@\" lo hi /dev/stdout"
        alias = view(f"{WRITE_BACK} r", "rom v/L r/L", after="mv r/L x; ")  # one file, two lanes
        # Two files with one inode number and size on two devices, but other times: not one.
        twins = "mkdir a b && mount -t tmpfs t a && mount -t tmpfs t b && cp lo a/l && cp hi b/x"
        twins += " && touch -d 2001-01-01 b/x && [ $(stat -c %i a/l) = $(stat -c %i b/x) ] && "
        twins += '"$@" a/l hi b/x; s=$?; mv b/x x; umount a b; rmdir a b; exit $s'
        pipe, name = "\\\\.\\pipe\\bytelace", os.path.basename(L)  # Wine: a pipe, a file held
        peer = [(PEER, ["pipe", pipe, f"{name} lo hi {pipe}"], ROM, 0)]
        held = ["hold", "l", f"{os.path.basename(U)} rom l h"]  # the low lane, read back if it can
        peer += [(PEER, held, b"", 0, {"l": LO, "h": HI}, {"l": b""})]
        self.check(
            [
                (L, ["lo", "hi", "old.rom"], b"", 0, {"old.rom": ROM}, {"old.rom": twin}),
                (L, ["-", NAMES[1], "x"], b"", 0, {"x": ROM}, {"-": LO, NAMES[1]: HI}),
                (L, [NULL, "hi", NULL], b"", 0),
                (L, ["lo", "hi", "/dev/full"], WRITE, 4),
                (L, ["lo", MEM, "/dev/full"], READ_HI, 3),
                (L, [MEM, MEM, "/dev/full"], READ_LO, 3),
                (L, trace("read:error=EINTR:when=2", "lo", "lo hi x"), b"", 0, {"x": ROM}),
                (L, trace("openat:error=EINTR:when=1+2", "lo x", "lo hi x"), b"", 0, {"x": ROM}),
                (L, trace("close:error=EIO", "x", "lo hi x"), WRITE, 4, {"x": ROM}),
                (L, closing, b"", 4, {"x": ROM + WRITE}),  # standard output's file fails at close
                (L, huge_image, b"", 0, {"x": ROM}),
                (L, 'cat lo | "$@" /dev/stdin /dev/stdin x.rom', b"", 0, {"x.rom": image(LO, LO)}),
                (L, fifo, b"", 0, {"f": FIFO, "x": image(LO[:7000], LO[:7000])}),
                (L, around, b"", 0, {"x": b"H" + ROM + b"T"}),
                (L, nohup, b"", 0, {"x": ROM}),
                (L, 'printf H >x; "$@" lo hi /dev/stdout >>x', b"", 0, {"x": b"H" + ROM}),
                (L, 'printf H >x; "$@" lo hi /dev/fd/3 3>>x', b"", 0, {"x": b"H" + ROM}),
                (L, 'printf H >x; "$@" lo hi /proc/self/fd/3 3>>x', b"", 0, {"x": b"H" + ROM}),
                (L, '"$@" lo hi /dev/stderr 2>x', b"", 0, {"x": ROM}),
                (L, ["lo", "hi", "link"], b"", 0, {"old.rom": ROM}, {"link": "old.rom"}),
                (L, trace("close:signal=SIGTERM", "x", "lo hi x"), b"", -15, {"x": ROM}),
                (U, nobody("rom l h", "chmod 222 l; "), b"", 0, {"l": LO, "h": HI}, {"l": b"l"}),
                (L, f'"$@" {MEM} hi /dev/stdout >x', b"", 3, {"x": READ_LO}),
                (L, ("cmd", '"$@" lo hi x > x'), b"", 0, {"x": ROM}),
                (
                    L,
                    ("cmd", '"$@" lo hi old.rom >> old.rom'),
                    b"",
                    0,
                    {"old.rom": b"old image" + ROM},
                ),
                (L, socket, ROM, 0),
                (L, 'ulimit -f 8; "$@" lo hi x.rom', WRITE, 4, {"x.rom": ROM[:8192]}),
                # the image to a pipe whose reader has gone, the message where the test sees it
                (L, 'exec 4>&1; { sleep .3; "$@" lo hi /dev/fd/3 3>&1 >&4; } | true', WRITE, 4),
                (U, ["rom", "lo", "hi"], b"", 0, {"lo": LO, "hi": HI}, {"lo": twin, "hi": b""}),
                (U, [NAMES[0], "-", NAMES[1]], b"", 0, {"-": LO, NAMES[1]: HI}, {NAMES[0]: ROM}),
                (U, ["rom", NULL, NULL], b"", 0),
                (U, ["rom", "/dev/full", "h"], WRITE_LO, 4),
                (U, ["rom", "l", "/dev/full"], WRITE_HI, 4, {"l": LO}),
                (U, ["rom", "/dev/full", "/dev/full"], WRITE_LO, 4),
                (U, empty_fails, WRITE_LO, 4),
                (U, 'ulimit -f 4; "$@" rom l old.rom', WRITE_LO, 4, {"l": LO[:4096]}),
                (U, trace("write:error=EINTR:when=1", "l", "rom l h"), b"", 0, {"l": LO, "h": HI}),
                (U, '"$@" rom /dev/stdout h | cat', LO, 0, {"h": HI}),
                (U, '"$@" rom l h >&-', b"", 0, {"l": LO, "h": HI}),  # standard output closed
                (U, no_more, SIZE, 5, {"x": ROM[1:]}),
                (U, one_after_other, b"", 0, {"x": LO + HI}),
                *(
                    [(U, alias, WRITE_LO, 4, {"x": HI}), (L, twins, b"", 0, {"x": ROM})]
                    if FUSE
                    else []
                ),
                *(peer if PEER else []),
                (C, ["hi", "lo", "rom"], SWAPPED, 6),
                (C, ["hi", NAMES[0], "rom"], crossed[0], 6, {}, {NAMES[0]: both["l"]}),
                (C, [NAMES[0], "lo", "rom"], crossed[1], 6, {}, {NAMES[0]: both["l"]}),
                (C, ["lo", "l", "rom"], mismatch(1, LO[:100], ROM), 6, {}, {"l": LO[:100]}),
                (C, ["l", "h", "rom"], lines[0], 6, {}, both),
                (C, ["l", "h", "rom"], lines[1], 6, {}, edges),
            ]
        )

    def test_findings(self):
        """Bytescan's checksums and findings on lanes built to show each, and Bytecheck's cause
        for each fault of a chip, or none where no one fault explains every difference."""
        name, rows = ("low_byte_file", "high_byte_file"), []
        short = rng.randbytes(LANE - 1)
        odd = [rng.randbytes(LANE + 55)]  # SHA-1's last block full, or not; half the same
        odd += [odd[0][:4096] + rng.randbytes(LANE - 4096 + 56)]
        mirror = bytes(b for b in HI[:2048] for _ in "ab") * 2
        unused, huge = "offsets from 8192 on unused, they", bytes(4194305)
        for low, high, findings in [  # L and H stand for the lanes' names
            (LO, HI, []),
            (  # more than one piece read, and two blank lanes, which are not "Same lanes"
                b"\xff" * 3 * LANE,
                b"",
                [
                    "Blank L: every byte is 0xFF",
                    f"Size L: 24576 bytes, {unused} repeat the first 8192",
                    "Blank H: every byte is 0xFF",
                    "Size H: 0 bytes, offsets 0 to 8191 read as 0xFF",
                ],
            ),
            (
                *odd,
                [
                    f"Size {n}: {8192 + k} bytes, {unused} differ from the first 8192"
                    for n, k in (("L", 55), ("H", 56))
                ],
            ),
            (
                LO + LO,
                short,
                [
                    f"Size L: 16384 bytes, {unused} repeat the first 8192",
                    "Size H: 8191 bytes, offsets 8191 to 8191 read as 0xFF",
                ],
            ),
            (  # a blank first half that is not 0xFF: no chip read as a larger one
                bytes(LANE) + LO,
                HI,
                [
                    "Blank L: every byte is 0x00",
                    f"Size L: 16384 bytes, {unused} differ from the first 8192",
                ],
            ),
            (  # the high lane as long as may be
                b"\xff" * LANE + LO,
                huge[:-1],
                [
                    "Blank L: every byte is 0xFF",
                    f"Size L: 16384 bytes, {unused[:-5]} and the first 8192 are 0xFF",
                    "Blank H: every byte is 0x00",
                    f"Size H: 4194304 bytes, {unused} repeat the first 8192",
                ],
            ),
            (
                fault(LO, "stuck", 4, 0x80),
                fault(HI, "stuck", 4),
                [
                    "Fixed bits L: D2 always 1 (bus D2), D7 always 0 (bus D7)",
                    "Fixed bits H: D2 always 1 (bus D10)",
                ],
            ),
            (
                LO[:4096] * 2,
                mirror,
                ["Mirrored L: A12 changes nothing", "Mirrored H: A0, A12 change nothing"],
            ),
            (LO, LO, ["Same lanes: L and H hold the same 8192 bytes"]),
        ]:
            findings = [re.sub(r"\b[LH]\b", lambda m: name[m[0] == "H"], f) for f in findings]
            files = {"l": low, "h": high}
            rows += [(S, ["l", "h"], scan(low, high, *findings), 7 if findings else 0, {}, files)]
        rows += [
            (S, 'cat lo | "$@" /dev/stdin /dev/stdin', rows[-1][2], 7),
            (S, ["lo"], b"Usage : Bytescan low_byte_file high_byte_file\r\n", 1),
            (S, ["no", "no"], OPEN_LO, 2),
            (S, ["lo", "dir"], OPEN_HI, 2),
            (S, [MEM, "lo"], READ_LO, 3),
            (S, ["lo", MEM], READ_HI, 3),
            (S, ["x", "lo"], b"Size error low_byte_file\r\n", 5, {}, {"x": huge}),
            (S, ["lo", "x"], b"Size error high_byte_file\r\n", 5, {}, {"x": huge}),
            (S, '"$@" lo hi >/dev/full', b"", 4),
        ]
        for chip, lane, cause in [
            *[(1, fault(HI, "stuck", 1 << b), f"D{b} stuck at 1 (bus D{b + 8})") for b in range(8)],
            *[(0, fault(LO, "stuck", 0, 1 << b), f"D{b} stuck at 0 (bus D{b})") for b in range(8)],
            (0, fault(LO, "stuck", 0x40, 1), "D0 stuck at 0, D6 stuck at 1 (bus D0, D6)"),
            (1, b"", "every byte 0xFF, not programmed or not read"),
            (0, fault(LO, "held", 0, 1), "A0 stuck at 1"),
            (1, fault(HI, "held", 5, 0), "A5 stuck at 0"),
            (0, fault(LO, "held", 12, 0), "A12 stuck at 0"),
            (1, fault(HI, "swap", 3, 4), "D3 and D4 swapped (bus D11, D12)"),
            (0, fault(LO, "swap", 0, 7), "D0 and D7 swapped (bus D0, D7)"),
            (0, fault(LO, "cross", 3, 4), "A3 and A4 swapped"),
            (1, fault(HI, "cross", 0, 12), "A0 and A12 swapped"),
            (1, flip(fault(HI, "stuck", 4), (100, 0x10)), None),  # one more byte differs
            (0, fault(LO, "half", 3, 4), None),
            (0, rng.randbytes(LANE), None),
        ]:
            lanes = [LO, HI]
            lanes[chip] = lane
            lines = mismatch(chip, lane, ROM) + f"Cause {name[chip]}: {cause}\r\n".encode() * bool(
                cause
            )
            rows += [(C, ["l", "h", "rom"], lines, 6, {}, {"l": lanes[0], "h": lanes[1]})]
        self.check(rows)

    def test_round_trips_over_random_lane_lengths(self):
        lengths = [0, 1, 2047, 2048, 2049, 6143, 6144, 6145, 8191, 8192, 8193, 20000]
        for n in range(40 if WINDOWS else 300):
            length = lambda: rng.choice([rng.choice(lengths), rng.randrange(20001)])
            low, high = rng.randbytes(length()), rng.randbytes(length())
            folder, rom = scratch({"l": low, "h": high}), image(low, high)
            piped = None if WINDOWS else "lh"[n % 2]  # one lane, then the image, piped
            runs = [(L, "l h r", piped), (U, "r l2 h2", piped and "r"), (L, "l2 h2 r2", None)]
            for program, args, pipe in runs + [(C, "l h r2", piped)]:
                stdin = pathlib.Path(folder, pipe).read_bytes() if pipe else b""
                args = ["/dev/stdin" if a == pipe else a for a in args.split()]
                files = run(folder, program, args, stdin)
                self.assertEqual([files[1], files[2], files[3]], [b"", b"", 0], (program, args))
            pad = {f"{k}2": v[:LANE].ljust(LANE, b"\xff") for k, v in (("l", low), ("h", high))}
            del files[1], files[2], files[3]
            self.same(files, {"l": low, "h": high, "r": rom, "r2": rom, **pad})

    @unittest.skipIf(WINDOWS or EMULATOR, "runs once, natively")
    def test_install_deps(self):
        """scripts/install-deps against stand-ins for apt-get, apt-cache, dpkg, dpkg-query, id and
        sudo that log their calls: on a fresh machine, a complete one and one where two packages
        were removed, as root and not, the calls to apt-get and dpkg that change the machine."""
        stub = """#!/bin/sh
            echo "${0##*/} $*" >>"$LOG"
            for last; do :; done
            case ${0##*/}:$STATE:$2 in
            id*) echo "$ID" ;; sudo*) exec "$@" ;; apt-cache*) echo "  Depends: clang-14" ;;
            dpkg:fresh*) ;; dpkg:*) echo i386 ;; dpkg-query:fresh*) exit 1 ;;
            *two*Abbrev*) printf 'ii libc++-%s-dev-wasm32\\n' 14 19 ;;
            *Abbrev*) echo "ii libc++-14-dev-wasm32" ;;
            *partial*) case $last in wine32:i386) echo deinstall ok config-files ;;
                chromium) echo unknown ok not-installed ;; *) echo install ok installed ;; esac ;;
            *two*) case $last in clang-19 | lld-19) ;; *) echo install ok installed ;; esac ;;
            *) echo install ok installed ;;
            esac"""
        stubs = scratch({"stub": stub.replace("\n            ", "\n").encode()})
        for name in "apt-get apt-cache dpkg dpkg-query id sudo".split():
            os.symlink("stub", os.path.join(stubs, name))
        os.chmod(os.path.join(stubs, "stub"), 0o755)
        script = pathlib.Path(__file__).resolve().parents[1] / "scripts/install-deps"
        ii, arch = "apt-get install", ["dpkg --add-architecture i386"]
        root = ["apt-get update", ii]
        sudo = "sudo env DEBIAN_FRONTEND=noninteractive "
        user = ["sudo apt-get update", "apt-get update", sudo + ii, ii]
        for state, uid, sets, calls, wanted in [  # "=": exactly these packages, else at least
            ("fresh", 0, "tests", arch + root, "wine32:i386 mergerfs chromium clang-14"),
            ("fresh", 1000, "bench", user, "hyperfine chromium python3-selenium clang-14"),
            ("fresh", 1000, "web", user, "clang-14 lld-14 wasi-libc libc++-14-dev-wasm32"),
            ("complete", 0, "tests bench web", [], ""),
            ("partial", 1000, "tests", user, "=wine32:i386 chromium"),
            ("two", 0, "web", root, "=clang-19 lld-19"),  # the newest LLVM installed
        ]:
            log, env = os.path.join(stubs, "log"), {"ID": str(uid), "STATE": state}
            env |= {"LOG": log, "PATH": f"{stubs}:{os.environ['PATH']}"}
            subprocess.run(["sh", script, *sets.split()], env=env, check=True, capture_output=True)
            lines = pathlib.Path(log).read_text().splitlines()
            os.remove(log)
            lines = [l for l in lines if l.startswith(("apt-get", "sudo", "dpkg --add"))]
            got = [re.sub(" -y --no-install-recommends .*", "", l) for l in lines]
            installed, exact = set(lines[-1].split()[4:] if lines else []), wanted[:1] == "="
            wanted = set(wanted.strip("=").split())
            got += [installed == wanted if exact else installed >= wanted]
            self.assertEqual(got, calls + [True], (state, uid, sets, installed))

    @unittest.skipUnless(os.environ.get("PAGE"), "no page built")
    def test_page(self):
        """The page in headless Chromium from file://, by its file inputs and download links and by
        window.bytelace, against the programs on the same files; and no request that it made."""
        from selenium import webdriver
        from selenium.webdriver.support.wait import WebDriverWait

        saved, options = scratch({}), webdriver.ChromeOptions()
        for flag in f"{CHROMIUM} --user-data-dir={saved}/profile".split():
            options.add_argument(flag)
        options.add_experimental_option("prefs", {"download.default_directory": saved})
        options.set_capability("goog:loggingPrefs", {"performance": "ALL"})
        service = webdriver.chrome.service.Service("/usr/bin/chromedriver")  # Debian's, by name
        browser = webdriver.Chrome(options=options, service=service)
        self.addCleanup(browser.quit)
        wait = WebDriverWait(browser, 10, ignored_exceptions=[OSError]).until
        # The addresses that each map marks, read back from its pixels.
        marks = "return [...document.querySelectorAll('#map-low, #map-high')].filter((c) => "
        marks += (
            "c.offsetParent).map((c) => { const a = c.getContext('2d').getImageData(0, 0, 128, "
        )
        marks += "64).data; return [...Array(8192).keys()].filter((i) => a[4 * i + 3] == 255) })"

        def outcome():
            """The result, the maps' marks if any, and the downloads (link, file name, bytes)."""
            got = [wait(lambda _: browser.find_element("id", "result").text, "no result")]
            got += [m for m in [browser.execute_script(marks)] if m]
            for link in browser.find_elements("css selector", "#downloads a"):
                link.click()
                path = pathlib.Path(saved, link.get_attribute("download"))
                got += [(link.get_attribute("id"), path.name, wait(lambda _: path.read_bytes()))]
                path.unlink()
            return got

        def page(task, *args):
            """The outcome of a click with these bytes as files, then what window.bytelace returns
            for them or the message that it throws."""
            browser.get(pathlib.Path(os.environ["PAGE"]).as_uri())
            fields = ["image"] if task == "split" else ["low", "high", "image"]
            folder = scratch({k: v for k, v in zip(fields, args) if v is not None})
            for field in os.listdir(folder):
                browser.find_element("id", field).send_keys(os.path.join(folder, field))
            browser.find_element("id", task).click()
            call = "const [t, a] = arguments; try { const r = bytelace[t](...a.map((x) => x && new "
            call += (
                "Uint8Array(x))); return r.low ? [[...r.low], [...r.high]] : [...r] } catch (e) {"
            )
            # Lanes of Bytescan's limit are all zeros: sent as their length, which is cheaper.
            args = [a if a is None else [*a] if len(a) < LIMIT else len(a) for a in args]
            return outcome() + [browser.execute_script(call + " return e.message }", task, args)]

        lengths, rows = [0, 100, 6145, 8192, 20000], []
        stuck = bytes(LO[i & ~8] for i in range(LANE)), bytes(b | 4 for b in HI)  # A3 0, D2 1
        checks = [(HI, LO, ROM), (flip(LO, (0, 4), (6143, 2)), flip(HI, (6144, 1)), ROM)]
        checks += [(*stuck, ROM), (flip(HI, (LANE - 1, 1)), LO, ROM), (LO * 4, HI * 4, ROM)]
        for i, n in enumerate(lengths):  # each length as the low lane, then as the high one
            low, high = rng.randbytes(n), rng.randbytes(lengths[i - 1])
            f = scratch({"l": low, "h": high})
            rom = run(f, L, ["l", "h", "r"])["r"]
            lanes = [run(f, U, ["r", "l", "h"])[k] for k in ("l", "h")]
            gets = [(f"get-{k}", f"image-{k}.bin", v) for k, v in zip(["low", "high"], lanes)]
            rows += [("join", (low, high), "Joined.", ("get-image", "rom.bin", rom), [*rom])]
            rows += [("split", (rom,), "Taken apart.", *gets, [[*lane] for lane in lanes])]
            checks += [(low, high, rom)]
        for low, high, rom in checks:  # the programs' lines and maps, or none when lanes match
            out = run(scratch({"l": low, "h": high, "r": rom}), C, ["l", "h", "r"])[1]
            lines = out.decode().splitlines()
            maps = [[compare(b, v, rom)[2] for b, v in enumerate([low, high])]] if lines else []
            rows += [("check", (low, high, rom), "\n".join(lines) or MATCH, *maps, lines)]
        bits = [bytes(i >> 12 for i in range(LANE)), bytes(i >> 4 & 0x80 for i in range(LANE))]
        for low, high in [bits, (b"\xff" * 100, LO + LO)]:  # the longest report; lane lengths
            lines = run(scratch({"l": low, "h": high}), S, ["l", "h"])[1].decode().splitlines()
            rows += [("scan", (low, high), "\n".join(lines), lines)]
        rows += [  # refusals: the programs' line, from the click and the call alike, explained
            ("check", (None, HI, ROM), OPEN_LO, f"No low lane{CHOSEN}"),
            ("check", (LO, HI, None), OPEN, f"No image{CHOSEN}"),
            ("join", (LO, None), OPEN_HI, f"No high lane{CHOSEN}"),
            ("split", (None,), OPEN, f"No image{CHOSEN}"),
            ("split", (ROM + b"\0",), SIZE, f"This image is 16385 bytes{IMAGE_IS}"),
            ("check", (LO, LO, ROM[1:]), SIZE, f"This image is 16383 bytes{IMAGE_IS}"),
            ("check", (LO, HI, ROM + b"\0"), SIZE, f"This image is 16385 bytes{IMAGE_IS}"),
            ("scan", (bytes(LIMIT), bytes(LIMIT + 1)), SIZE_HI, SCAN_IS),
        ]
        got, want = {}, {"requests": []}
        for i, (task, args, line, *rest) in enumerate(rows):
            got[i, task] = page(task, *args)
            want[i, task] = [line, *rest]
            if isinstance(line, bytes):
                line = line.decode().strip()
                want[i, task] = [f"{line}\n{rest[0]}", line]
        # In one load, on a phone's screen: files dropped on the boxes, then task after task, each
        # outcome replacing the last, its links in view; then a file chosen again takes it away.
        browser.set_window_size(360, 640)
        browser.get(pathlib.Path(os.environ["PAGE"]).as_uri())
        drop = "for (const [id, name, b] of arguments[0]) { const d = new DataTransfer(); d.items"
        drop += ".add(new File([new Uint8Array(b)], name)); document.getElementById(id).parentNode"
        drop += ".dispatchEvent(new DragEvent('drop', { dataTransfer: d })) }"
        low, names = flip(LO, (0, 1)), ["a.b.lo", "a.b.hi", "my.rom.v2.bin"]
        browser.execute_script(
            drop, [*zip(["low", "high", "image"], names, [[*low], [*HI], [*ROM]])]
        )
        view = "const a = document.querySelector('#downloads :last-child');"
        view += "return a && a.getBoundingClientRect().bottom <= innerHeight"
        # What the maps say in words, and the faint disc around a lone mark of the low chip's.
        words = "return [[...document.querySelectorAll('#maps figure')].map((f) => [f.textContent,"
        words += (
            " f.firstChild.ariaLabel]), [...document.getElementById('map-low').getContext('2d')"
        )
        words += ".getImageData(0, 0, 128, 64).data].flatMap((a, i) => i % 4 == 3 && a && a < 255 ?"
        words += " [i >> 2] : [])]"
        for task in ("check", "join", "split"):
            browser.find_element("id", task).click()
            wait(lambda _: browser.find_element("id", "result").text)
            got[task] = [browser.execute_script(view)] + outcome()
            got[task] += [browser.execute_script(words)] * (task == "check")
        browser.find_element("id", "low").send_keys(os.path.join(scratch({"l": LO}), "l"))
        got["chosen"] = browser.find_element("id", "outcome").text
        # Lanes whose bytes are their addresses: the stuck lines' marks in runs known beforehand.
        lanes = [bytes(i & 0xFF for i in range(LANE)), bytes(i >> 8 for i in range(LANE))]
        read = {"low": fault(lanes[0], "held", 3), "high": fault(lanes[1], "stuck", 4)}
        folder = scratch({**read, "image": image(*lanes)})
        for field in read | {"image": 0}:
            browser.find_element("id", field).send_keys(os.path.join(folder, field))
        browser.find_element("id", "check").click()
        wait(lambda _: browser.find_element("id", "result").text)
        got["words"] = browser.execute_script(words)[0]
        style = lambda: browser.find_element("id", "result").get_attribute("class")
        got["plain"], want["plain"] = style(), ""  # a result, not styled as an error
        # The marks in the colour of the scheme on show, painted again when it changes.
        ink = "const d = document.getElementById('map-low').getContext('2d').getImageData(0, 0, "
        ink += "128, 64).data, i = d.findIndex((a, i) => i % 4 == 3 && a == 255) - 3; return ["
        ink += "getComputedStyle(document.body).getPropertyValue('--bad').trim(), '#' + [...d"
        ink += ".slice(i, i + 3)].map((x) => x.toString(16).padStart(2, '0')).join('')]"
        colours = []
        for scheme in ("dark", "light"):
            media = {"features": [{"name": "prefers-color-scheme", "value": scheme}]}
            browser.execute_cdp_cmd("Emulation.setEmulatedMedia", media)
            same = lambda _: (lambda c: c[0] == c[1] and c[0])(browser.execute_script(ink))
            colours += [wait(same, f"marks not in the {scheme} scheme's colour")]
        got["schemes"], want["schemes"] = len(set(colours)), 2
        browser.execute_script(drop, [["low", "l", [*LO]]])  # a file dropped takes it away too
        got["dropped"], want["dropped"] = browser.find_element("id", "outcome").text, ""
        gone = os.path.join(scratch({"h": HI}), "h")  # a lane removed after it was chosen
        browser.find_element("id", "high").send_keys(gone)
        os.remove(gone)
        browser.find_element("id", "join").click()
        got["gone"] = [wait(lambda _: browser.find_element("id", "result").text), style()]
        moved = "Read error high_byte_file\nThe browser could not read the high lane: it may have "
        moved += "been moved or changed since it was chosen. Choose it again."
        want["gone"] = [moved, "error"]
        runs = ", ".join(f"0x{a:04X}–0x{a + 0x3FF:04X}" for a in range(0, LANE, 0x800))
        want["words"] = [
            [
                "Low chip (D0–D7): 4096 of 8192 addresses differ. Cause: D3 stuck at 0 (bus D3).",
                "Map of the low chip's 8192 addresses: marked 0x0008–0x000F, 0x0018–0x001F, "
                "0x0028–0x002F, 0x0038–0x003F, and 508 more runs",
            ],
            [
                f"High chip (D8–D15): 4096 of 8192 addresses differ, at {runs}. Cause: D2 stuck"
                " at 1 (bus D10).",
                f"Map of the high chip's 8192 addresses: marked {runs}",
            ],
        ]
        gets = [(f"get-{k}", f"my.rom.v2-{k}.bin", v) for k, v in (("low", LO), ("high", HI))]
        lone = [
            [
                "Low chip (D0–D7): 1 of 8192 addresses differs, at 0x0000.",
                "Map of the low " "chip's 8192 addresses: marked 0x0000",
            ],
            [
                "High chip (D8–D15): every address " "matches.",
                "Map of the high chip's 8192 addresses: none marked",
            ],
        ]
        want["check"] = [None, mismatch(0, low, ROM).decode().strip(), [[0], []]]
        want["check"] += [[lone, [1, 2, 128, 129, 130, 256, 257]]]
        want |= {"join": [True, "Joined.", ("get-image", "rom.bin", image(low, HI))]}
        want |= {"split": [True, "Taken apart.", *gets], "chosen": ""}
        footer = browser.find_element("css selector", "footer").text
        got["version"], want["version"] = footer.split()[-1], f"{os.environ['VERSION']}."
        log = [json.loads(entry["message"])["message"] for entry in browser.get_log("performance")]
        urls = [m["params"]["request"]["url"] for m in log if m["method"].endswith("WillBeSent")]
        got["requests"] = [u for u in urls if not u.startswith(LOCAL)]
        self.same(got, want)

    @unittest.skipUnless(WINDOWS, "reads Windows executables")
    def test_windows_executables(self):
        """PE flags, manifest, version information, and imports that Windows XP has."""
        dll, xp = "", set()  # what XP SP3 exports, as "DLL name"
        for name in re.sub("#.*", "", pathlib.Path(os.environ["XP_EXPORTS"]).read_text()).split():
            dll, xp = (name, xp) if name.endswith(".dll") else (dll, xp | {f"{dll} {name}"})
        v, by = os.environ["VERSION"], "The Bytelace developers"
        version = [("CompanyName", by), ("FileVersion", v), ("ProductVersion", v)]
        version[2:2] = [("LegalCopyright", f"Copyright (c) 2026 {by}, MIT licence")]
        for exe in PROGRAMS:
            out = lambda *command: subprocess.run([*command, exe], capture_output=True).stdout
            pe = pefile.PE(exe)
            flags = ("DYNAMIC_BASE", "NX_COMPAT", "TERMINAL_SERVER_AWARE")
            flags = [getattr(pe.OPTIONAL_HEADER, f"IMAGE_DLLCHARACTERISTICS_{f}") for f in flags]
            imports = {
                f"{dll.dll.decode()} {(f.name or b'#%d' % f.ordinal).decode()}"
                for dll in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])
                for f in dll.imports
            }
            self.assertTrue(imports, f"no imports found in {exe}")
            info = out("wrestool", "-x", "--raw", "-t", "16").decode("utf-16-le", "replace")
            strings = re.findall(r"(Company\w+|Legal\w+|\w+Version)\0+([^\0]+)", info)
            manifest = b'level="asInvoker"' in out("wrestool", "-x", "--raw", "-t", "24")
            got = [flags, manifest, strings, imports - xp]
            self.assertEqual(got, [[True] * 3, True, version, set()], exe)

    @unittest.skipUnless(os.environ.get("ARCHIVES"), "no release archives to check")
    def test_archives(self):
        """Each archive's files (links end in @); the README's worked example run from it, with its
        output as shown; its read-mes in 80 columns (the zip's texts CR LF, ASCII or marked UTF-8)
        and with its manual pages naming the version; its changelog dated by the commit; each .deb
        lintian-clean; the source archive's files; SHA256SUMS right for them all and the release
        workflow attaching exactly those; and every path of ours and preset the README and
        CONTRIBUTING.md name, there."""
        folder, v = os.environ["ARCHIVES"], os.environ["VERSION"]
        names, man = [pathlib.Path(p).stem for p in PROGRAMS], "share/man/man1/"
        unix = [f"bin/{n}" for n in names] + [f"bin/{n.lower()}@" for n in names]
        unix += [f"{man}{n.lower()}.1.gz" for n in names] + [f"{man}{n}.1.gz@" for n in names]
        notices = ["LICENSE", "THIRD-PARTY-NOTICES", "licences/GPL-3", "licences/GCC-exception-3.1"]
        lanes = ["examples/low.bin", "examples/high.bin"]
        linux = unix + notices + lanes + ["README", "CHANGELOG.md", "licences/LGPL-2.1"]
        tar, doc = f"bytelace-{v}-linux-%s.tar.gz", "share/doc/bytelace/"
        deb = unix + [doc + f for f in ["changelog.gz", "copyright", "README", *lanes]]
        deb += ["share/lintian/overrides/bytelace"]
        windows = names + ["README", "CHANGELOG", "licences/MinGW-w64"] + notices
        windows = [f"{n}.exe" for n in names] + [f"{n}.txt" for n in windows] + lanes
        windows, linux = windows + ["bytelace.html"], linux + ["licences/glibc", "bytelace.html"]
        rows = [(f"bytelace-{v}-windows-x86.zip", windows, "wine ")]
        rows += [(tar % "x86_64", linux, ""), (f"bytelace_{v}_amd64.deb", deb, "")]
        for arch, debian in [("aarch64", "arm64"), ("armhf", "armhf")]:
            qemu = f"qemu-{arch.replace('hf', '')}-static "
            rows += [(tar % arch, linux, qemu), (f"bytelace_{v}_{debian}.deb", deb, qemu)]
        check = lambda *reader: subprocess.run(
            [*reader, "-c", "SHA256SUMS"], cwd=folder, capture_output=True
        )
        sums, strict = check("sha256sum"), check("shasum", "-a", "256")  # GNU's, and Perl's
        source, root = f"bytelace-{v}-source.tar.gz", pathlib.Path(__file__).resolve().parents[1]
        archives = [source, f"bytelace-{v}.html"] + [row[0] for row in rows]
        workflow = (root / ".github/workflows/release.yml").read_text()
        attached = re.findall(r"^ +build/release/(\S+)$", workflow, re.M)
        attached = {f for pattern in attached for f in glob.glob(pattern, root_dir=folder)}
        got = [sorted(r.stdout.decode().splitlines()) for r in (sums, strict)] + [sorted(attached)]
        ok = sorted(f"{archive}: OK" for archive in archives)
        self.assertEqual(got, [ok, ok, sorted(archives + ["SHA256SUMS"])])
        # The source archive: the files git tracks, with the modes git records.
        listed = subprocess.run(
            ["tar", "-tvzf", source], cwd=folder, capture_output=True, text=True
        )
        listed = {f.split()[-1]: f.split()[0] for f in listed.stdout.splitlines() if f[0] != "d"}
        tracked = subprocess.run(
            ["git", "ls-files", "-s"], cwd=root, capture_output=True, text=True
        )
        tracked = [f.split(None, 3) for f in tracked.stdout.splitlines()]
        modes = {"100755": "-rwxr-xr-x", "100644": "-rw-r--r--"}
        self.assertEqual(listed, {f"bytelace-{v}/{f[3]}": modes[f[0]] for f in tracked})
        tracked, listed = [f[3] for f in tracked], list(listed)
        # The licence texts the notices name, each whole in the .deb's copyright.
        norm = lambda text: " ".join(text.split())
        licences = (
            "LICENSE doc/THIRD-PARTY-NOTICES doc/licences/glibc doc/licences/GCC-exception-3.1"
        )
        licences = [norm((root / f).read_text().strip().splitlines()[-1]) for f in licences.split()]
        commit = subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=root, capture_output=True)
        epoch = int(os.environ.get("SOURCE_DATE_EPOCH") or commit.stdout)
        dated = f"## {v} ({time.strftime('%Y-%m-%d %H:%M', time.gmtime(epoch))} UTC)".encode()
        example = (root / "README.md").read_text().split("### A worked example")[1].split("\n##")[0]
        blocks = re.findall(r"```(sh)?\n(.*?)```", example, re.S)
        commands, shown = ["".join(b for sh, b in blocks if sh == want) for want in ("sh", "")]
        paths = tracked + listed
        for archive, files, emulator in rows:
            with self.subTest(archive=archive):
                unpacked, path = scratch({}), os.path.join(folder, archive)
                top = "usr/" if files == deb else re.sub(r"(\.tar)?\.\w+$", "/", archive)
                if files == deb:
                    subprocess.run(["dpkg-deb", "-x", path, unpacked], check=True)
                else:
                    shutil.unpack_archive(path, unpacked)
                found, size = [], 0  # its files, and their size in KiB as dpkg counts it
                for p in pathlib.Path(unpacked).rglob("*"):
                    size += 1 if p.is_dir() or p.is_symlink() else -(-p.stat().st_size // 1024)
                    if p.is_symlink() or not p.is_dir():
                        found += [str(p.relative_to(unpacked)) + "@" * p.is_symlink()]
                paths += found + [f.split("/", 1)[1] for f in found] + ["/" + f for f in found]
                where = pathlib.Path(unpacked, top)
                program = {n: emulator + shlex.quote(str(where / f)) for n, f in zip(names, files)}
                script = re.sub(r"\./build/(\w+)", lambda m: program[m[1]], commands)
                ran = run(where / (doc if files == deb else ""), "", script)
                lint = ["lintian", "--pedantic", "-I", path] if files == deb else ["true"]
                lint = subprocess.run(lint, capture_output=True)
                parse = ["dpkg-parsechangelog", "-SVersion", f"-l{where}/{doc}changelog.gz"]
                parse = subprocess.run(parse if files == deb else ["echo", v], capture_output=True)
                changes = b"".join(p.read_bytes() for p in where.glob("CHANGELOG*"))
                eol = b"\r\n" if archive.endswith(".zip") else b"\n"
                texts = {f: (where / f).read_bytes() for f in files if "README" in f or ".txt" in f}
                # A byte order mark only before UTF-8 that is not ASCII.
                dos = rb"\xef\xbb\xbf(?=(?s:.*)[^\0-~])([^\0-\x08\n-\x1f]{0,80}%s)*"
                dos = (dos + rb"|([ -~\t]{0,80}%s)*") % (eol, eol)
                pages = [gzip.open(where / f).read() for f in files if f[-5:] == ".1.gz"]
                pages += [text for f, text in texts.items() if "README" in f or f[:-4] in names]
                got = [sorted(found), ran[1].replace(b"\r\n", b"\n"), ran[2], lint.returncode]
                got += [lint.stdout, all(re.fullmatch(dos, text) for text in texts.values())]
                got += [all(v.encode() in page for page in pages), parse.stdout + parse.stderr]
                got += [re.findall(rb"^## .*?(?=\r?$)", changes, re.M)[:1]]
                copyright = norm((where / doc / "copyright").read_text()) if files == deb else ""
                got += [[text for text in licences if files == deb and text not in copyright]]
                common = sorted(set(re.findall(r"/usr/share/common-licenses/[\w.-]*\w", copyright)))
                got += [[name[27:] for name in common]]
                # The .deb's changelog laid out as Debian's, and its Installed-Size.
                log = gzip.open(where / doc / "changelog.gz").read() if files == deb else b""
                got += [[l for l in log.splitlines() if re.match(rb" (?!-- | \* |   \S)", l)]]
                field = ["dpkg-deb", "-f", path, "Installed-Size"] if files == deb else ["echo"]
                field = subprocess.run(field, capture_output=True, text=True).stdout.strip()
                got += [field == str(size) if files == deb else True]
                want = [sorted(top + f for f in files), shown.encode(), b"", 0, b"", True, True]
                want += [f"{v}\n".encode(), [dated] * (files != deb), []]
                self.assertEqual(
                    got, want + [["GPL-2", "GPL-3", "LGPL-2.1"] * (files == deb), [], True]
                )
        docs = (root / "README.md").read_text() + (root / "CONTRIBUTING.md").read_text()
        known = {p.rstrip("@").rsplit("/", i)[0] for p in paths for i in range(p.count("/") + 1)}
        ours = {path.split("/")[0] for path in known} - {""}
        named = re.findall(r"`([^`\s]+/[^`\s]*)`", docs.replace("<version>", v))
        named = {t.rstrip("/") for t in named if t.split("/")[0] in ours or "/doc/bytelace" in t}
        presets = json.loads((root / "CMakePresets.json").read_text())
        every = {p["name"] for kind in presets.values() if isinstance(kind, list) for p in kind}
        folders = {p["name"]: p["binaryDir"][13:] for p in presets["configurePresets"]}
        table = dict(re.findall(r"^\| `(\w+)` \| `(build[^`]*)` \|", docs, re.M))
        got = [named - known, set(re.findall(r"--preset (\w+)", docs)) - every, table]
        self.assertEqual(got, [set(), set(), folders])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
