"""The decoder process: a picture that crashes, hangs or attacks it costs one
attempt; it leaves nothing behind and ends with the show. And loading as a whole:
a stop signal ends it at once, and memory that runs out fails one attempt.

Shows run from folders of their own, with the product's decoder, with the test
decoder that misbehaves on marker files (tests/linux/hooked_decoder.cpp), or
with none, so that they decode in their own process."""
import os
import resource
import signal
import struct
import subprocess
import time
import zlib

from linux_env import check_ends_quickly, end, wait_until

WINDOW_AT, WINDOW_SIZE = (40, 30), (400, 300)
DECODERS = {"helper": "vellora-decoder", "hooked": "vellora-decoder-hooked", "in process": None}


def show_program(world, kind):
    """A copy of the program (hard links) in a folder with the decoder of `kind` beside it."""
    folder = os.path.join(world.root, "show-" + kind.replace(" ", "-"))
    program = os.path.join(folder, "vellora")
    if not os.path.exists(program):
        os.makedirs(folder)
        os.link(world.program, program)
        if DECODERS[kind]:
            os.link(os.path.join(world.build, DECODERS[kind]), os.path.join(folder, "vellora-decoder"))
    return program


def launch(world, kind, *args, address_space=None):
    limit = None
    if address_space:
        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
    return subprocess.Popen([show_program(world, kind), *map(str, args)], env=world.env, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, preexec_fn=limit)


def children(pid):
    """(pid, state, name) of every process whose parent is `pid`."""
    found = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{entry}/stat") as f:
                head, tail = f.read().rsplit(")", 1)
            fields = tail.split()
            if int(fields[1]) == pid:
                found.append((int(entry), fields[0], head.split("(", 1)[1]))
        except (OSError, ValueError, IndexError):
            continue
    return found


def decoder_of(pid):
    running = [c for c in children(pid) if c[2] == "vellora-decoder" and c[1] != "Z"]
    return running[0][0] if running else None


def cpu_seconds(pid):
    """CPU time of a process and of its living children."""
    total = 0
    for p in [pid] + [c[0] for c in children(pid)]:
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except (OSError, ValueError, IndexError):
            continue
    return total / os.sysconf("SC_CLK_TCK")


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def marker(world, name, text):
    path = os.path.join(world.pictures, name)
    with open(path, "w") as f:
        f.write("VELLORA-TEST-" + text + "\n")
    return path


class Window:
    def __init__(self, world):
        self.world = world
        self.helper, self.id = world.make_window(*WINDOW_AT, *WINDOW_SIZE)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.helper.stdin.close()
        self.helper.wait(10)

    def shows(self, expected):
        return self.world.shot(self.id) == expected


def test_a_misbehaving_decoder_costs_one_attempt(world):
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    evidence = os.path.join(world.root, "escaped")
    cases = [  # marker, the longest it may take for the next picture to show
        ("CRASH", 10),
        ("LOOP", 15),
        ("OPEN " + evidence, 10),
        ("SOCKET " + evidence, 10),
        ("EXEC " + evidence, 10),
    ]
    for text, within in cases:
        world.write_show([marker(world, "marker.jpg", text), picture], row=1, delay=60)
        with Window(world) as window:
            process = launch(world, "hooked", "--window-id", window.id)
            try:
                started = time.monotonic()
                assert wait_until(lambda: window.shows(expected), within), f"{text}: the next picture did not show"
                took = time.monotonic() - started
                assert not os.path.exists(evidence), f"{text}: the decoder got through the filter"
                left = children(process.pid)
                assert len(left) == 1 and left[0][1] != "Z", f"{text}: processes left: {left}"
                if text == "LOOP":
                    print(f"  a decoder in a loop was ended after {took:.1f} s")
            finally:
                assert end(process) == 0, f"{text}: {process.stderr.read()[-300:]!r}"
            assert process.stderr.read() == b"", f"{text}: the show printed something"


def test_a_hundred_decoder_deaths_leave_nothing_behind(world):
    """Nine crashes before each showing of the picture; every decoder seen but
    the last one has died."""
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    world.write_show([marker(world, f"crash{i}.png", "CRASH") for i in range(9)] + [picture], row=1, delay=3)
    with Window(world) as window:
        process = launch(world, "hooked", "--window-id", window.id)
        try:
            assert wait_until(lambda: window.shows(expected), 20), "the picture did not show"
            before = (len(os.listdir(f"/proc/{process.pid}/fd")), resident_kb(process.pid))
            seen = set()

            def hundred_deaths():
                seen.add(decoder_of(process.pid))
                return len(seen - {None}) > 100
            assert wait_until(hundred_deaths, 120, interval=0.01), f"only {len(seen) - 1} decoders in two minutes"
            assert wait_until(lambda: window.shows(expected), 20), "the picture did not show again"
            descriptors, resident = len(os.listdir(f"/proc/{process.pid}/fd")), resident_kb(process.pid)
            left = children(process.pid)
            assert descriptors == before[0], f"descriptors {before[0]} -> {descriptors}"
            assert len(left) <= 1 and all(c[1] != "Z" for c in left), f"processes left: {left}"
            assert resident - before[1] < 4096, f"resident memory {before[1]} kB -> {resident} kB"
            print(f"  after {len(seen) - 2} decoder deaths: {descriptors} descriptors, {len(left)} child,"
                  f" resident memory {before[1] // 1024} -> {resident // 1024} MB")
        finally:
            assert end(process) == 0


