#!/usr/bin/python3
"""Local code-signing service for tests and demos.

Stands in for the company signing desk behind the two drop folders.  The
publisher copies a program file into the unsigned folder and then waits for
a file of the same name in the signed folder; this service notices the new
file, signs it with a self-signed test certificate through osslsigncode and
drops the signed copy next door.

    /usr/bin/python3 tools/signing_service.py --unsigned DIR --signed DIR \
        --state DIR [--poll SECONDS] [--delay SECONDS] \
        [--delay-for NAME=SECONDS ...] [--exit-on-stdin-eof] [--once] \
        [--misbehave empty|unsigned|slow] [--substitute FILE]

For tests of the publisher, the service can misbehave as real ones have:
--misbehave empty drops an empty file, unsigned drops the file it was given
unchanged, slow writes the signed copy under its final name a little at a
time (--slow-seconds, default 1); --substitute FILE signs FILE instead of
what was dropped (another build, say).

The state folder keeps the test certificate (cert.pem, key.pem) and a record
of what was already signed.  Prints "READY cert=<path of cert.pem>" once the
folders and the certificate exist.  Standard library only; needs the openssl
and osslsigncode programs.
"""

import argparse
import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

from process_lifetime import stop_when_stdin_closes

CERT_NAME = "cert.pem"
KEY_NAME = "key.pem"
RECORD_NAME = "signed.json"
CERT_SUBJECT = "/CN=Parone Test Code Signing"
# osslsigncode itself is quick; anything this slow is stuck, not working.
SIGN_TIMEOUT = 120

stop = threading.Event()


def log(msg):
    sys.stderr.write("signing_service: %s\n" % msg)
    sys.stderr.flush()


def parse_delay_for(text):
    # The name may itself contain '=', the number never does.
    name, sep, seconds = text.rpartition("=")
    if not sep or not name:
        raise argparse.ArgumentTypeError("expected NAME=SECONDS, got %r" % text)
    try:
        value = float(seconds)
    except ValueError:
        raise argparse.ArgumentTypeError("bad seconds in %r" % text)
    if value < 0:
        raise argparse.ArgumentTypeError("negative delay in %r" % text)
    return name, value


def non_negative(text):
    value = float(text)
    if value < 0:
        raise argparse.ArgumentTypeError("must not be negative: %s" % text)
    return value


def positive(text):
    value = float(text)
    if value <= 0:
        raise argparse.ArgumentTypeError("must be positive: %s" % text)
    return value


def parse_args(argv):
    p = argparse.ArgumentParser(description="Sign files dropped into a folder.")
    p.add_argument("--unsigned", required=True, help="folder the publisher drops files into")
    p.add_argument("--signed", required=True, help="folder signed copies appear in")
    p.add_argument("--state", required=True, help="folder for the certificate and the record")
    p.add_argument("--poll", type=positive, default=0.5,
                   help="seconds between looks at the unsigned folder (default 0.5)")
    p.add_argument("--delay", type=non_negative, default=0.0,
                   help="seconds to hold a complete file before signing it")
    p.add_argument("--delay-for", type=parse_delay_for, action="append", default=[],
                   metavar="NAME=SECONDS", help="hold only this file name (repeatable)")
    p.add_argument("--exit-on-stdin-eof", action="store_true",
                   help="also exit when standard input is closed")
    p.add_argument("--once", action="store_true",
                   help="sign what is in the unsigned folder, then exit")
    p.add_argument("--misbehave", choices=["empty", "unsigned", "slow"],
                   help="for tests: drop an empty file, the unsigned file, or write slowly")
    p.add_argument("--slow-seconds", type=positive, default=1.0,
                   help="with --misbehave slow: how long writing one copy takes")
    p.add_argument("--substitute", metavar="FILE",
                   help="for tests: sign FILE instead of the file that was dropped")
    return p.parse_args(argv)


# ---------------------------------------------------------------- certificate

