"""Lifetime helpers shared by the project's background test services."""

import os
import threading


def stop_when_stdin_closes(stop):
    """Sets the event `stop` once standard input reaches end of file, so a
    service started by a test harness ends when the harness goes away."""

    def watch():
        # os.read on fd 0 rather than sys.stdin: a daemon thread blocked
        # inside the buffered reader holds its lock and can hang (or abort)
        # interpreter shutdown.
        try:
            while os.read(0, 65536):
                pass
        except OSError:
            pass
        stop.set()

    threading.Thread(target=watch, daemon=True).start()