def test_the_decoder_ends_with_the_show(world):
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    world.write_show([picture], row=1, delay=60)
    for how in (signal.SIGTERM, signal.SIGKILL):
        with Window(world) as window:
            process = launch(world, "helper", "--window-id", window.id)
            try:
                assert wait_until(lambda: window.shows(expected), 10), "nothing shown"
                decoder = decoder_of(process.pid)
                assert decoder, "no decoder process"
                process.send_signal(how)
                process.wait(5)

                def decoder_gone():
                    try:
                        with open(f"/proc/{decoder}/stat") as f:
                            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
                    except OSError:
                        return True
                assert wait_until(decoder_gone, 5), f"{how.name}: the decoder outlived the show"
            finally:
                end(process)
            if how == signal.SIGTERM:
                assert process.returncode == 0 and process.stderr.read() == b""


def large_broken_png(world):
    """A 5000 x 4000 picture that decodes in full before it fails: its end chunk is missing."""
    path = os.path.join(world.pictures, "large-broken.png")
    if not os.path.exists(path):
        width, height = 5000, 4000
        shades = bytes(range(256)) * (width * 3 // 256 + 2)
        rows = b"".join(b"\0" + shades[y % 256:y % 256 + width * 3] for y in range(height))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 1)))
    return path


def test_a_stop_signal_ends_loading_too(world):
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    fifo = os.path.join(world.pictures, "a-fifo.jpg")
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    broken = large_broken_png(world)

    def waiting_for_a_writer(pid):
        try:
            with open(f"/proc/{pid}/wchan") as f:
                return f.read() == "wait_for_partner"
        except OSError:
            return False

    cases = [  # the list, what shows that the show is loading it
        # Each SIGTERM used to break one blocked open, and the next attempt blocked again.
        ("FIFOs", [fifo] * 5 + [picture],
         lambda process, window: window.shows(expected) or waiting_for_a_writer(process.pid)),
        ("ten large broken pictures", [broken] * 10 + [picture],
         lambda process, window: cpu_seconds(process.pid) >= 0.3),
    ]
    for kind in ("helper", "in process"):
        for name, listing, loading in cases:
            world.write_show(listing, row=1, delay=60)
            with Window(world) as window:
                process = launch(world, kind, "--window-id", window.id)
                try:
                    assert wait_until(lambda: loading(process, window), 20), f"{kind}, {name}: never loading"
                    check_ends_quickly(process, lambda: process.send_signal(signal.SIGTERM),
                                       f"{kind}, {name}: SIGTERM")
                finally:
                    end(process)


def loading_show(world, *args):
    """A show whose only picture keeps the decoder busy for as long as it is let
    (seconds each attempt, ten attempts a tick), once it is loading; and its decoder."""
    world.write_show([marker(world, "spins.png", "LOOP")], row=1, delay=60)
    process = launch(world, "hooked", *args)
    decoder = wait_until(lambda: (d := decoder_of(process.pid)) and cpu_seconds(d) >= 0.2 and d, 20)
    if not decoder:
        end(process)
        raise AssertionError("never loading")
    return process, decoder


def check_a_key_ends_a_show_while_a_picture_loads(world):
    """A full-screen show ends on a key at once while a picture loads. Shared by the
    X11 and Wayland worlds."""
    process, _ = loading_show(world)
    try:
        check_ends_quickly(process, world.key, "a key while loading", limit=1)
    finally:
        end(process)


def test_a_key_ends_a_show_while_a_picture_loads(world):
    check_a_key_ends_a_show_while_a_picture_loads(world)


def quick_picture_memory(world, kind, picture, expected):
    """The address space of a show that has shown one small picture, in bytes."""
    world.write_show([picture], row=1, delay=60)
    with Window(world) as window:
        process = launch(world, kind, "--window-id", window.id)
        try:
            assert wait_until(lambda: window.shows(expected), 10), "nothing shown"
            with open(f"/proc/{process.pid}/status") as f:
                return next(int(line.split()[1]) for line in f if line.startswith("VmPeak:")) * 1024
        finally:
            end(process)


def test_memory_running_out_while_turning_a_photo_fails_one_attempt(world):
    """An 8000 × 8000 photo with orientation 6 under an address-space limit that
    leaves room to decode it but not to turn it: the next picture shows."""
    from e2e_options import with_orientation
    photo = os.path.join(world.pictures, "large-turned.jpg")
    if not os.path.exists(photo):
        subprocess.run(["convert", "-size", "8000x8000", "xc:rgb(200,120,40)", "-quality", "80", photo], check=True)
        with_orientation(photo, 6)
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    decoded = 8000 * 8000 * 4
    for kind in ("in process", "helper"):
        limit = quick_picture_memory(world, kind, picture, expected) + decoded + decoded // 2
        # A delay long enough that the picture stays up between the one-second clears.
        world.write_show([photo, picture], row=1, delay=3)
        with Window(world) as window:
            process = launch(world, kind, "--window-id", window.id, "--upright", address_space=limit)
            try:
                assert wait_until(lambda: window.shows(expected) or process.poll() is not None, 60), \
                    f"{kind}: the next picture did not show"
                assert process.poll() is None, f"{kind}: ended with {process.returncode}"
            finally:
                assert end(process) == 0, f"{kind}: {process.stderr.read()[-300:]!r}"
