"""Control a Quorvane pulsed laser driver board from Python.

The same core as the panel and quorvane-ctl: the wire format, the
conversions, the pacing, the confirmation rules and the lab's limits
(quorvane-limits(5)) are theirs, not re-written here.

    import quorvane
    with quorvane.Board("ttyUSB0") as board:
        print(board.status().seed_C)
        board.set_current(1500)            # the confirmed value; ramped under lab limits
        for r in board.readings(interval=0.5, count=10):
            print(r.current_mA, r.pump_C)

Every wait releases the interpreter's lock and ends on Ctrl-C
(KeyboardInterrupt) with the port closed. Failures raise a subclass of
quorvane.Error, one for each exit status quorvane-ctl has; a value the board
or the lab's limits would not take raises ValueError and sends nothing.
"""

from __future__ import annotations

import dataclasses
import datetime as _datetime
import time as _time
from typing import Iterable, Iterator, List, Optional

from . import _core

__version__: str = _core.__version__

__all__ = [
    "Board",
    "Port",
    "Status",
    "Reading",
    "list_ports",
    "readings_to_csv",
    "Error",
    "NoSuchPort",
    "PermissionDenied",
    "PortBusy",
    "BoardSilent",
    "NotConfirmed",
    "LimitRefused",
    "LimitsUnusable",
    "BoardClosed",
    "PortLost",
]


class Error(Exception):
    """Any failure of the board or its port; ``status`` is quorvane-ctl's exit status for it."""

    status: int = 1


class NoSuchPort(Error):
    """No port by that name, or the device is not a serial port."""

    status = 4


class PermissionDenied(Error, PermissionError):
    """The port exists but this user may not open it (see the dialout group)."""

    status = 5


class PortBusy(Error):
    """Another program holds the port; the message names it."""

    status = 6


class BoardSilent(Error):
    """No full reply within 2 s of opening, or no reply to a query since."""

    status = 7


class NotConfirmed(Error):
    """The board's reply, and reading it back, did not carry the value sent."""

    status = 8


class LimitRefused(Error, ValueError):
    """A value beyond the lab's limits; nothing was sent. The message names the limit and its line."""

    status = 3


class LimitsUnusable(Error):
    """The lab's limits file (or the ``limits`` file) exists but cannot be used: every setting is refused."""

    status = 14


class BoardClosed(Error):
    """The board was used after it was closed."""

    status = 1


class PortLost(Error):
    """The port went away (unplugged or hung up); the board is closed."""

    status = 1


_BY_STATUS = {cls.status: cls for cls in (NoSuchPort, PermissionDenied, PortBusy, BoardSilent,
                                          NotConfirmed, LimitsUnusable)}
_BY_KIND = {"limit": LimitRefused, "closed": BoardClosed, "lost": PortLost}


def _raised(failure: _core.Failure) -> Exception:
    status, kind, message = failure.args
    if kind in _BY_KIND:
        return _BY_KIND[kind](message)
    if status == 3:
        return ValueError(message)
    error = _BY_STATUS.get(status, Error)(message)
    error.status = status
    return error


def _call(function, *args):
    try:
        return function(*args)
    except _core.Failure as failure:
        raise _raised(failure) from None


@dataclasses.dataclass(frozen=True)
class Port:
    """A serial port found on this machine: its list name and what the system knows of it."""

    name: str
    description: str


@dataclasses.dataclass(frozen=True)
class Status:
    """The board's readings and set-points at one status reply.

    current_mA, seed_C and pump_C are measured; setpoint_mA, max_mA,
    frequency_kHz, duration_steps and soft_active are the board's set-points
    as it last reported them; time is when the reply came (UTC).
    """

    current_mA: int
    seed_C: float
    pump_C: float
    setpoint_mA: int
    max_mA: int
    frequency_kHz: float
    duration_steps: int
    soft_active: bool
    time: _datetime.datetime
    _device: dict = dataclasses.field(repr=False, compare=False, default_factory=dict)

    @classmethod
    def _from(cls, values: dict) -> "Status":
        return cls(
            current_mA=values["current_mA"],
            seed_C=values["seed_hundredths"] / 100,
            pump_C=values["pump_hundredths"] / 100,
            setpoint_mA=values["setpoint_mA"],
            max_mA=values["max_mA"],
            frequency_kHz=values["frequency_Hz"] / 1000,
            duration_steps=values["duration_steps"],
            soft_active=values["soft_active"],
            time=_datetime.datetime.fromtimestamp(values["time_ms"] / 1000, _datetime.timezone.utc),
            _device=dict(values),
        )


#: A reading from Board.readings(): the same record as a status.
Reading = Status


def list_ports(device_directory: Optional[str] = None) -> List[Port]:
    """The serial ports present, as the panel's list shows them."""
    directory = device_directory or _core.default_device_directory()
    return [Port(name, description) for name, description in _core.list_ports(directory)]


