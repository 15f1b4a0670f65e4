#!/usr/bin/env python3
"""Soak run: the real program on the simulated headset, unpaced, driven by a long random timeline.

Every cycle starts with the panel's New, then makes random strokes with random tools, shapes and
sizes, saves (the moment the resident memory is sampled), loads the slot back as a replay, and
builds a test scene now and then. The run stops after the last cycle or after --seconds. It reports
frames, cycles, resident memory at the first and last cycle and after warm-up, and every error line
the program printed; it fails when memory grows across cycles after warm-up or an error was seen.
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

# The left hand holds the panel pitched up 90 degrees: panel point (u, v) (centimetres, v down)
# lies at the hand + (u, -v, 5) cm.
LEFT_HAND = (-0.55, 1.35, 1.5)
NEW, LOAD, SAVE = (-15.5, 17.0), (8.5, 17.0), (13.5, 17.0)
SHAPES = [(-15.0, -13.5), (-9.0, -13.5), (-3.0, -13.5)]
PANEL_TOOLS = [(9.0, -24.5), (15.0, -24.5)]  # Buff, Sandpaper
DPAD_TOOLS = ["dpad_left", "dpad_right", "dpad_down", "dpad_up"]  # Add, Subtract, Paint, Dropper
SCENES = [(0.25, 27.0), (7.25, 27.0), (14.25, 27.0)]
MIRROR = (-6.5, 27.0)
SIZE_SLIDER_V, SIZE_SLIDER_U = -13.5, (0.5, 17.5)


class Timeline:
    def __init__(self):
        self.lines = ["at 0\npose left %f %f %f 0 90 0\n" % LEFT_HAND]
        self.frame = 1

    def at(self, frame, text):
        self.lines.append("at %d\n%s" % (frame, text))

    def click(self, u, v):
        x, y, z = LEFT_HAND[0] + 0.01 * u, LEFT_HAND[1] - 0.01 * v, LEFT_HAND[2] + 0.05
        self.at(self.frame, "aim right %f %f %f %f %f %f\ntrigger right 0\n" %
                (x, y, z + 0.25, x, y, z))
        self.at(self.frame + 1, "trigger right 1\n")
        self.at(self.frame + 2, "trigger right 0\n")
        self.frame += 3

    def press(self, button):
        self.at(self.frame, "press right %s\n" % button)
        self.at(self.frame + 2, "release right %s\n" % button)
        self.frame += 3

    def stroke(self, rng, frames):
        x, y, z = rng.uniform(-0.6, 0.6), rng.uniform(0.4, 1.6), rng.uniform(-0.4, 0.5)
        dx, dy, dz = (rng.uniform(-0.01, 0.01) for _ in range(3))
        yaw = rng.uniform(-90, 90)
        self.at(self.frame, "pose right %f %f %f %f 0 0\ntrigger right 0\n" % (x, y, z, yaw))
        self.at(self.frame + 1, "trigger right 1\n")
        for i in range(frames):
            x, y, z = x + dx, y + dy, z + dz
            self.at(self.frame + 2 + i, "pose right %f %f %f %f 0 0\n" % (x, y, z, yaw))
        self.at(self.frame + 2 + frames, "trigger right 0\n")
        self.frame += frames + 3

    def wait(self, frames):
        self.frame += frames

    def text(self):
        return "".join(self.lines) + "at %d\nquit\n" % self.frame


def build_timeline(rng, cycles, strokes):
    t = Timeline()
    save_frames = []
    # Every scene once first: the biggest surface sets the high-water mark of the meshes' memory
    # (vertex lists and buffers keep their capacity), which later cycles must not pass.
    for scene in SCENES:
        t.click(*scene)
        t.wait(20)
    for cycle in range(cycles):
        t.click(*NEW)
        for _ in range(strokes):
            pick = rng.random()
            if pick < 0.5:
                t.press(rng.choice(DPAD_TOOLS))
            elif pick < 0.7:
                t.click(*rng.choice(PANEL_TOOLS))
            if rng.random() < 0.3:
                t.click(*rng.choice(SHAPES))
            if rng.random() < 0.2:
                t.click(rng.uniform(*SIZE_SLIDER_U), SIZE_SLIDER_V)
            if rng.random() < 0.05:
                t.click(*MIRROR)
            t.stroke(rng, rng.randint(5, 40))
        t.click(*SAVE)
        save_frames.append(t.frame)
        t.click(*LOAD)   # replays 25 records a frame
        t.wait(60)
        if cycle % 4 == 3:
            t.click(*rng.choice(SCENES))
            t.wait(5)
    return t.text(), save_frames


def resident_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--data", required=True, help="the built data tree (working directory)")
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--cycles", type=int, default=150)
    parser.add_argument("--strokes", type=int, default=12, help="strokes per cycle")
    parser.add_argument("--warmup", type=int, default=3, help="cycles before memory must stay flat")
    parser.add_argument("--tolerance", type=float, default=0.05,
                        help="allowed growth of resident memory after warm-up (fraction)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--history-mb", type=int, default=16,
                        help="undo history budget of the program, each for before-images and checkpoints")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    text, save_frames = build_timeline(rng, args.cycles, args.strokes)
    with tempfile.TemporaryDirectory() as root:
        timeline = os.path.join(root, "soak.timeline")
        with open(timeline, "w") as f:
            f.write(text)
        env = dict(os.environ, LOOMWORK_VR_RUNTIME="simulated", LOOMWORK_VR_TIMELINE=timeline,
                   LOOMWORK_VR_UNPACED="1", LOOMWORK_VR_EYE_SIZE="320x360",
                   LOOMWORK_UNATTENDED="1", XDG_DATA_HOME=root,
                   # The undo history grows up to its budget (by design: New can be undone); a
                   # small one levels off within the warm-up, so growth after it is a leak.
                   LOOMWORK_HISTORY_BUDGET_MB=str(args.history_mb))
        started = time.monotonic()
        child = subprocess.Popen([os.path.abspath(args.program), "--verbose", "--dataroot=" + root],
                                 cwd=args.data, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, text=True, errors="replace")
        samples, errors, quit_frame = [], [], None
        rss_start = None

        def watch():
            nonlocal quit_frame, rss_start
            for line in child.stdout:
                if rss_start is None and "Simulated headset" in line:
                    rss_start = resident_kib(child.pid)
                if line.startswith("Saved "):
                    samples.append(resident_kib(child.pid))
                elif line.startswith("e: ") or line.startswith("f: ") or "Check failed" in line:
                    errors.append(line.rstrip())
                match = re.search(r"quit in frame (\d+)", line)
                if match:
                    quit_frame = int(match.group(1))

        reader = threading.Thread(target=watch)
        reader.start()
        while child.poll() is None and time.monotonic() - started < args.seconds:
            time.sleep(0.2)
        stopped_by_time = child.poll() is None
        if stopped_by_time:
            child.send_signal(signal.SIGTERM)  # a window close
        try:
            code = child.wait(timeout=60)
        except subprocess.TimeoutExpired:
            child.kill()
            code = child.wait()
        reader.join()
        elapsed = time.monotonic() - started

    cycles = len(samples)
    frames = quit_frame if quit_frame is not None else (save_frames[cycles - 1] if cycles else 0)
    mib = lambda kib: "%.1f MiB" % (kib / 1024.0) if kib else "n/a"
    print("soak: %.0f s, %d frames (%.1f per second), %d cycles, exit code %d%s" %
          (elapsed, frames, frames / elapsed if elapsed else 0, cycles, code,
           " (stopped at the time limit)" if stopped_by_time else ""))
    print("soak: resident memory at start %s, first cycle %s, last cycle %s" %
          (mib(rss_start), mib(samples[0] if samples else None),
           mib(samples[-1] if samples else None)))
    print("soak: resident memory per cycle (MiB): " +
          " ".join("%.0f" % (s / 1024.0) for s in samples if s))
    failed = False
    if cycles > args.warmup + 1:
        settled = [s for s in samples[args.warmup:] if s]
        base, peak, last = settled[0], max(settled), settled[-1]
        print("soak: after %d warm-up cycles: %s, peak %s, last %s (%+.1f %%)" %
              (args.warmup, mib(base), mib(peak), mib(last), 100.0 * (last - base) / base))
        if last > base * (1.0 + args.tolerance):
            print("soak: FAILED: resident memory grew across cycles that start with New")
            failed = True
    else:
        print("soak: too few cycles to judge memory (need more than %d)" % (args.warmup + 1))
    for line in errors:
        print("soak: error line: " + line)
    if errors:
        failed = True
    if code not in (0, -signal.SIGTERM):
        print("soak: FAILED: the program exited with %d" % code)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
