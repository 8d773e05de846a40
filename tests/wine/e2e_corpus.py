"""The show on malformed pictures (tests/corpus/make_corpus.py) mixed with good ones:
it keeps running, shows every good picture, its memory stays bounded, and the
not-found box comes, one at a time, only when all ten attempts of a tick fail.

The list layout (mixed_list) and the memory reading (anonymous_memory_kb) do not
depend on Wine: the native program's end-to-end test is to build its list with
mixed_list from the same corpus and check the same facts against its own process."""
import os
import subprocess
import sys
import time

import run_e2e as e2e
from wine_env import wait_until

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus"))
import make_corpus  # noqa: E402

BAD_FOLDER = r"C:\pics\bad"
GOOD = [  # path, width, height, quadrant colours: each size and colouring unique
    (r"C:\pics\good1.bmp", 200, 150, (e2e.RED, e2e.GREEN, e2e.BLUE, e2e.YELLOW)),
    (r"C:\pics\good2.gif", 161, 121, (e2e.CYAN, e2e.MAGENTA, e2e.WHITE, e2e.ORANGE)),
    (r"C:\pics\good3.jpg", 240, 180, (e2e.YELLOW, e2e.BLUE, e2e.GREEN, e2e.RED)),
]
ATTEMPTS_PER_TICK = 10
MEMORY_GROWTH_LIMIT_KB = 32 * 1024


def mixed_list(good, bad):
    """Each good entry followed by at most nine bad ones, the good cycling, so every
    tick in list order reaches a good picture within its ten attempts."""
    entries, run = [], ATTEMPTS_PER_TICK - 1
    for i in range(0, len(bad), run):
        entries.append(good[(i // run) % len(good)])
        entries += bad[i:i + run]
    return entries + [g for g in good if g not in entries]


def descendants(pid):
    found, queue = [], [pid]
    while queue:
        p = queue.pop()
        found.append(p)
        for task in os.listdir(f"/proc/{p}/task") if os.path.isdir(f"/proc/{p}/task") else []:
            try:
                with open(f"/proc/{p}/task/{task}/children") as f:
                    queue += [int(c) for c in f.read().split()]
            except OSError:
                pass
    return found


def anonymous_memory_kb(pid, program="vellora.scr"):
    """Resident anonymous memory of the process running `program` started as `pid`
    (or one of its children): what a leak of heap or bitmaps grows."""
    best = None
    for p in descendants(pid):
        try:
            with open(f"/proc/{p}/cmdline", "rb") as f:
                if program.encode() not in f.read():
                    continue
            with open(f"/proc/{p}/status") as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        kb = int(line.split()[1])
                        best = kb if best is None else max(best, kb)
        except OSError:
            continue
    return best


def visible_boxes(world, caption):
    """How many top-level windows with this caption are on the screen."""
    done = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{caption}$"], env=world.env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return len(done.stdout.split())


def make_corpus_in(world):
    folder = world.host_path(BAD_FOLDER)
    return make_corpus.write(folder, BAD_FOLDER)


def test_malformed_pictures_among_good_ones(world):
    bad = make_corpus_in(world)
    for path, w, h, colours in GOOD:
        e2e.make_picture(world, path, w, h, colours)
    entries = mixed_list([g[0] for g in GOOD], bad)
    e2e.write_show(world, entries, row=1, delay=1)
    caps = e2e.devcaps(world)
    rects = {path: e2e.expected_rect(caps, w, h) for path, w, h, _ in GOOD}
    colours = {path: c for path, _, _, c in GOOD}
    ticks_per_round = sum(1 for e in entries if e in rects)

    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s")
    try:
        assert world.probe("wait-window", e2e.CLASS, e2e.TITLE, "20000"), "no saver window"
        unseen = set(rects)

        def spot():
            shot = world.screenshot()
            unseen.difference_update({p for p in unseen if e2e.picture_in_rect(shot, rects[p], colours[p])})
            return not unseen

        # A round is one tick per good entry, and a tick is the second's delay plus
        # its malformed attempts (about three seconds under Wine on a quiet machine,
        # several times that on a busy one); allow three rounds of ten-second ticks.
        assert wait_until(spot, 3 * ticks_per_round * 10 + 20, interval=0.1), f"never shown: {sorted(unseen)}"
        assert visible_boxes(world, "INFO") == 0, "the not-found box came although good pictures were in reach"
        baseline = anonymous_memory_kb(saver.pid)
        assert baseline, "cannot read the show's memory"
        watched = 3 * ticks_per_round
        deadline = time.monotonic() + watched
        peak = baseline
        while time.monotonic() < deadline:
            assert saver.poll() is None, f"the show ended with {saver.returncode}"
            assert visible_boxes(world, "INFO") == 0, "the not-found box came"
            peak = max(peak, anonymous_memory_kb(saver.pid) or 0)
            time.sleep(0.5)
        print(f"  {len(entries)} entries, {len(bad)} malformed; anonymous memory {baseline} kB once every good"
              f" picture was shown, at most {peak} kB over the next {watched} s", flush=True)
        assert peak - baseline <= MEMORY_GROWTH_LIMIT_KB, f"memory grew from {baseline} kB to {peak} kB"
        assert world.probe("wait-window", e2e.CLASS, e2e.TITLE, "0"), "the show's window is gone"
    finally:
        e2e.kill(saver)
        world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")


def test_only_malformed_pictures_bring_one_box_at_a_time(world):
    bad = make_corpus_in(world)
    e2e.write_show(world, bad, row=1, delay=1)
    world.xdotool("mousemove", "500", "400")
    saver = world.start_saver("/s")
    try:
        for round_ in range(2):
            box = world.probe("wait-box", "30000")
            assert box, f"round {round_}: no not-found box"
            assert e2e.gbk(box["text"]).decode("gbk") == "找不到图像文件.", box["text"]
            assert e2e.gbk(box["caption"]).decode("gbk") == "INFO", box["caption"]
            # Ticks keep coming while the box is open; none may open another.
            for _ in range(10):
                assert visible_boxes(world, "INFO") == 1, f"round {round_}: more than one box"
                time.sleep(0.3)
            assert saver.poll() is None, "the show ended"
            assert world.probe("press-box") is not None
    finally:
        e2e.kill(saver)
        world.probe("gone", e2e.CLASS, e2e.TITLE, "10000")
