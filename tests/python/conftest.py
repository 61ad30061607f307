"""The virtual board for the Python suite: a quorvane-board-sim of the build
on a pseudo-terminal, linked into a private device folder as ttyUSB0.

Run by scripts/test.sh as
  QUORVANE_BOARD_SIM=build/release/sim/quorvane-board-sim \
  PYTHONPATH=build/release/python-test python3 -m pytest tests/python
"""

import os
import pathlib
import signal
import subprocess
import time

import pytest


class VirtualBoard:
    def __init__(self, folder: pathlib.Path, *options: str) -> None:
        self.folder = folder
        self.link = folder / "ttyUSB0"
        self.log = folder / "board.log"
        self._process = subprocess.Popen(
            [os.environ["QUORVANE_BOARD_SIM"], "--link", str(self.link), *options],
            stdout=open(self.log, "w"), stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while not self.link.exists():
            if time.monotonic() > deadline or self._process.poll() is not None:
                raise RuntimeError("the virtual board did not start: " + self.log.read_text())
            time.sleep(0.01)

    def frames_to_board(self) -> list:
        """The board's journal of frames it was sent ("<-" lines)."""
        return [line for line in self.log.read_text().splitlines() if "<-" in line]

    def stop(self) -> None:
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGINT)
            self._process.wait(timeout=10)


@pytest.fixture
def start_board(tmp_path):
    boards = []

    def start(*options: str) -> VirtualBoard:
        board = VirtualBoard(tmp_path, *options)
        boards.append(board)
        return board

    yield start
    for board in boards:
        board.stop()


@pytest.fixture
def board_folder(start_board):
    return start_board().folder
