"""The decoder process: a picture that crashes, hangs or attacks it costs one
attempt; it leaves nothing behind and ends with the show; its filter lets the
libraries ask what they may and kills attacks; large photos of every kind show
through it; neither a slow start nor a decoder that misbehaves beside its answers
brings decoding back into the show or leaves its harm behind. And loading as a
whole: a stop signal ends it at once, and memory that runs out fails one attempt.

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


def launch(world, kind, *args, address_space=None, stderr=subprocess.PIPE):
    limit = None
    if address_space:
        def limit():
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
    return subprocess.Popen([show_program(world, kind), *map(str, args)], env=world.env, stdout=subprocess.PIPE,
                            stderr=stderr, preexec_fn=limit)


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


def own_cpu_seconds(pid):
    """CPU time of a process, all its threads, the living and the ended."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, ValueError, IndexError):
        return 0


def cpu_seconds(pid):
    """CPU time of a process and of its living children."""
    return sum(own_cpu_seconds(p) for p in [pid] + [c[0] for c in children(pid)])


def status_field(pid, name):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith(name + ":"))


def resident_kb(pid):
    return status_field(pid, "VmRSS")


def state_of(pid):
    """The process's state letter, or None once it is reaped."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0]
    except (OSError, IndexError):
        return None


def cpu_limits(pid):
    """The soft and hard CPU limits of a process in seconds, None where unlimited."""
    with open(f"/proc/{pid}/limits") as f:
        fields = next(line for line in f if line.startswith("Max cpu time")).split()[3:5]
    return [None if value == "unlimited" else int(value) for value in fields]


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
        # Five seconds of waiting, stretched up to four times on a loaded machine.
        ("LOOP", 30),
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
            return status_field(process.pid, "VmPeak") * 1024
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


def test_the_filter_answers_what_a_library_may_ask_and_kills_attacks(world):
    """Each call made by the stand-in decoder once it is locked down: what a library
    may ask on its way gets an error and the decoder carries on; what only an attack
    needs kills it. "trim" shrinks a thread's heap, after which the C library's
    allocator reads /proc/sys/vm/overcommit_memory: under libjxl's threads that
    killed the decoder on some machines, and JPEG XL photos never showed."""
    program = os.path.join(world.build, DECODERS["hooked"])
    answered = ("overcommit", "trim", "open", "stat", "statx", "readlink", "sysinfo", "affinity", "terminal", "uname",
                "limits")
    killed = ("execve", "fork", "socket", "ptrace", "kill", "executable memory", "write", "sigxcpu", "cpu limit")
    for call, code in [(c, 0) for c in answered] + [(c, -signal.SIGSYS) for c in killed]:
        done = subprocess.run([program, "--call", call], stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        assert done.returncode == code, f"{call}: ended with {done.returncode}, not {code}"


# Photos the decoder process must show: name, size, and how each is made from a PNG of that size.
LARGE_PHOTOS = (
    ("2000x1500.jxl", 2000, 1500, ["cjxl", "-d", "1", "{in}", "{out}"]),
    ("48mp.heic", 8000, 6000, ["heif-enc", "-q", "50", "{in}", "-o", "{out}"]),
    ("48mp.avif", 8000, 6000, ["avifenc", "-j", "2", "-s", "10", "{in}", "{out}"]),
    # ImageMagick, like tiffcp and most tools, writes the image directory after the pixels.
    ("12mp.tif", 4000, 3000, ["convert", "{in}", "-compress", "LZW", "TIFF:{out}"]),
)


def large_photo(world, name, width, height, command):
    """Made once per build folder: the encoders take minutes at 48 megapixels."""
    folder = os.path.join(world.build, "test-photos")
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        os.makedirs(folder, exist_ok=True)
        source = world.picture(f"source-{width}x{height}.png", width, height)
        made = path + ".part" + os.path.splitext(name)[1]
        subprocess.run([part.format(**{"in": source, "out": made}) for part in command], check=True,
                       capture_output=True)
        os.rename(made, path)
    return path


def test_large_photos_of_every_kind_show_through_the_helper(world):
    device = world.device(WINDOW_SIZE)
    for name, width, height, command in LARGE_PHOTOS:
        photo = large_photo(world, name, width, height, command)
        if name.endswith(".tif"):
            with open(photo, "rb") as f:
                directory = struct.unpack("<I", f.read(8)[4:])[0]
            assert directory > os.path.getsize(photo) // 2, f"{name}: its directory is not at the end"
        expected = world.expected(1, device, photo)
        world.write_show([photo], row=1, delay=600)
        with Window(world) as window:
            process = launch(world, "helper", "--window-id", window.id)
            try:
                assert wait_until(lambda: window.shows(expected), 180), f"{name} did not show"
                decoder = decoder_of(process.pid)
                assert decoder and status_field(decoder, "Seccomp") == 2, f"{name}: no locked-down decoder"
            finally:
                assert end(process) == 0
            assert process.stderr.read() == b"", f"{name}: the show printed something"


def test_a_slow_start_costs_one_attempt_and_the_show_stays_locked_down(world):
    """The first decoder says hello 6 s late: that attempt fails, the next one
    starts another decoder, and no picture is ever decoded in the show."""
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    world.write_show([picture], row=1, delay=600)
    late = os.path.join(os.path.dirname(show_program(world, "hooked")), "vellora-decoder.late")
    open(late, "w").close()
    with Window(world) as window:
        process = launch(world, "hooked", "--window-id", window.id)
        try:
            assert wait_until(lambda: window.shows(expected), 40), "the picture did not show"
            assert not os.path.exists(late), "no decoder started late"
            decoder = decoder_of(process.pid)
            assert decoder and status_field(decoder, "Seccomp") == 2, "the next decoder is not locked down"
        finally:
            assert end(process) == 0
        assert process.stderr.read() == b"", "the show printed something"


def shows_after_marker(world, window, text, delay, within):
    """Starts a show of a marker file, then a picture, with the stand-in decoder in
    `window`, and waits for that picture; the running show and the picture's screen."""
    picture = world.picture("p1.png", 160, 120)
    expected = world.expected(1, world.device(WINDOW_SIZE), picture)
    world.write_show([marker(world, "marker.png", text), picture], row=1, delay=delay)
    process = launch(world, "hooked", "--window-id", window.id)
    if not wait_until(lambda: window.shows(expected), within):
        end(process)
        raise AssertionError(f"{text}: the picture after it did not show")
    return process, expected


