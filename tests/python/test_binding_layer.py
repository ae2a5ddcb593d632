"""The call boundary, borrows, releases without the lock, and log records
handed to Python, through the binder probe."""

import gc
import itertools
import logging
import sys
import weakref

import pytest

RUNTIME, TYPE, VALUE, OVERFLOW, ATTRIBUTE, STOP = range(6)


@pytest.mark.parametrize("call,error,text", [
    (lambda p: p.raise_error(RUNTIME, "text of the error"), RuntimeError, "text of the error"),
    (lambda p: p.raise_error(TYPE, "text of the error"), TypeError, "text of the error"),
    (lambda p: p.raise_error(VALUE, "text of the error"), ValueError, "text of the error"),
    (lambda p: p.raise_error(OVERFLOW, "text of the error"), OverflowError, "text of the error"),
    (lambda p: p.raise_error(ATTRIBUTE, "text of the error"), AttributeError, "text of the error"),
    (lambda p: p.raise_error(STOP, "text of the error"), StopAsyncIteration, "text of the error"),
    (lambda p: p.raise_fault("invariant broken"), "panic", "invariant broken"),
    (lambda p: p.raise_fault(""), "panic", "unknown error"),
    (lambda p: p.raise_unknown(), "panic", "unknown error"),
    (lambda p: p.misdeclared(), "panic", "argument 'x' of misdeclared() read without a value"),
])
def test_errors_cross_the_boundary_as_their_python_class(probe, call, error, text):
    panic = probe.panic_type()
    assert issubclass(panic, BaseException) and not issubclass(panic, Exception)
    assert (panic.__module__, panic.__name__) == ("ovik_sdk", "PanicException")
    with pytest.raises(BaseException) as raised:
        call(probe)
    assert (type(raised.value), str(raised.value)) == (panic if error == "panic" else error, text)


def attempt(call):
    try:
        return call()
    except RuntimeError as error:
        return str(error)


def test_borrows_exclude_each_other_and_are_released_after_the_call(probe):
    counter, other = probe.Counter(3), probe.Counter(5)
    seen = []
    counter.call_while_exclusive(lambda: seen.extend(
        attempt(call) for call in (counter.value, counter.increment, lambda: counter.count,
                                   lambda: setattr(counter, "count", 1))))
    counter.call_while_shared(lambda: seen.extend(
        attempt(call) for call in (counter.value, lambda: counter.call_while_shared(counter.value), counter.increment)))
    assert seen == ["Already mutably borrowed", "Already borrowed", "Already mutably borrowed", "Already borrowed",
                    3, 3, "Already borrowed"]
    counter.absorb(other)  # the argument borrowed exclusively while the receiver is shared
    assert attempt(lambda: counter.absorb(counter)) == "Already borrowed"

    def fail():
        raise KeyError("from inside")

    with pytest.raises(KeyError):
        counter.call_while_exclusive(fail)
    with pytest.raises(OverflowError):
        counter.count = 2**32
    counter.increment()
    counter.limit = 4
    assert (counter.value(), other.value(), counter.limit) == (4, 8, 4)
    counter.limit = None
    assert counter.limit is None


def test_subclasses_work_and_instances_are_freed_with_their_class_references(probe):
    class Named(probe.Counter):
        pass

    named = Named(start=5)
    named.increment(by=2)
    named.tag = "extra attributes work on subclasses"
    assert (type(named), named.value(), isinstance(named, probe.Counter)) == (Named, 7, True)
    gc.collect()  # classes made by earlier tests hold references too
    before = (sys.getrefcount(probe.Counter), sys.getrefcount(Named))
    made = [probe.Counter(i) for i in range(1000)] + [Named(i) for i in range(1000)]
    gone = weakref.ref(made[-1])
    del made
    assert gone() is None
    assert (sys.getrefcount(probe.Counter), sys.getrefcount(Named)) == before


class Token:
    pass