def ensure_certificate(state_dir):
    cert = os.path.join(state_dir, CERT_NAME)
    key = os.path.join(state_dir, KEY_NAME)
    if os.path.isfile(cert) and os.path.isfile(key):
        return cert, key
    # Build in a scratch folder and move into place, so a crash half way
    # never leaves a key without its certificate (or the other way round).
    scratch = tempfile.mkdtemp(prefix=".cert-", dir=state_dir)
    try:
        new_key = os.path.join(scratch, KEY_NAME)
        new_cert = os.path.join(scratch, CERT_NAME)
        cmd = ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
               "-keyout", new_key, "-out", new_cert, "-days", "3650",
               "-subj", CERT_SUBJECT,
               # Mark it as a code-signing certificate, as a real one is.
               "-addext", "extendedKeyUsage=codeSigning",
               "-addext", "keyUsage=digitalSignature"]
        try:
            done = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=SIGN_TIMEOUT)
        except (OSError, subprocess.TimeoutExpired) as exc:
            raise SystemExit("signing_service: cannot run openssl: %s" % exc)
        if done.returncode != 0:
            sys.stderr.write(done.stdout.decode("utf-8", "replace"))
            raise SystemExit("signing_service: openssl could not make the test certificate")
        os.chmod(new_key, 0o600)
        os.replace(new_key, key)
        os.replace(new_cert, cert)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return cert, key


# --------------------------------------------------------------------- record

class Record:
    """Which version (size, mtime) of each name was already handled.

    The publisher leaves its unsigned copies behind, so without this every
    restart of the service would sign them all again and drop stale signed
    copies that a later publish could mistake for its own.
    """

    def __init__(self, path):
        self.path = path
        self.done = {}
        try:
            with open(path, "r", encoding="utf-8", errors="surrogateescape") as f:
                data = json.load(f)
            for name, value in data.items():
                self.done[name] = (int(value[0]), int(value[1]))
        except FileNotFoundError:
            pass
        except (OSError, ValueError, TypeError, IndexError, AttributeError) as exc:
            log("ignoring unreadable record %s: %s" % (path, exc))
            self.done = {}

    def get(self, name):
        return self.done.get(name)

    def set(self, name, version):
        self.done[name] = version
        self._save()

    def forget(self, name):
        if self.done.pop(name, None) is not None:
            self._save()

    def _save(self):
        tmp = "%s.%d.tmp" % (self.path, os.getpid())
        try:
            with open(tmp, "w", encoding="utf-8", errors="surrogateescape") as f:
                json.dump({n: list(v) for n, v in self.done.items()}, f)
            os.replace(tmp, self.path)
        except OSError as exc:
            log("cannot save record %s: %s" % (self.path, exc))
            try:
                os.unlink(tmp)
            except OSError:
                pass


# -------------------------------------------------------------------- signing

def version_of(path):
    """(size, mtime) of a regular file, or None if it is not one (any more)."""
    try:
        st = os.stat(path)
    except OSError:
        return None
    if not stat.S_ISREG(st.st_mode):
        return None
    return (st.st_size, st.st_mtime_ns)


def first_line(output):
    # osslsigncode prints the useful line first and OpenSSL decoder noise after.
    for line in output.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if line:
            return line
    return "no message"


def write_slowly(src, final, seconds):
    """Copy src to final in ten pieces spread over `seconds`, as a slow share does."""
    with open(src, "rb") as f:
        data = f.read()
    step = max(1, -(-len(data) // 10))
    with open(final, "wb") as out:
        for at in range(0, len(data), step):
            out.write(data[at:at + step])
            out.flush()
            if stop.wait(seconds / 10):
                break


def sign_file(name, src, signed_dir, cert, key, misbehave=None, slow_seconds=1.0):
    """Sign src into signed_dir/name.  True on success."""
    # Dot-prefixed so nobody takes the half-written output for a finished file.
    tmp = os.path.join(signed_dir, ".%s.signing-%d" % (name, os.getpid()))
    final = os.path.join(signed_dir, name)
    try:
        os.unlink(tmp)
    except FileNotFoundError:
        pass
    if misbehave == "empty":
        open(tmp, "wb").close()
        ok, reason = True, None
    elif misbehave == "unsigned":
        shutil.copyfile(src, tmp)
        ok, reason = True, None
    else:
        cmd = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", name,
               "-in", src, "-out", tmp]
        try:
            done = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=SIGN_TIMEOUT)
            ok = done.returncode == 0 and os.path.isfile(tmp)
            reason = None if ok else first_line(done.stdout)
        except subprocess.TimeoutExpired:
            ok, reason = False, "osslsigncode took longer than %d s" % SIGN_TIMEOUT
        except OSError as exc:
            ok, reason = False, "cannot run osslsigncode: %s" % exc
    if ok:
        try:
            if misbehave == "slow":
                write_slowly(tmp, final, slow_seconds)
                os.unlink(tmp)
            else:
                # Complete in one step, so no reader ever sees a part.
                os.replace(tmp, final)
            return True, None
        except OSError as exc:
            reason = "cannot move signed copy into place: %s" % exc
    try:
        os.unlink(tmp)
    except FileNotFoundError:
        pass
    except OSError as exc:
        log("cannot remove %s: %s" % (tmp, exc))
    return False, reason


