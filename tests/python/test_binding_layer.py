"""The call boundary, borrows, releases without the lock, and calls from foreign threads."""

import gc
import itertools
import logging
import sys
import weakref

import pytest

RUNTIME, TYPE, VALUE, OVERFLOW, ATTRIBUTE, STOP = range(6)


@pytest.mark.parametrize("kind,error", [
    (RUNTIME, RuntimeError), (TYPE, TypeError), (VALUE, ValueError), (OVERFLOW, OverflowError),
    (ATTRIBUTE, AttributeError), (STOP, StopAsyncIteration),
])
def test_sdk_errors_become_their_python_class(probe, kind, error):
    with pytest.raises(BaseException) as raised:
        probe.raise_error(kind, "text of the error")
    assert type(raised.value) is error
    assert str(raised.value) == "text of the error"


@pytest.mark.parametrize("call,text", [
    (lambda p: p.raise_fault("invariant broken"), "invariant broken"),
    (lambda p: p.raise_fault(""), "unknown error"),
    (lambda p: p.raise_unknown(), "unknown error"),
])
def test_internal_faults_raise_the_panic_exception(probe, call, text):
    panic = probe.panic_type()
    assert issubclass(panic, BaseException) and not issubclass(panic, Exception)
    assert panic.__module__ == "ovik_sdk" and panic.__name__ == "PanicException"
    with pytest.raises(panic) as raised:
        call(probe)
    assert str(raised.value) == text


def test_reading_an_absent_optional_argument_without_a_fallback_is_a_fault(probe):
    assert probe.misdeclared(3) == 3
    with pytest.raises(probe.panic_type()) as raised:
        probe.misdeclared()
    assert str(raised.value) == "argument 'x' of misdeclared() read without a value"


def test_exclusive_borrow_refuses_every_other_borrow(probe):
    counter = probe.Counter(3)
    seen = []

    def reenter():
        for attempt in (counter.value, counter.increment, lambda: counter.count, lambda: setattr(counter, "count", 1)):
            try:
                attempt()
                seen.append("ok")
            except RuntimeError as error:
                seen.append(str(error))

    counter.call_while_exclusive(reenter)
    assert seen == ["Already mutably borrowed", "Already borrowed", "Already mutably borrowed", "Already borrowed"]
    assert counter.value() == 3  # released after the call


def test_shared_borrows_coexist_but_refuse_an_exclusive_one(probe):
    counter = probe.Counter(3)
    seen = []

    def reenter():
        seen.append(counter.value())
        seen.append(counter.call_while_shared(counter.value))
        try:
            counter.increment()
        except RuntimeError as error:
            seen.append(str(error))

    counter.call_while_shared(reenter)
    assert seen == [3, 3, "Already borrowed"]
    counter.increment()
    assert counter.value() == 4


def test_an_argument_borrowed_exclusively_while_the_receiver_is_shared(probe):
    first, second = probe.Counter(2), probe.Counter(5)
    first.absorb(second)
    assert second.value() == 7
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        first.absorb(first)
    assert first.value() == 2  # both borrows released after the failure


def test_borrows_are_released_when_the_body_fails(probe):
    counter = probe.Counter()

    def fail():
        raise KeyError("from inside")

    with pytest.raises(KeyError):
        counter.call_while_exclusive(fail)
    counter.increment()
    assert counter.value() == 1


def test_a_refused_property_value_leaves_the_field_and_the_borrow_alone(probe):
    counter = probe.Counter(9)
    with pytest.raises(OverflowError):
        counter.count = 2**32
    assert counter.count == 9
    counter.limit = 4
    assert counter.limit == 4
    counter.limit = None
    assert counter.limit is None


def test_subclasses_get_the_constructor_and_borrows(probe):
    class Named(probe.Counter):
        pass

    named = Named(start=5)
    named.increment(by=2)
    assert type(named) is Named and named.value() == 7
    named.tag = "extra attributes work on subclasses"
    assert isinstance(named, probe.Counter)


def test_instances_are_freed_and_give_back_their_class(probe):
    class Named(probe.Counter):
        pass

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
    probe.nothing()  # any call into the module applies the queue
    assert gone() is None


def test_a_foreign_thread_takes_the_lock_to_call_python(probe):
    calls = []
    assert probe.call_on_thread(lambda: calls.append("called")) is True
    assert calls == ["called"]


# Log forwarding through the probe's own sink (a second copy of the core).

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


def test_a_targets_levels_are_looked_up_once(probe, forwarding):
    target = fresh_target()
    logger = logging.getLogger(target.replace("::", "."))
    logger.setLevel(logging.WARNING)
    probe.log(2, target, "not enabled at the first record")
    logger.setLevel(logging.DEBUG)
    probe.log(2, target, "still not: the levels are cached")
    probe.log(1, target, "warnings were enabled")
    assert [r.getMessage() for r in forwarding.records] == ["warnings were enabled"]


def test_records_from_foreign_threads_arrive(probe, forwarding):
    probe.log_on_threads(8)
    messages = sorted(r.getMessage() for r in forwarding.records if r.name == "ovik_sdk.probe.threads")
    assert messages == sorted(f"record from thread {i}" for i in range(8))


def test_a_failing_handler_is_reported_and_logging_goes_on(probe, forwarding, capsys):
    target = fresh_target()
    failing = logging.getLogger(target.replace("::", "."))

    class Boom(logging.Handler):
        def emit(self, record):
            raise ValueError("handler failed")

        def handleError(self, record):
            raise

    failing.addHandler(Boom())
    probe.log(0, target, "first")
    probe.log(0, target, "second")
    assert capsys.readouterr().err.count("ValueError: handler failed") == 2
    assert [r.getMessage() for r in forwarding.records] == []