def readings_to_csv(readings: Iterable[Status], path: str, append: bool = False) -> int:
    """Writes readings to a CSV file with the columns of ``quorvane-ctl monitor --csv``.

    A new file (or one opened with append=False) starts with the header.
    Returns the number of rows written.
    """
    mode = "a" if append else "w"
    rows = 0
    with open(path, mode, newline="", encoding="utf-8") as out:
        if not append or out.tell() == 0:
            out.write(_core.csv_header())
        for reading in readings:
            out.write(_core.csv_row(reading._device["time_ms"], reading._device))
            rows += 1
    return rows


class Board:
    """One board on a serial port, opened and synced like quorvane-ctl does.

    port is a name from list_ports() ("ttyUSB0") or a device path. limits
    names a stricter limits file for this board, over the lab's own (it can
    only tighten). Use it in a with statement, or call open() and close().
    Calls from several threads are taken one at a time.
    """

    def __init__(self, port: str, *, limits: Optional[str] = None,
                 device_directory: Optional[str] = None, open: bool = True) -> None:
        directory = device_directory or _core.default_device_directory()
        self._board = _core.Board(port, directory, limits or "")
        if open:
            self.open()

    def __enter__(self) -> "Board":
        if not self.is_open:
            self.open()
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<quorvane.Board {self.port!r} {'open' if self.is_open else 'closed'}>"

    def open(self) -> None:
        """Opens the port and waits for the board's full reply (up to 2 s)."""
        _call(self._board.open)

    def close(self) -> None:
        """Closes the port; a closed board raises BoardClosed when used."""
        self._board.close()

    @property
    def is_open(self) -> bool:
        """Whether the port is open."""
        return self._board.is_open

    @property
    def port(self) -> str:
        """The port's list name (or the path given)."""
        return self._board.port

    def status(self) -> Status:
        """Asks for the readings and returns them with the set-points."""
        return Status._from(_call(self._board.status))

    def limits(self) -> dict:
        """The lab's limits in effect for this port: {key: (value, shown, "file:line")}.

        Raises LimitsUnusable when a limits file cannot be used.
        """
        unusable, rows = self._board.limits()
        if unusable:
            raise LimitsUnusable(unusable)
        return dict(rows)

    def set_current(self, mA: int) -> int:
        """Sets the pump current set-point, mA; returns the value the board confirmed.

        A rise larger than the lab's ramp step is carried out as a ramp, and
        this waits for it.
        """
        return _call(self._board.set, "current", _whole(mA, "current"))

    def set_frequency(self, kHz: float) -> float:
        """Sets the repetition frequency, kHz (to 10 Hz); returns the confirmed kHz."""
        text = _number_text(kHz, "frequency", decimals=2)
        return _call(self._board.set, "frequency", text) / 1000

    def set_duration(self, steps: int) -> int:
        """Sets the pulse duration, board steps 0..255; returns the confirmed steps."""
        return _call(self._board.set, "duration", _whole(steps, "duration"))

    def set_soft_active(self, on: bool) -> bool:
        """Switches soft-active on or off; returns the state the board confirmed."""
        if not isinstance(on, bool):
            raise TypeError("soft-active takes True or False")
        return bool(_call(self._board.set, "soft-active", "on" if on else "off"))

    def readings(self, interval: float = 0.5, count: Optional[int] = None) -> Iterator[Status]:
        """Yields a reading every interval seconds (at least 0.05), count times or for ever.

        A board that stops answering raises BoardSilent; a lost port PortLost.
        """
        if interval < 0.05:
            raise ValueError("interval must be at least 0.05 s")
        if count is not None and count < 1:
            raise ValueError("count must be at least 1")
        due = _time.monotonic()
        done = 0
        while count is None or done < count:
            wait = due - _time.monotonic()
            if wait > 0:
                _call(self._board.pause, wait)
            reading = self.status()
            due = max(due + interval, _time.monotonic())
            done += 1
            yield reading


def _whole(value: int, what: str) -> str:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} takes a whole number")
    if value < 0:
        raise ValueError(f"{what} must not be negative")
    return str(value)


def _number_text(value: float, what: str, decimals: int) -> str:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{what} takes a number")
    if value != value or value in (float("inf"), float("-inf")):
        raise ValueError(f"{what} must be a finite number")
    if value < 0:
        raise ValueError(f"{what} must not be negative")
    scaled = round(value * 10**decimals)
    if abs(scaled - value * 10**decimals) > 1e-6 * max(1.0, abs(value) * 10**decimals):
        raise ValueError(f"{what} {value} is finer than the board's {10**-decimals:g} steps")
    whole, part = divmod(scaled, 10**decimals)
    return f"{whole}.{part:0{decimals}d}"