class Watcher:
    def __init__(self, args, cert, key):
        self.unsigned = args.unsigned
        self.signed = args.signed
        self.cert = cert
        self.key = key
        self.delay = args.delay
        self.delay_for = dict(args.delay_for)
        self.misbehave = args.misbehave
        self.slow_seconds = args.slow_seconds
        self.substitute = args.substitute
        self.record = Record(os.path.join(args.state, RECORD_NAME))
        self.seen = {}      # name -> version seen on the previous poll
        self.due = {}       # name -> (version, monotonic time it may be signed)

    def pending(self):
        """True while some file is still settling or waiting out its delay."""
        return bool(self.seen) or bool(self.due)

    def poll(self):
        try:
            names = os.listdir(self.unsigned)
        except OSError as exc:
            log("cannot list %s: %s" % (self.unsigned, exc))
            return
        present = set()
        for name in sorted(names):
            if stop.is_set():
                return
            # Copy tools write under dot names and rename when done; those
            # are not requests.
            if name.startswith("."):
                continue
            path = os.path.join(self.unsigned, name)
            version = version_of(path)
            if version is None:
                continue
            present.add(name)
            if version == self.record.get(name):
                self.seen.pop(name, None)
                self.due.pop(name, None)
                continue
            if name in self.due:
                if self.due[name][0] != version:
                    # Changed while waiting out the delay: start over.
                    del self.due[name]
                    self.seen[name] = version
                continue
            if self.seen.get(name) != version:
                # New or still being written.
                self.seen[name] = version
                continue
            # Same size and mtime on two polls in a row: the copy is done.
            del self.seen[name]
            hold = self.delay_for.get(name, self.delay)
            self.due[name] = (version, time.monotonic() + hold)

        for name in list(self.seen):
            if name not in present:
                del self.seen[name]
        for name in list(self.due):
            if name not in present:
                del self.due[name]
        # A name that went away and comes back is a fresh request.
        for name in list(self.record.done):
            if name not in present:
                self.record.forget(name)

        now = time.monotonic()
        for name, (version, when) in sorted(self.due.items()):
            if stop.is_set():
                return
            if when <= now:
                self.sign(name, version)

    def sign(self, name, version):
        del self.due[name]
        src = os.path.join(self.unsigned, name)
        now_version = version_of(src)
        if now_version != version:
            if now_version is not None:
                self.seen[name] = now_version
            return
        ok, reason = sign_file(name, self.substitute or src, self.signed, self.cert, self.key,
                               self.misbehave, self.slow_seconds)
        after = version_of(src)
        if after != version:
            # Rewritten under us; what we signed may be a torn copy.  Take
            # back anything we published and wait for the new one to settle.
            if ok:
                try:
                    os.unlink(os.path.join(self.signed, name))
                except OSError:
                    pass
            if after is not None:
                self.seen[name] = after
            return
        if ok:
            self.record.set(name, version)
            log("signed %s" % name)
        elif stop.is_set():
            # A Ctrl-C reaches osslsigncode too; that is not the file's fault.
            return
        else:
            # Not retried until the file changes: the same bytes fail the same way.
            self.record.set(name, version)
            log("cannot sign %s: %s" % (name, reason))


# ----------------------------------------------------------------------- main

def main(argv):
    args = parse_args(argv)
    args.unsigned = os.path.abspath(args.unsigned)
    args.signed = os.path.abspath(args.signed)
    args.state = os.path.abspath(args.state)
    if args.substitute:
        args.substitute = os.path.abspath(args.substitute)
    for d in (args.unsigned, args.signed, args.state):
        os.makedirs(d, exist_ok=True)
    if shutil.which("osslsigncode") is None:
        raise SystemExit("signing_service: osslsigncode is not installed")

    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    if args.exit_on_stdin_eof:
        stop_when_stdin_closes(stop)

    cert, key = ensure_certificate(args.state)
    watcher = Watcher(args, cert, key)

    sys.stdout.write("READY cert=%s\n" % cert)
    sys.stdout.flush()

    polls = 0
    while not stop.is_set():
        watcher.poll()
        polls += 1
        # Two polls are the least that can show a file has settled.
        if args.once and polls >= 2 and not watcher.pending():
            break
        stop.wait(args.poll)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
