#!/usr/bin/env python3
"""Prints the transition benchmark's table from pace.csv and pace-system.csv:
per picture and row, the time of the bitmap path and of the Render path, and how
far each paced transition runs over what its pauses really last on this system.

usage: pace_table.py PACE_CSV SYSTEM_CSV"""
import csv
import sys

PACED_REVEALS = range(3, 9)
BLINDS = (16, 17)


def main():
    rows = list(csv.DictReader(open(sys.argv[1])))
    system = list(csv.DictReader(open(sys.argv[2])))
    for s in system:
        worst = f", worst {s['worst']}" if s["worst"] != "-" else ""
        print(f"{s['measure']:<12} {s['picture']:<22} {s['path']:<7} mean {s['mean']}{worst}")
    runs = {}
    for r in rows:
        runs[(r["picture"], r["path"], int(r["row"]), r["direction"])] = r
    pictures = list(dict.fromkeys(r["picture"] for r in rows))
    misses = []
    for picture in pictures:
        print(f"\n{picture}")
        print(f"{'row':>3} {'dir':<6} {'bitmap ms':>10} {'Render ms':>10} {'ratio':>6} {'nominal':>8} "
              f"{'real pause':>10} {'over %':>7} {'Render over %':>13} {'renders':>8} {'fills':>6} {'pauses':>6}")
        for row in range(1, 20):
            for direction in ("reveal", "clear"):
                fast = runs.get((picture, "bitmap", row, direction))
                slow = runs.get((picture, "render", row, direction))
                if not fast or not slow:
                    continue
                wall, slow_wall = float(fast["wall_ms"]), float(slow["wall_ms"])
                real = float(fast["real_pause_ms"])
                over = f"{(wall - real) / real * 100:.1f}" if real > 0 else "-"
                slow_real = float(slow["real_pause_ms"])
                slow_over = f"{(slow_wall - slow_real) / slow_real * 100:.1f}" if slow_real > 0 else "-"
                ratio = wall / slow_wall if slow_wall > 0 else 0
                print(f"{row:>3} {direction:<6} {wall:>10.1f} {slow_wall:>10.1f} {ratio:>6.3f} {fast['nominal_ms']:>8} "
                      f"{real:>10.1f} {over:>7} {slow_over:>13} {fast['renders']:>8} {fast['fills']:>6} "
                      f"{fast['pauses']:>6}")
                paced = direction == "reveal" and row in PACED_REVEALS or row in BLINDS
                if paced and real > 0 and (wall - real) / real > 0.03:
                    misses.append(f"{picture} row {row} {direction}: {over}% over its pauses")
                if row == 9 and direction == "reveal" and "800x600" in picture and ratio > 0.1:
                    misses.append(f"{picture} mosaic: {ratio:.3f} of the Render path's time")
    print()
    idle = [s for s in system if s["measure"] == "idle CPU %"]
    if idle and float(idle[0]["mean"]) >= 1.0:
        misses.append(f"idle CPU {idle[0]['mean']}% of one core")
    print("targets met" if not misses else "targets missed:\n  " + "\n  ".join(misses))


if __name__ == "__main__":
    main()