def test_a_decoder_that_keeps_sigxcpu_from_ending_it_dies_a_second_past_its_limit(world):
    """After its answer the decoder blocks SIGXCPU and leaves a thread spinning;
    the next picture shows, and the kernel kills the decoder at its hard CPU
    limit, one second past the soft one the show gave it."""
    with Window(world) as window:
        process, _ = shows_after_marker(world, window, "SPIN", delay=600, within=20)
        try:
            decoder = decoder_of(process.pid)
            soft, hard = cpu_limits(decoder)
            assert hard is not None and hard == soft + 1, f"CPU limits {soft} and {hard}"
            used = [0.0]

            def killed():
                if state_of(decoder) in (None, "Z"):
                    return True
                used[0] = own_cpu_seconds(decoder)
                return False
            # One thread spins: at most a CPU second each second, fewer on a loaded machine.
            assert wait_until(killed, 4 * hard + 30, interval=0.1), f"still spinning after {used[0]:.1f} CPU s"
            assert used[0] <= hard + 0.5, f"killed after {used[0]:.1f} CPU s, past its limit of {hard}"
            print(f"  a decoder that spun beside its answers was killed after {used[0]:.1f} CPU s"
                  f" (limits {soft} and {hard} s)")
        finally:
            assert end(process) == 0


def test_a_decoder_that_misbehaves_beside_its_answers_is_replaced(world):
    """After answering, the decoder leaves 500 threads behind, reads the terminal
    (the show's standard error, here a file holding what was typed), or answers the
    same request once more with another size. The marker costs its own attempt;
    no decoder keeps more threads than decoding needs, what was typed stays
    unread, and every picture shown is one of the list's, whole."""
    first, second = world.picture("p1.png", 160, 120), world.picture("p2.png", 120, 90)
    device = world.device(WINDOW_SIZE)
    screens = {world.expected(1, device, first): "first", world.expected(1, device, second): "second"}
    typed = b"what the user typed\n"
    for text in ("THREADS 500", "STDERR", "TWICE 80 60"):
        world.write_show([first, marker(world, "misbehaves.png", text), second], row=1, delay=2)
        with Window(world) as window, open(os.path.join(world.root, "terminal"), "w+b") as terminal:
            terminal.write(typed)
            terminal.seek(0)
            process = launch(world, "hooked", "--window-id", window.id, stderr=terminal)
            try:
                shown = []

                def second_shown_again():
                    shot = world.shot(window.id)
                    if any(shot):
                        assert shot in screens, f"{text}: a picture that is not in the list showed"
                        if not shown or shown[-1] != screens[shot]:
                            shown.append(screens[shot])
                    return shown[-3:] == ["second", "first", "second"]
                assert wait_until(second_shown_again, 60), f"{text}: pictures shown {shown}"
                threads = [status_field(child, "Threads") for child, state, _ in children(process.pid) if state != "Z"]
                assert all(count <= 8 for count in threads), f"{text}: decoders with {threads} threads"
                assert os.lseek(terminal.fileno(), 0, os.SEEK_CUR) == 0, f"{text}: the terminal was read"
            finally:
                assert end(process) == 0
            terminal.seek(0)
            assert terminal.read() == typed, f"{text}: the show's standard error changed"


def test_a_picture_after_a_slow_one_stays_its_whole_delay(world):
    """The decoder of the first picture spins until the show stops it, so the
    tick that shows the next picture overruns its period: that picture still
    stays up for the delay, not cleared at once by the tick that fell due."""
    with Window(world) as window:
        process, expected = shows_after_marker(world, window, "LOOP", delay=5, within=60)
        try:
            shown = time.monotonic()
            assert not wait_until(lambda: not window.shows(expected), 3), \
                f"cleared after {time.monotonic() - shown:.1f} s of a 5-s delay"
        finally:
            assert end(process) == 0
