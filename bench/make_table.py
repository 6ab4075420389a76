#!/usr/bin/env python3
"""Writes a benchmark table: a header line "x,y" and ROWS lines "x,y" with six
decimals, the X values in random order (so the series has to sort them), Y a
noisy straight line of X.

    make_table.py ROWS OUT [SEED]

Ten million rows give a file of about 224 MB. Written in blocks, so the
generator itself needs little memory.
"""
import sys

import numpy as np


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    rows = int(sys.argv[1])
    out = sys.argv[2]
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = np.random.default_rng(seed)
    block = 1_000_000
    with open(out, "w", newline="") as f:
        f.write("x,y\n")
        done = 0
        while done < rows:
            n = min(block, rows - done)
            x = rng.uniform(100.0, 1000.0, n)
            y = 0.5 * x + 50.0 + rng.normal(0.0, 40.0, n)
            y = np.clip(y, 100.0, 999.999999)
            lines = np.char.add(np.char.add(np.char.mod("%.6f", x), ","), np.char.mod("%.6f", y))
            f.write("\n".join(lines.tolist()))
            f.write("\n")
            done += n
    return 0


if __name__ == "__main__":
    sys.exit(main())
