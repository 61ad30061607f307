"""Ramp the pump current, wait for the temperatures to settle, record readings.

    python3 docs/examples/ramp_and_record.py ttyUSB0 readings.csv
"""
import sys

import quorvane

port, csv_path = sys.argv[1], sys.argv[2]

with quorvane.Board(port) as board:
    print("board on", board.port, "max", board.status().max_mA, "mA")
    # Up in steps of 250 mA; a lab's current_ramp_mA_per_s would ramp each one too.
    for target in range(250, 1001, 250):
        print("current", board.set_current(target), "mA")

    # Settled: the last five readings of each temperature within 0.2 C.
    recent = []
    for reading in board.readings(interval=0.5, count=60):
        recent = (recent + [reading])[-5:]
        spread = max(max(getattr(r, t) for r in recent) - min(getattr(r, t) for r in recent)
                     for t in ("seed_C", "pump_C"))
        if len(recent) == 5 and spread <= 0.2:
            break
    print(f"settled: seed {reading.seed_C:.2f} C, pump {reading.pump_C:.2f} C")

    rows = quorvane.readings_to_csv(board.readings(interval=0.5, count=10), csv_path)
    print(rows, "readings in", csv_path)
