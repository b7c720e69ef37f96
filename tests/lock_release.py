"""Whether a call lets go of the interpreter lock: count what another thread gets done
while it runs. Use with the switching_only_on_release fixture of conftest.py."""
import threading


def steps_while(call, step) -> int:
    """How many times this thread ran `step` while another thread was inside `call`."""
    started, finished = threading.Event(), threading.Event()

    def work():
        started.set()
        call()
        finished.set()

    worker = threading.Thread(target=work)
    worker.start()
    started.wait()  # returns only once the worker lets go of the interpreter lock
    steps = 0
    while not finished.is_set():
        step()
        steps += 1
        finished.wait(0.0005)
    worker.join()
    return steps
