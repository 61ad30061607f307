"""Times import quorvane and board.status() against a board at line speed.

    python3 bench/python/status_roundtrip.py DEVICE_DIR RUNS
Prints median, best and worst of: opening (open + sync + one status, what
`quorvane-ctl status` does as a process) and status() on an open board.
"""
import statistics
import sys
import time

start = time.perf_counter()
import quorvane  # noqa: E402  (timed)
import_ms = (time.perf_counter() - start) * 1000

folder, runs = sys.argv[1], int(sys.argv[2])


def spread(name, samples, floor):
    ms = sorted(s * 1000 for s in samples)
    print(f"{name:<34} median {statistics.median(ms):6.1f} ms   best {ms[0]:6.1f} ms   "
          f"worst {ms[-1]:6.1f} ms   (wire floor {floor:.1f} ms)")


opens = []
for _ in range(runs):
    t = time.perf_counter()
    with quorvane.Board("ttyUSB0", device_directory=folder) as board:
        board.status()
    opens.append(time.perf_counter() - t)

with quorvane.Board("ttyUSB0", device_directory=folder) as board:
    board.status()
    rounds = []
    for _ in range(runs):
        t = time.perf_counter()
        board.status()
        rounds.append(time.perf_counter() - t)

# Bytes on the wire, 10 bits each at 9600 baud: CMD_READ_ALL 5 + RPL_ALL 19,
# CMD_READ_STATUS 5 + RPL_STATUS 15.
spread("Board() open, sync and status()", opens, (5 + 19 + 5 + 15) * 10 / 9.6)
spread("status() on an open board", rounds, (5 + 15) * 10 / 9.6)
print(f"{'import quorvane':<34} {import_ms:6.1f} ms")