def test_a_release_without_the_lock_waits_for_the_next_boundary(probe):
    token = Token()
    gone = weakref.ref(token)
    probe.hold(token)
    probe.release_held_on_thread()
    del token
    assert gone() is not None  # queued: the thread had no lock
    probe.to_u8(1)  # any call into the module applies the queue
    assert gone() is None
    calls = []
    assert probe.call_on_thread(lambda: calls.append("called")) is True
    assert calls == ["called"]


class Keep(logging.Handler):
    def __init__(self):
        super().__init__(logging.DEBUG)
        self.records = []

    def emit(self, record):
        self.records.append(record)


_targets = itertools.count()


@pytest.fixture
def forwarding(probe):
    probe.install_forwarding()
    handler = Keep()
    root = logging.getLogger("ovik_sdk")
    root.addHandler(handler)
    old_level = root.level
    root.setLevel(logging.DEBUG)
    yield handler
    root.removeHandler(handler)
    root.setLevel(old_level)


def fresh_target():
    # The forwarding caches each target for the process: every test logs to its own.
    return f"ovik_sdk::probe::t{next(_targets)}"


def test_records_reach_the_logger_of_their_target_up_to_debug(probe, forwarding):
    target = fresh_target()
    for level in range(5):
        probe.log(level, target, f"level {level} with 100% of %s")
    name = target.replace("::", ".")
    assert [(r.name, r.levelno, r.levelname, r.getMessage()) for r in forwarding.records] == [
        (name, 40, "ERROR", "level 0 with 100% of %s"),
        (name, 30, "WARNING", "level 1 with 100% of %s"),
        (name, 20, "INFO", "level 2 with 100% of %s"),
        (name, 10, "DEBUG", "level 3 with 100% of %s"),
    ]
    record = forwarding.records[0]
    assert (record.pathname, record.lineno, record.args, record.exc_info) == ("(unknown file)", 0, (), None)
    probe.log_on_threads(8)
    messages = sorted(r.getMessage() for r in forwarding.records if r.name == "ovik_sdk.probe.threads")
    assert messages == sorted(f"record from thread {i}" for i in range(8))


def test_a_targets_levels_are_looked_up_once(probe, forwarding):
    target = fresh_target()
    logger = logging.getLogger(target.replace("::", "."))
    logger.setLevel(logging.WARNING)
    probe.log(2, target, "not enabled at the first record")
    logger.setLevel(logging.DEBUG)
    probe.log(2, target, "still not: the levels are cached")
    probe.log(1, target, "warnings were enabled")
    assert [r.getMessage() for r in forwarding.records] == ["warnings were enabled"]


def test_a_failing_handler_is_reported_and_logging_goes_on(probe, forwarding, capsys):
    target = fresh_target()

    class Boom(logging.Handler):
        def emit(self, record):
            raise ValueError("handler failed")

        def handleError(self, record):
            raise

    logging.getLogger(target.replace("::", ".")).addHandler(Boom())
    probe.log(0, target, "first")
    probe.log(0, target, "second")
    assert capsys.readouterr().err.count("ValueError: handler failed") == 2
    assert [r.getMessage() for r in forwarding.records] == []


def test_a_handler_raising_system_exit_on_a_runtime_thread_is_printed_and_the_process_lives(run_python):
    result = run_python("""
import asyncio, logging
import ovik_sdk.main_mod as m

class Exit(logging.Handler):
    def emit(self, record):
        raise SystemExit(3)

logger = logging.getLogger("ovik_sdk.serial.base")
logger.setLevel(logging.DEBUG)
logger.addHandler(Exit())

async def main():
    try:
        await m.SerialStream("/nonexistent/port", 115200).open_serial_stream(m.MessageParser("d", m.MsgType.Ovik))
    except RuntimeError as error:
        print(error)

asyncio.run(main())
print("alive")
""", timeout=20)
    assert (result.returncode, result.stdout) == (0, "Failed to open serial port: No such file or directory\nalive\n")
    assert result.stderr.count("SystemExit: 3") == 1
