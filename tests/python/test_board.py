"""quorvane against the virtual board: the calls a lab script makes, and each
way they can fail."""

import os
import signal
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import quorvane
from quorvane import _core


def open_board(folder, **kwargs):
    return quorvane.Board("ttyUSB0", device_directory=str(folder), **kwargs)


def test_opens_syncs_and_reads(board_folder):
    assert [p.name for p in quorvane.list_ports(str(board_folder))] == ["ttyUSB0"]
    with open_board(board_folder) as board:
        status = board.status()
        assert status.max_mA == 3000
        assert 20 < status.seed_C < 30
        assert status.time.tzinfo is not None
        with pytest.raises(dataclasses_frozen()):
            status.current_mA = 1
    assert not board.is_open
    with pytest.raises(quorvane.BoardClosed):
        board.status()


def dataclasses_frozen():
    import dataclasses
    return dataclasses.FrozenInstanceError


@pytest.mark.parametrize("call, value, confirmed, field", [
    ("set_current", 1500, 1500, "setpoint_mA"),
    ("set_frequency", 12.34, 12.34, "frequency_kHz"),
    ("set_duration", 20, 20, "duration_steps"),
    ("set_soft_active", True, True, "soft_active"),
    ("set_soft_active", False, False, "soft_active"),
])
def test_each_setting_is_confirmed(board_folder, call, value, confirmed, field):
    with open_board(board_folder) as board:
        assert getattr(board, call)(value) == confirmed
        assert getattr(board.status(), field) == confirmed


@pytest.mark.parametrize("call, value, error", [
    ("set_current", 3001, ValueError),      # beyond the board's maximum
    ("set_current", -1, ValueError),
    ("set_current", 1.5, TypeError),
    ("set_frequency", 12.345, ValueError),  # finer than the board's 10 Hz
    ("set_duration", 256, ValueError),
    ("set_soft_active", 1, TypeError),
])
def test_values_out_of_range_send_nothing(start_board, call, value, error):
    board_process = start_board()
    with open_board(board_process.folder) as board:
        sent = len(board_process.frames_to_board())
        with pytest.raises(error):
            getattr(board, call)(value)
        assert not [f for f in board_process.frames_to_board()[sent:] if "SET" in f.upper()]


def test_failures_raise_their_own_exceptions(start_board, tmp_path):
    with pytest.raises(quorvane.NoSuchPort):
        quorvane.Board("ttyUSB7", device_directory=str(tmp_path))
    silent = start_board("--silent")
    with pytest.raises(quorvane.BoardSilent):
        open_board(silent.folder)


def test_a_busy_port_names_its_holder(tmp_path, start_board):
    board_process = start_board()
    holder = subprocess.Popen(
        [sys.executable, "-c", textwrap.dedent(f"""
            import quorvane, sys, time
            b = quorvane.Board("ttyUSB0", device_directory={str(board_process.folder)!r})
            print("open", flush=True)
            time.sleep(30)
        """)], stdout=subprocess.PIPE, text=True, env=os.environ)
    try:
        assert holder.stdout.readline().strip() == "open"
        with pytest.raises(quorvane.PortBusy, match=str(holder.pid)):
            open_board(board_process.folder)
    finally:
        holder.kill()
        holder.wait()


def test_ctrl_c_ends_a_wait_with_the_port_closed(start_board):
    # A board that answers late: the first query waits for it.
    board_process = start_board("--delay", "1500")
    script = textwrap.dedent(f"""
        import quorvane, signal, sys
        # Python leaves Ctrl-C alone when it starts with it ignored, as a
        # background job of a script does: a script at a terminal has it.
        signal.signal(signal.SIGINT, signal.default_int_handler)
        b = quorvane.Board("ttyUSB0", device_directory={str(board_process.folder)!r})
        try:
            print("open", flush=True)
            b.status()
        except KeyboardInterrupt:
            print("interrupted", b.is_open, flush=True)
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                             env=os.environ)
    assert child.stdout.readline().strip() == "open"
    time.sleep(0.3)  # into the 1.5 s the board takes to answer
    child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=20)
    assert out.strip() == "interrupted False"
    # Closed for real: the port opens again at once.
    with open_board(board_process.folder) as board:
        assert board.is_open


def test_a_lost_board_ends_the_readings(start_board):
    board_process = start_board("--hangup-after", "1")
    with open_board(board_process.folder) as board:
        with pytest.raises(quorvane.PortLost):
            for _ in board.readings(interval=0.1):
                pass
        with pytest.raises(quorvane.PortLost):
            board.status()


def test_two_threads_take_turns(board_folder):
    with open_board(board_folder) as board:
        results, errors = [], []

        def ask():
            try:
                for _ in range(5):
                    results.append(board.status().max_mA)
            except Exception as e:  # reported below, with the thread's failure
                errors.append(e)

        threads = [threading.Thread(target=ask) for _ in range(3)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert errors == [] and results == [3000] * 15


def test_lab_limits_refuse_ramp_and_unusable_files_refuse_all(start_board, tmp_path):
    board_process = start_board()
    board_folder = board_process.folder
    lab = tmp_path / "limits.toml"
    lab.write_text("[default]\ncurrent_max_mA = 1000\ncurrent_ramp_mA_per_s = 400\n")
    os.chmod(lab, 0o644)
    _core._use_lab_file(str(lab))
    try:
        with open_board(board_folder) as board:
            with pytest.raises(quorvane.LimitRefused, match="lab limit 1000 mA"):
                board.set_current(1500)
            assert board.status().setpoint_mA == 0
            assert board.limits()["current_max_mA"][0] == "1000"
            # A rise of more than a step (200 mA a poll here) goes up a step at a time.
            assert board.set_current(1000) == 1000
        sent = [int(f.split("setpoint=")[1]) for f in board_process.frames_to_board()
                if "CMD_SET_CURRENT" in f]
        assert sorted(set(sent)) == [200, 400, 600, 800, 1000]
        assert sent == sorted(sent)
        lab.write_text("[default]\ncurrent_max_mA = -1\n")
        with open_board(board_folder) as board:
            with pytest.raises(quorvane.LimitsUnusable, match="limits.toml:2"):
                board.set_current(10)
    finally:
        _core._use_lab_file("")


def test_csv_has_the_monitors_columns(board_folder, tmp_path):
    path = tmp_path / "r.csv"
    with open_board(board_folder) as board:
        assert quorvane.readings_to_csv(board.readings(interval=0.1, count=3), str(path)) == 3
    lines = path.read_text().splitlines()
    assert lines[0] == _core.csv_header().strip()
    assert lines[0].startswith("time,") and len(lines) == 4


def test_the_version_is_the_programs():
    out = subprocess.run([os.environ["QUORVANE_CTL"], "--version"], capture_output=True,
                         text=True).stdout
    assert out.strip() == "quorvane-ctl " + quorvane.__version__


def test_the_readmes_example_runs_as_written(board_folder, tmp_path):
    example = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "examples",
                           "ramp_and_record.py")
    csv_path = tmp_path / "readings.csv"
    done = subprocess.run([sys.executable, example, str(board_folder / "ttyUSB0"), str(csv_path)],
                          capture_output=True, text=True, timeout=120, env=os.environ)
    assert done.returncode == 0, done.stderr
    assert "current 1000 mA" in done.stdout and "settled" in done.stdout
    assert len(csv_path.read_text().splitlines()) == 11
