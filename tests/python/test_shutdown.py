"""Exiting while threads that are not the interpreter's hand records and calls to Python."""

import time

import pytest

PROBE_IMPORT = """
import sys
sys.path.insert(0, {probe_dir!r})
import binder_probe as probe
"""

# Sets `enough` once 200 records have been handed to Python.
COUNT_RECORDS = """
import logging, threading
enough = threading.Event()
class Count(logging.Handler):
    seen = 0
    def emit(self, record):
        Count.seen += 1
        if Count.seen >= 200:
            enough.set()
logging.getLogger("ovik_sdk").addHandler(Count())

# Awaits what `make_step()` returns on a loop of its own, in a daemon thread;
# returns once the step is pending.
def await_in_a_thread(make_step):
    import asyncio
    awaiting = threading.Event()
    async def main():
        step = make_step()
        awaiting.set()
        await step
    threading.Thread(target=asyncio.run, args=(main(),), daemon=True).start()
    awaiting.wait()
"""

def exits_cleanly_every_time(run_python, code, runs=20):
    for _ in range(runs):
        started = time.monotonic()
        result = run_python(code, timeout=30)
        elapsed = time.monotonic() - started
        assert (result.returncode, result.stderr) == (0, "")
        assert elapsed < 5, elapsed


def test_after_the_hook_foreign_threads_no_longer_take_the_lock(run_python, probe_dir):
    # atexit runs hooks last-registered first: this one runs after the module's.
    code = """
import atexit, sys
def after_hook():
    calls = []
    ran = probe.call_on_thread(lambda: calls.append(1))
    sys.stdout.write(f"{ran} {calls}\\n")
atexit.register(after_hook)
""" + PROBE_IMPORT.format(probe_dir=str(probe_dir)) + """
probe.install_forwarding()
print(probe.call_on_thread(lambda: None))
"""
    result = run_python(code)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.splitlines() == ["True", "False []"]


def test_a_thread_ended_by_the_interpreter_inside_python_code_unwinds_cleanly(run_python, probe_dir):
    # The caller thread is still inside Python code (sleeping) when the hook's
    # grace (2 s) ends; it wakes (3 s) during finalisation, while the main
    # thread lets go of the lock in a destructor (2 s to 4 s), and the
    # interpreter ends it with a forced unwind through the module's frames.
    code = PROBE_IMPORT.format(probe_dir=str(probe_dir)) + """
import time, threading
probe.install_forwarding()
inside = threading.Event()
def sleeper():
    inside.set()
    time.sleep(3)
    print("the sleeper finished", flush=True)
class SlowToDie:
    def __del__(self, sleep=time.sleep):
        sleep(2)
import json
json.slow_to_die = SlowToDie()  # freed while the interpreter finalises
probe.start_caller_thread(sleeper)
inside.wait()
"""
    started = time.monotonic()
    result = run_python(code, timeout=30)
    assert (result.returncode, result.stdout, result.stderr) == (0, "", "")
    assert 3.9 < time.monotonic() - started < 10


MODULE_THREADS_AND_STREAM = COUNT_RECORDS + """
import ovik_sdk.main_mod as m
parser = m.MessageParser("dev", m.MsgType.Ovik)
stream = parser.message_stream()
await_in_a_thread(stream.__anext__)
def log_forever():
    own = m.MessageParser("dev", m.MsgType.Ovik)
    while True:
        own.receive_data("dev", b"")  # "Data should not be empty" at Error
for _ in range(8):
    threading.Thread(target=log_forever, daemon=True).start()
enough.wait()
"""


@pytest.mark.timeout(300)
def test_the_module_exits_while_threads_log_and_a_stream_is_awaited(run_python):
    exits_cleanly_every_time(run_python, MODULE_THREADS_AND_STREAM)
