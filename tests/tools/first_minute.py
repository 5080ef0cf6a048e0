#!/usr/bin/env python3
"""Expected frames and points of the first simulated minute of a run, worked out from the rules
alone (not from the C++ code), so the scenario test can check the program against them.

Two runs on a 1920 x 1080 screen at 96 DPI, started at t = 0 with window A in the foreground:
  quiet:     A stays in the foreground for the whole minute;
  switching: B is activated at 22.05 s, A again at 40.05 s and B at 41.05 s, inside the settle.
Timers fire in due order, ties in creation order (animation tick, foreground poll, settle countdown).

Output: one block per run, "run <name>", then a line "<x> <y> <frames>" for each stretch of the 600
presentations at one point, the frames as digits in order, then "draws <n>", the random draws made.
Usage: first_minute.py > first_minute.txt
       first_minute.py --check first_minute.txt   (exit 1 when the file differs from the model)
"""

import itertools
import sys

SCREEN_W, SCREEN_H, TWIPS_PER_PIXEL = 1920, 1080, 15
FRAME_H = 71
WINDOWS = {
    "A": (200, 150, 1400, 950),   # Left, Top, Right, Bottom
    "B": (300, 100, 1920, 1002),  # right edge on the screen's edge; a quarter is a tie
}


class Lcg24:
    """The never-seeded generator; values are kept as numerators over 2**24, which is exact."""

    def __init__(self):
        self.state = 0x50000
        self.draws = 0

    def between(self, low, high):
        self.state = (self.state * 0x43FD43FD + 0xC39EC3) % (1 << 24)
        self.draws += 1
        n = high - low + 1
        return (self.state * n) // (1 << 24) + low  # floor(r * n) with r = state / 2**24


def round_half_even(num, den):
    """num / den rounded to the nearest integer, ties to even (exact, integers only)."""
    q, r = divmod(num, den)
    if 2 * r > den or (2 * r == den and q % 2 == 1):
        q += 1
    return q


def simulate(changes):
    rng = Lcg24()
    first_show, anim, settle, new_target, peck_next = True, 6, 0, False, False
    target = "A"
    picture = 1
    delay_on, delay_due = False, None
    out = []
    pending = sorted(changes)
    foreground = "A"
    for t in range(100, 60001, 100):
        while pending and pending[0][0] < t:
            foreground = pending.pop(0)[1]

        # Animation tick: hold the rest frame while settling, else one step of the machine.
        def present():
            nonlocal first_show, new_target
            if first_show:
                first_show = False
                return (picture, SCREEN_W * TWIPS_PER_PIXEL, SCREEN_H * TWIPS_PER_PIXEL)
            left, top, right, bottom = WINDOWS[target]
            h = bottom - top
            assert 2 * h > 3 * FRAME_H  # tall enough, visible, not the bird
            x = right if right == SCREEN_W else right - 4
            den = 4
            if new_target:
                if rng.between(1, 10) % 2 == 1:
                    den = 3
                new_target = False
            return (picture, x, round_half_even(h + den * top, den))

        if settle != 0:
            picture = 1
            out.append(present())
        else:
            if anim == 1:
                if peck_next:
                    picture, anim = 2, 2
                else:
                    anim = 6
            elif 2 <= anim <= 5:
                picture, anim = anim + 1, anim + 1
            elif anim == 6:
                picture, anim = 1, 1
            else:
                anim = 6
            out.append(present())
            if anim == 6:
                peck_next = rng.between(1, 20) in (9, 18)

        # Foreground poll: adopt a new foreground window.
        if foreground != target:
            target = foreground
            new_target, settle = True, 3
            if not delay_on:
                delay_on, delay_due = True, t + 1000

        # Settle countdown: count down, then switch itself off.
        if delay_on and delay_due == t:
            if settle != 0:
                settle -= 1
                delay_due += 1000
            else:
                delay_on = False
    return out, rng.draws


def render():
    check = Lcg24()
    assert check.between(1, 20) == 15, "the first RandomBetween(1, 20) must give 15"
    runs = [("quiet", []), ("switching", [(22050, "B"), (40050, "A"), (41050, "B")])]
    out = []
    for name, changes in runs:
        seq, draws = simulate(changes)
        assert len(seq) == 600
        out.append("run " + name)
        for (x, y), stretch in itertools.groupby(seq, key=lambda p: p[1:]):
            out.append("%d %d %s" % (x, y, "".join(str(p[0]) for p in stretch)))
        out.append("draws %d" % draws)
    return "\n".join(out) + "\n"


def main():
    text = render()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        with open(sys.argv[2]) as pinned:
            if pinned.read() != text:
                print("%s differs from what the model derives" % sys.argv[2])
                return 1
        return 0
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
