#!/usr/bin/python3
"""Local distribution server for tests and demos.

Runs an FTP server (upload side) and an HTTP server (download side) on
127.0.0.1 that share one home folder, the way the company download server
exposes DIR/public_html over the web.  Remote names travel as raw CP949
bytes, so both servers treat paths as bytes end to end and never try to
decode them as text.

    /usr/bin/python3 tools/dist_server.py --home DIR [options]

Prints "READY ftp=<port> http=<port>" once both servers are listening
(with --tls followed by " ca=<path>", the test CA's certificate).
Must run under the Debian interpreter, which has python3-pyftpdlib (and
python3-openssl for --tls).
"""

import argparse
import base64
import contextlib
import fcntl
import hashlib
import http.server
import logging
import os
import posixpath
import re
import secrets
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import urllib.parse

from process_lifetime import stop_when_stdin_closes

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
    from pyftpdlib.handlers import _FileReadWriteError
    from pyftpdlib.ioloop import AsyncChat, RetryError
    from pyftpdlib.servers import FTPServer
except ImportError as exc:
    sys.exit("dist_server: pyftpdlib is missing (%s); run with /usr/bin/python3 "
             "and install python3-pyftpdlib" % exc)

FTP_USER = "sdc1"
# The demo account's own password, not the one the company's account had
# built into the old tool (which no source or program carries any more).
FTP_PASSWORD = "Demo#Only-Server1"
FTP_PERMS = "elradfmwMT"
# The update folder as the client names it: Korean letters in code page 949.
UPDATE_DIR = "자동업데이트_v1".encode("cp949")

log = logging.getLogger("dist_server")


def _debug(msg):
    log.debug(msg)


class DistDTPMixin:
    """Data channel with the upload fault switches, for the plain and the
    TLS data channel alike."""

    def recv(self, buffer_size):
        # The cut works on what the socket (or TLS layer) hands up, since
        # the TLS channel reaches the base class's read handler directly.
        chunk = super().recv(buffer_size)
        limit = self.cmd_channel.cut_after
        if (limit is None or not chunk or not self.receive
                or not self.cmd_channel.store_faulty):
            return chunk
        room = limit - self.tot_bytes_received
        if len(chunk) < room:
            return chunk
        # The last bytes kept are written here: the connection is gone
        # before the caller could write them.
        keep = chunk[:max(room, 0)]
        if keep:
            self.tot_bytes_received += len(keep)
            data = self._data_wrapper(keep) if self._data_wrapper else keep
            try:
                self.file_obj.write(data)
            except OSError as err:
                raise _FileReadWriteError(err)
        self._cut_connection()
        raise RetryError

    def _cut_connection(self):
        # Reset rather than a graceful FIN, so the client sees a broken
        # connection while it is still sending, as when a server drops out.
        try:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                   struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.transfer_finished = False
        self._resp = ("426 Connection closed; transfer aborted.", _debug)
        # Past the TLS layer's close: a close_notify would tell the client
        # the data ended in order, where a dropped server says nothing.
        DTPHandler.close(self)

    def handle_close(self):
        # A data connection that the client drops before any transfer began
        # (libcurl does where the file or folder asked for is missing) ends
        # without a reply, as on vsftpd: pyftpdlib's TLS layer would answer
        # it with a "226" to no command, which the client then reads as the
        # reply to its next one.
        if not self._closed and not self._initialized:
            self.close()
            return
        super().handle_close()

    def close(self):
        # Swap the success reply only after all data has arrived, so the
        # file is on disk in full, as a server that ran over quota leaves it.
        if (not self._closed and self.receive
                and self.cmd_channel.fail_stor_552
                and self.cmd_channel.store_faulty
                and self._resp and self._resp[0].startswith("226")):
            self._resp = ("552 Requested file action aborted: "
                          "exceeded storage allocation.", _debug)
        super().close()


class DistDTPHandler(DistDTPMixin, DTPHandler):
    """Plain data channel."""


class DistThrottledDTPHandler(DistDTPMixin, ThrottledDTPHandler):
    """Plain data channel that reads uploads no faster than --upload-rate
    (without blocking the other connections), as a slow link would."""


class DistFTPMixin:
    """The command channel's fault switches, for the plain and the TLS
    command channel alike.  Switches and counters live on this class, so
    both handler classes share them."""

    # Command lines carry CP949 bytes; surrogateescape carries them into
    # str paths and back out to the same bytes on disk and in replies.
    unicode_errors = "surrogateescape"
    banner = "Distribution test server ready."
    # Wrong-password tests should not wait seconds for each 530.
    auth_failed_timeout = 0

    # Fault switches, set from the command line.
    cut_after = None
    fail_stor_552 = False
    refuse_rename_over = False
    store_short = None      # keep only this many bytes of an upload, answer 226
    store_none = False      # keep nothing of an upload, answer 226
    fault_stor = None       # store faults act on these uploads only (1-based set)
    refuse_rnto = None      # "all" or a set of RNTO numbers answered 553
    stall_on = frozenset()  # commands read and never answered
    no_size = False
    no_rest = False         # a server that cannot resume an upload
    race_after = None       # (CMD, N): after answering the N-th CMD ...
    race_writes = ()        # ... write these (cp949 name, bytes) files
    upload_dir = None       # bytes: where race_writes land
    command_log = None

    # Counted over the server's life, across connections, so a test can
    # aim a fault at one step of a publish.
    upload_count = 0        # STOR and APPE alike: a resume is an upload too
    rnto_count = 0
    race_count = 0
    store_faulty = True  # per connection: the current upload gets the store faults
    _race_due = False    # per connection: the next final reply triggers the race

    def push(self, s):
        # The stock push encodes strictly and would die on a reply that
        # echoes a CP949 path (257, 250, ...).
        AsyncChat.push(self, s.encode("utf8", self.unicode_errors))

    def found_terminator(self):
        if self.command_log is not None:
            self._log_command(b"".join(self._in_buffer))
        super().found_terminator()

    def _log_command(self, line):
        if line.split(b" ", 1)[0].upper() == b"PASS":
            line = b"PASS ****"
        try:
            with open(self.command_log, "ab") as f:
                f.write(line + b"\n")
        except OSError as err:
            log.warning("cannot write command log: %s", err)

    def process_command(self, cmd, *args, **kwargs):
        if cmd in self.stall_on:
            # Read and logged, never answered: the client has to give up.
            return
        if self.race_after is not None and cmd == self.race_after[0]:
            DistFTPMixin.race_count += 1
            if DistFTPMixin.race_count == self.race_after[1]:
                self._race_due = True
        if cmd == "SIZE" and self.no_size:
            self.respond("502 Command not implemented.")
            return
        if cmd == "REST" and self.no_rest:
            self.respond("502 Command not implemented.")
            return
        super().process_command(cmd, *args, **kwargs)

    def respond(self, resp, *args, **kwargs):
        # A preliminary 1xx reply (150 before a transfer) does not answer
        # the command; the final one does.  The other publisher's files go
        # in before that reply leaves, so the client can never see the
        # answer and still the old files.
        if self._race_due and not resp.startswith("1"):
            self._race_due = False
            self._write_race_files()
        super().respond(resp, *args, **kwargs)

    def _write_race_files(self):
        for name, data in self.race_writes:
            path = os.path.join(self.upload_dir, name)
            # Whole or not at all, as a web reader would see an upload
            # renamed into place.
            part = path + b".race-part"
            try:
                with open(part, "wb") as f:
                    f.write(data)
                os.replace(part, path)
            except OSError as err:
                log.warning("race write of %r failed: %s", path, err)

    def ftp_FEAT(self, line):
        if not self.no_rest:
            return super().ftp_FEAT(line)
        # FEAT lists REST STREAM whenever REST is a known command; hide it
        # from this one answer.
        self.proto_cmds = {k: v for k, v in type(self).proto_cmds.items()
                           if k != "REST"}
        try:
            return super().ftp_FEAT(line)
        finally:
            del self.proto_cmds

    def ftp_STOR(self, file, mode="w"):
        # APPE arrives here too (mode "a"), so a resumed upload counts as
        # one more upload for --fault-stor.
        DistFTPMixin.upload_count += 1
        self.store_faulty = (self.fault_stor is None
                             or DistFTPMixin.upload_count in self.fault_stor)
        return super().ftp_STOR(file, mode)

    def on_file_received(self, file):
        # Runs after the 226 went out and before the next command is read,
        # so the client's next look at the file sees what was really kept.
        if not self.store_faulty:
            return
        try:
            if self.store_none:
                os.remove(file)
            elif self.store_short is not None:
                with open(file, "r+b") as f:
                    f.truncate(min(self.store_short, os.fstat(f.fileno()).st_size))
        except OSError as err:
            log.warning("store fault on %r failed: %s", file, err)

    def ftp_RNTO(self, path):
        DistFTPMixin.rnto_count += 1
        if (self.refuse_rnto == "all" or (self.refuse_rnto is not None and
                                          DistFTPMixin.rnto_count in self.refuse_rnto)):
            self._rnfr = None
            self.respond("553 Requested action not taken: file name not allowed.")
            return None
        if self.refuse_rename_over and self._rnfr and self.fs.lexists(path):
            self._rnfr = None
            self.respond("550 Rename refused: destination already exists.")
            return None
        return super().ftp_RNTO(path)


class DistFTPHandler(DistFTPMixin, FTPHandler):
    """Plain FTP."""
    dtp_handler = DistDTPHandler


def tls_handler_class():
    """The explicit-FTPS command channel (AUTH TLS, PBSZ, PROT) with the
    same switches; pyftpdlib offers it only where python3-openssl is."""
    try:
        from OpenSSL import SSL
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    except ImportError:
        sys.exit("dist_server: --tls needs python3-openssl")

    class DistTLSDTPHandler(DistDTPMixin, TLS_DTPHandler):
        """TLS data channel (after PROT P)."""

        def readable(self):
            # libcurl starts the data connection's handshake as soon as it
            # connects, before STOR; pyftpdlib 1.5.7 closes a data
            # connection that has something to read before a transfer was
            # asked for, handshake or not (fixed upstream after 1.5.7).
            return self._ssl_accepting or super().readable()

    class DistTLSFTPHandler(DistFTPMixin, TLS_FTPHandler):
        """FTP with AUTH TLS.  A data connection never has to resume the
        control connection's TLS session: wine's Schannel client starts
        each one afresh."""
        dtp_handler = DistTLSDTPHandler

        def log_exception(self, instance):
            # wine's Schannel client ends every session, after the last
            # reply, with records OpenSSL cannot decrypt (bad record MAC);
            # one line says so instead of a traceback per test.
            error = sys.exc_info()[1]
            if isinstance(error, SSL.Error):
                log.warning("TLS error on %r, connection closed: %s", instance, error)
                return
            super().log_exception(instance)

    return DistTLSFTPHandler


class TestCertificates:
    """A test CA and server certificates signed by it, made in one folder
    with the openssl command line tool on first use and reused after.

    The CA the READY line names is ca.pem.  Each kind of server certificate
    is server-KIND.pem with its key in server-KIND.key and the pin of its
    public key, as a client pins it (sha256//BASE64 of the key's DER form),
    in server-KIND.pin:

      good        for localhost and 127.0.0.1, signed by ca.pem
      untrusted   the same names, signed by another CA (other-ca.pem)
      wrong-name  signed by ca.pem, for wrong.example only
      expired     the names of good, signed by ca.pem, validity over
    """

    KINDS = ("good", "untrusted", "wrong-name", "expired")
    ISSUERS = {"good": "ca", "untrusted": "other-ca", "wrong-name": "ca", "expired": "ca"}
    # Windows' Schannel under wine matches only DNS names, even against an
    # address; other clients match the IP name.
    LOCAL_NAMES = "DNS:localhost,DNS:127.0.0.1,IP:127.0.0.1"

    REQ_CONFIG = """[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
"""
    SERVER_EXTENSIONS = """[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = %s
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid,issuer
"""
    # openssl x509 only counts days forward from now; openssl ca takes
    # any dates.
    EXPIRING_CA_CONFIG = """[ca]
default_ca = expiring
[expiring]
database = %(dir)s/index.txt
new_certs_dir = %(dir)s
rand_serial = yes
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
"""

    def __init__(self, folder):
        self.folder = os.path.abspath(folder)

    @property
    def ca_file(self):
        return os.path.join(self.folder, "ca.pem")

    def server_files(self, kind):
        """(certificate, key) of a server certificate of this kind, made
        now if the folder does not have it yet."""
        os.makedirs(self.folder, exist_ok=True)
        with self._locked():
            self._ensure_ca("ca", "parone-deploy test CA")
            issuer = self.ISSUERS[kind]
            if issuer != "ca":
                self._ensure_ca(issuer, "parone-deploy other CA")
            cert, key = self._server_paths(kind)
            if not (os.path.exists(cert) and os.path.exists(key)):
                self._make_server(kind, issuer, cert, key)
            self._ensure_pin(cert)
            return cert, key

    def _ensure_pin(self, cert):
        pin = cert[:-len(".pem")] + ".pin"
        if os.path.exists(pin) and os.path.getmtime(pin) >= os.path.getmtime(cert):
            return
        public = self._openssl("x509", "-in", cert, "-noout", "-pubkey")
        der = self._openssl("pkey", "-pubin", "-outform", "DER", input=public)
        with self._scratch() as work:
            made = self._write(work, "pin", "sha256//%s\n"
                               % base64.b64encode(hashlib.sha256(der).digest()).decode())
            os.replace(made, pin)

    def _server_paths(self, kind):
        return (os.path.join(self.folder, "server-%s.pem" % kind),
                os.path.join(self.folder, "server-%s.key" % kind))

    @contextlib.contextmanager
    def _locked(self):
        # Servers started at once over the same folder make it once.
        with open(os.path.join(self.folder, ".lock"), "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            yield

    def _ensure_ca(self, name, subject):
        cert = os.path.join(self.folder, name + ".pem")
        key = os.path.join(self.folder, name + ".key")
        if os.path.exists(cert) and os.path.exists(key):
            return
        # Server certificates signed by a CA made before this one would
        # no longer chain to it: they are made again when asked for.
        for kind, issuer in self.ISSUERS.items():
            if issuer == name:
                for path in self._server_paths(kind):
                    with contextlib.suppress(FileNotFoundError):
                        os.remove(path)
        with self._scratch() as work:
            config = self._write(work, "req.cnf", self.REQ_CONFIG)
            self._openssl("req", "-x509", "-new", "-newkey", "rsa:2048", "-noenc",
                          "-keyout", os.path.join(work, "key"),
                          "-out", os.path.join(work, "cert"),
                          "-days", "3650", "-sha256", "-subj", "/CN=" + subject,
                          "-config", config, "-extensions", "ca")
            self._publish(work, cert, key)

    def _make_server(self, kind, issuer, cert, key):
        name = "wrong.example" if kind == "wrong-name" else "localhost"
        names = "DNS:wrong.example" if kind == "wrong-name" else self.LOCAL_NAMES
        issuer_cert = os.path.join(self.folder, issuer + ".pem")
        issuer_key = os.path.join(self.folder, issuer + ".key")
        with self._scratch() as work:
            config = self._write(work, "req.cnf", self.REQ_CONFIG)
            extensions = self._write(work, "ext.cnf", self.SERVER_EXTENSIONS % names)
            request = os.path.join(work, "req")
            self._openssl("req", "-new", "-newkey", "rsa:2048", "-noenc",
                          "-keyout", os.path.join(work, "key"), "-out", request,
                          "-subj", "/CN=" + name, "-config", config)
            if kind == "expired":
                ca_config = self._write(work, "ca.cnf",
                                        self.EXPIRING_CA_CONFIG % {"dir": work})
                self._write(work, "index.txt", "")
                self._openssl("ca", "-batch", "-config", ca_config, "-notext",
                              "-cert", issuer_cert, "-keyfile", issuer_key,
                              "-startdate", "20200101000000Z",
                              "-enddate", "20210101000000Z",
                              "-extfile", extensions, "-extensions", "server",
                              "-in", request, "-out", os.path.join(work, "cert"))
            else:
                self._openssl("x509", "-req", "-in", request,
                              "-CA", issuer_cert, "-CAkey", issuer_key,
                              "-set_serial", str(secrets.randbits(63) | 1),
                              "-days", "825", "-sha256",
                              "-extfile", extensions, "-extensions", "server",
                              "-out", os.path.join(work, "cert"))
            self._publish(work, cert, key)

    @contextlib.contextmanager
    def _scratch(self):
        work = tempfile.mkdtemp(prefix=".making-", dir=self.folder)
        try:
            yield work
        finally:
            shutil.rmtree(work, ignore_errors=True)

    @staticmethod
    def _write(folder, name, text):
        path = os.path.join(folder, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    @staticmethod
    def _publish(work, cert, key):
        # The key first, the certificate last: a folder with the
        # certificate has its key, even after a crash in between.
        os.replace(os.path.join(work, "key"), key)
        os.replace(os.path.join(work, "cert"), cert)

    @staticmethod
    def _openssl(*args, input=None):
        """What openssl printed; the server's start fails with its words."""
        done = subprocess.run(["openssl"] + list(args), input=input,
                              stdin=None if input is not None else subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if done.returncode != 0:
            sys.exit("dist_server: openssl %s failed: %s"
                     % (args[0], done.stderr.decode(errors="replace").strip()))
        return done.stdout


_BYTE_RANGE = re.compile(r"\s*bytes\s*=\s*(\d*)\s*-\s*(\d*)\s*\Z", re.IGNORECASE)
UNSATISFIABLE = "unsatisfiable"


def byte_range(header, size):
    """The one range a Range header asks of `size` bytes, as (first, last)
    inclusive; UNSATISFIABLE when it starts past the end; None when the
    header is not a single valid bytes range, which a server ignores (and
    sends the whole body)."""
    m = _BYTE_RANGE.match(header)
    if not m or not (m.group(1) or m.group(2)):
        return None
    if m.group(1):
        first = int(m.group(1))
        if m.group(2) and int(m.group(2)) < first:
            return None
        if first >= size:
            return UNSATISFIABLE
        last = min(int(m.group(2)), size - 1) if m.group(2) else size - 1
        return first, last
    # "-n": the last n bytes.
    suffix = int(m.group(2))
    if suffix == 0 or size == 0:
        return UNSATISFIABLE
    return max(size - suffix, 0), size - 1


class FileSlice:
    """Reads `length` bytes of an open file from where it stands, for the
    body of a 206."""

    def __init__(self, f, length):
        self.f = f
        self.left = length

    def read(self, size=-1):
        if size < 0 or size > self.left:
            size = self.left
        data = self.f.read(size)
        self.left -= len(data)
        return data

    def close(self):
        self.f.close()


class DistHTTPHandler(http.server.SimpleHTTPRequestHandler):
    server_version = "DistHTTP/1.0"
    webroot = b""  # bytes, set at start-up
    command_log = None  # shared with the FTP side, so tests can count requests
    stopping = threading.Event()  # set when the server stops

    # Fault switches, set from the command line.
    head_405 = False     # HEAD answered 405, as by servers that only GET
    http_status = None   # every request answered with this status
    stale_from = None    # bytes: copy this folder at the first request and
                         # serve the copy ever after, as a lagging mirror does
    ignore_range = False  # a server that sends the whole body to a Range GET
    lastver_fault = None     # a status, "html", "stall" or "reset" ...
    lastver_fault_on = None  # ... for these lastver GETs (1-based), None: all
    _stale_lock = threading.Lock()
    _stale_done = False
    _lastver_lock = threading.Lock()
    _lastver_count = 0
    _ranges_offered = False  # per request: the answer is a file's body

    def do_GET(self):
        if self.lastver_fault is not None and self._faulty_lastver_read():
            self._answer_lastver_fault()
            return
        try:
            super().do_GET()
        except (ConnectionResetError, BrokenPipeError):
            # A client that has read what it wanted hangs up (the tool stops
            # reading a body that ignored its Range after 64 KiB).
            log.debug("client hung up during %s", self.path)

    def _faulty_lastver_read(self):
        raw = urllib.parse.unquote_to_bytes(self.path.split("?", 1)[0].split("#", 1)[0])
        if not raw.endswith(b"_lastver.txt"):
            return False
        with DistHTTPHandler._lastver_lock:
            DistHTTPHandler._lastver_count += 1
            number = DistHTTPHandler._lastver_count
        return self.lastver_fault_on is None or number in self.lastver_fault_on

    def _answer_lastver_fault(self):
        kind = self.lastver_fault
        self.close_connection = True
        if kind == "stall":
            # The request was read; no answer comes while the server runs.
            self.stopping.wait()
        elif kind == "reset":
            # RST, no answer: linger 0 and the last reference to the
            # socket closed here, before any orderly shutdown.
            try:
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
            except OSError:
                pass
            self.rfile.close()
            self.connection.close()
        elif kind == "html":
            # What a portal or a proxy's notice page looks like to a
            # client that reads the body as a build number.
            body = (b"<html><head><title>Notice</title></head><body>"
                    b"<p>This page is being maintained.</p></body></html>\n")
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        else:
            self.send_error(kind)

    def send_response(self, code, message=None):
        super().send_response(code, message)
        if code == 200 and self._ranges_offered:
            self.send_header("Accept-Ranges", "bytes")

    def do_HEAD(self):
        if self.head_405:
            self.send_error(405, "Method Not Allowed")
            return
        super().do_HEAD()

    def _take_stale_copy(self):
        with DistHTTPHandler._stale_lock:
            if DistHTTPHandler._stale_done:
                return
            shutil.rmtree(self.webroot, ignore_errors=True)
            shutil.copytree(self.stale_from, self.webroot, symlinks=True)
            DistHTTPHandler._stale_done = True

    def parse_request(self):
        ok = super().parse_request()
        if ok and self.stale_from is not None:
            self._take_stale_copy()
        if ok and self.command_log is not None:
            # One line per request with the headers the client's caching
            # behaviour depends on.
            line = "HTTP %s agent=%s cache-control=%s pragma=%s" % (
                self.requestline, self.headers.get("User-Agent", ""),
                self.headers.get("Cache-Control", ""), self.headers.get("Pragma", ""))
            try:
                with open(self.command_log, "ab") as f:
                    f.write(line.encode("latin-1", "replace") + b"\n")
            except OSError as err:
                log.warning("cannot write command log: %s", err)
        return ok

    def translate_path(self, path):
        # Decode percent-escapes to bytes, not UTF-8: the update folder's
        # name is CP949.  Dot segments are resolved and any ".." left over
        # is dropped, so a request cannot climb out of the web root.
        path = path.split("?", 1)[0].split("#", 1)[0]
        raw = urllib.parse.unquote_to_bytes(path)
        trailing_slash = raw.endswith(b"/")
        parts = [p for p in posixpath.normpath(raw).split(b"/")
                 if p and p not in (b".", b"..")]
        fs_path = os.path.join(self.webroot, *parts)
        if trailing_slash:
            fs_path += b"/"
        return os.fsdecode(fs_path)

    def send_head(self):
        if self.http_status is not None:
            self.send_error(self.http_status)
            return None
        path = self.translate_path(self.path)
        # An escaped NUL would make open() raise ValueError, not OSError.
        if "\x00" in path:
            self.send_error(404, "File not found")
            return None
        self._ranges_offered = not self.ignore_range and os.path.isfile(path)
        if (self._ranges_offered and self.command == "GET"
                and "Range" in self.headers):
            try:
                f = open(path, "rb")
            except OSError:
                self.send_error(404, "File not found")
                return None
            body = self._send_range(f, path)
            if body is not False:
                return body
            f.close()
        return super().send_head()

    def _send_range(self, f, path):
        """Answers a Range GET from the open file: the slice to send after
        a 206, None after a 416, False when the header asks no single range
        (the whole body is sent instead)."""
        stat = os.fstat(f.fileno())
        size = stat.st_size
        wanted = byte_range(self.headers["Range"], size)
        if wanted is None:
            return False
        if wanted == UNSATISFIABLE:
            f.close()
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return None
        first, last = wanted
        try:
            f.seek(first)
            self.send_response(206)
            self.send_header("Content-Type", self.guess_type(path))
            self.send_header("Content-Length", str(last - first + 1))
            self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, size))
            self.send_header("Last-Modified", self.date_time_string(stat.st_mtime))
            self.end_headers()
        except BaseException:
            f.close()
            raise
        return FileSlice(f, last - first + 1)

    def guess_type(self, path):
        if path.lower().endswith(".txt"):
            return "text/plain"
        return "application/octet-stream"

    def log_message(self, format, *args):
        log.debug("http %s - %s", self.address_string(), format % args)


def parse_port_range(text):
    try:
        low, high = (int(x) for x in text.split("-", 1))
    except ValueError:
        raise argparse.ArgumentTypeError("expected LOW-HIGH, got %r" % text)
    if not 1024 <= low <= high <= 65535:
        raise argparse.ArgumentTypeError("bad port range %r" % text)
    return low, high


def parse_numbers(text):
    try:
        numbers = frozenset(int(x) for x in text.split(","))
    except ValueError:
        raise argparse.ArgumentTypeError("expected N[,N...], got %r" % text)
    if not numbers or min(numbers) < 1:
        raise argparse.ArgumentTypeError("counts start at 1: %r" % text)
    return numbers


def parse_rnto_numbers(text):
    if text == "all":
        return text
    try:
        return parse_numbers(text)
    except argparse.ArgumentTypeError:
        raise argparse.ArgumentTypeError("expected all or N[,N...] from 1, got %r" % text)


def parse_lastver_fault(text):
    if text in ("html", "stall", "reset"):
        return text
    try:
        status = int(text)
    except ValueError:
        status = 0
    if not 400 <= status <= 599:
        raise argparse.ArgumentTypeError(
            "expected a status 400 to 599, html, stall or reset, got %r" % text)
    return status


def parse_race_after(text):
    command, _, number = text.partition(":")
    if not command.isalpha():
        raise argparse.ArgumentTypeError("expected CMD[:N], got %r" % text)
    try:
        count = int(number) if number else 1
    except ValueError:
        count = 0
    if count < 1:
        raise argparse.ArgumentTypeError("CMD[:N] counts from 1: %r" % text)
    return command.upper(), count


def unescape_line_ends(text):
    """\\r and \\n as CR and LF (a shell or a test broker line cannot carry
    them as they are), \\\\ as one backslash; any other backslash stays."""
    return re.sub(r"\\([rn\\])",
                  lambda m: {"r": "\r", "n": "\n", "\\": "\\"}[m.group(1)], text)


def parse_race_write(text):
    name, equals, content = text.partition("=")
    if not equals or not name or "/" in name or name in (".", ".."):
        raise argparse.ArgumentTypeError("expected NAME=TEXT with a plain file name, "
                                         "got %r" % text)
    try:
        # Stored as the client names files there: in code page 949.
        raw_name = name.encode("cp949")
    except UnicodeEncodeError:
        raise argparse.ArgumentTypeError("%r has no code page 949 form" % name)
    return raw_name, unescape_line_ends(content).encode("utf-8")


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="Local FTP upload / HTTP download server for tests.")
    p.add_argument("--home", required=True,
                   help="FTP home folder; DIR/public_html is the web root")
    p.add_argument("--ftp-port", type=int, default=0,
                   help="FTP control port (0: pick a free one)")
    p.add_argument("--http-port", type=int, default=0,
                   help="HTTP port (0: pick a free one)")
    p.add_argument("--passive-ports", type=parse_port_range,
                   default=(50000, 50999), metavar="LOW-HIGH",
                   help="ports offered for passive data connections")
    p.add_argument("--exit-on-stdin-eof", action="store_true",
                   help="stop when stdin is closed (harness went away)")
    p.add_argument("--fail-stor-552", action="store_true",
                   help="take every upload in full, then answer 552")
    p.add_argument("--cut-after", type=int, metavar="BYTES",
                   help="reset an upload's data connection after BYTES "
                        "bytes and answer 426")
    p.add_argument("--refuse-rename-over", action="store_true",
                   help="answer 550 to RNTO onto an existing name")
    p.add_argument("--store-short", type=int, metavar="BYTES",
                   help="keep only the first BYTES bytes of an upload but "
                        "answer 226 as if all were stored")
    p.add_argument("--store-none", action="store_true",
                   help="keep no file at all of an upload but answer 226")
    p.add_argument("--fault-stor", type=parse_numbers, metavar="N[,N...]",
                   help="the store faults (--store-short, --store-none, "
                        "--fail-stor-552, --cut-after) act only on the listed "
                        "uploads (STOR or APPE, counted together) of the "
                        "server's life (from 1); default: on all")
    p.add_argument("--upload-rate", type=int, metavar="BYTES",
                   help="take the data of uploads at about BYTES bytes a "
                        "second (a slow link); not with --tls")
    p.add_argument("--no-rest", action="store_true",
                   help="a server that cannot resume: FEAT lists no REST "
                        "STREAM and REST is answered 502")
    p.add_argument("--race-write", action="append", default=[],
                   type=parse_race_write, metavar="NAME=TEXT",
                   help="with --race-after: write TEXT (UTF-8; \\r and \\n "
                        "stand for CR and LF) into the upload folder as NAME "
                        "(its code page 949 bytes), as another publisher "
                        "would; may be repeated")
    p.add_argument("--race-after", type=parse_race_after, metavar="CMD[:N]",
                   help="when to do the --race-write: once the N-th (default "
                        "1st) CMD of the server's life (e.g. SIZE:2, STOR, "
                        "RNTO) is answered, before its answer reaches the "
                        "client")
    p.add_argument("--password", default=FTP_PASSWORD,
                   help="the account's password (default: the demo's); a client "
                        "that sends another one is refused with 530")
    p.add_argument("--perms", default=FTP_PERMS,
                   help="pyftpdlib permissions of the account (default "
                        "%(default)s; elradmw lacks f: no renaming at all)")
    p.add_argument("--refuse-rnto", type=parse_rnto_numbers, metavar="all|N[,N]",
                   help="answer 553 to every RNTO, or to the listed ones "
                        "(counted from 1 over the server's life among the "
                        "RNTO commands the account may send)")
    p.add_argument("--stall-on", action="append", default=[], metavar="CMD",
                   help="read CMD (e.g. RNTO, SIZE) and never answer it; "
                        "may be repeated")
    p.add_argument("--no-size", action="store_true",
                   help="answer 502 (not implemented) to SIZE")
    p.add_argument("--command-log", metavar="FILE",
                   help="append every FTP command line to FILE "
                        "(PASS masked)")
    p.add_argument("--web-root", metavar="NAME",
                   help="the HTTP side serves HOME/NAME (made with the "
                        "download folder in it) instead of HOME/public_html, "
                        "as a web server mapped to the wrong folder does")
    p.add_argument("--web-stale", action="store_true",
                   help="the HTTP side serves a copy of HOME/public_html "
                        "taken at its first request and never refreshed, as "
                        "a lagging mirror or a cache on the way does")
    p.add_argument("--head-405", action="store_true",
                   help="answer every HTTP HEAD request with 405 (GET works)")
    p.add_argument("--http-status", type=int, metavar="CODE",
                   help="answer every HTTP request with CODE (e.g. 503)")
    p.add_argument("--web-ignore-range", action="store_true",
                   help="answer a GET with a Range header with 200 and the "
                        "whole body, as a server without range support does "
                        "(by default a single bytes=a-b, a- or -n range is "
                        "answered 206, or 416 past the end)")
    p.add_argument("--lastver-fault", type=parse_lastver_fault,
                   metavar="STATUS|html|stall|reset",
                   help="answer GET requests for *_lastver.txt with this "
                        "status (400 to 599) and a short HTML body, with 200 "
                        "and an HTML page (html), never (stall: the request "
                        "is read and the connection kept open), or by "
                        "closing the connection with a reset (reset)")
    p.add_argument("--lastver-fault-on", type=parse_numbers, metavar="N[,N...]",
                   help="the --lastver-fault acts only on these lastver GETs, "
                        "counted from 1 as they arrive; default: on all")
    p.add_argument("--tls", metavar="DIR",
                   help="offer explicit FTPS (AUTH TLS; PROT P protects the "
                        "data): a test CA and server certificates are made "
                        "in DIR with openssl on first use and reused; the "
                        "READY line ends in ca=DIR/ca.pem")
    p.add_argument("--tls-required", action="store_true",
                   help="with --tls: refuse USER and PASS before AUTH TLS, "
                        "and data connections without PROT P")
    p.add_argument("--tls-cert", choices=TestCertificates.KINDS, default="good",
                   help="with --tls: the certificate the server shows: good "
                        "(localhost and 127.0.0.1, signed by the CA printed), "
                        "untrusted (signed by another CA), wrong-name (signed "
                        "by the CA printed, for wrong.example only), expired "
                        "(signed by the CA printed, validity over); default "
                        "%(default)s")
    p.add_argument("--verbose", action="store_true",
                   help="debug logging to stderr")
    args = p.parse_args(argv)
    if args.cut_after is not None and args.cut_after < 0:
        p.error("--cut-after must not be negative")
    if args.store_short is not None and args.store_short < 0:
        p.error("--store-short must not be negative")
    if args.http_status is not None and not 400 <= args.http_status <= 599:
        p.error("--http-status takes an error status, 400 to 599")
    if args.web_root is not None and (not args.web_root or "/" in args.web_root
                                      or args.web_root in (".", "..", "public_html")):
        p.error("--web-root takes a plain folder name other than public_html")
    if args.web_root is not None and args.web_stale:
        p.error("--web-root and --web-stale exclude each other")
    if args.lastver_fault_on is not None and args.lastver_fault is None:
        p.error("--lastver-fault-on needs --lastver-fault")
    if bool(args.race_write) != (args.race_after is not None):
        p.error("--race-write and --race-after go together")
    if args.tls is None and (args.tls_required or args.tls_cert != "good"):
        p.error("--tls-required and --tls-cert need --tls")
    args.stall_on = frozenset(c.upper() for c in args.stall_on)
    return args


def prepare_home(home):
    home = os.path.abspath(os.fsencode(home))
    os.makedirs(os.path.join(home, b"public_html", b"download", UPDATE_DIR),
                exist_ok=True)
    return home


def main(argv=None):
    args = parse_args(argv)
    logging.basicConfig(level=logging.DEBUG if args.verbose else logging.WARNING,
                        stream=sys.stderr,
                        format="%(asctime)s %(name)s %(message)s")

    # str paths reach the disk through the file system encoding; only
    # utf-8/surrogateescape gives back the exact bytes a client sent.
    if os.fsencode("\udcc0") != b"\xc0":
        sys.exit("dist_server: file system encoding %s/%s cannot carry raw "
                 "bytes; run with a UTF-8 locale"
                 % (sys.getfilesystemencoding(),
                    sys.getfilesystemencodeerrors()))

    home = prepare_home(args.home)

    authorizer = DummyAuthorizer()
    authorizer.add_user(FTP_USER, args.password, os.fsdecode(home),
                        perm=args.perms)
    # The switches go on the mixin, which the plain and the TLS handler share.
    DistFTPMixin.authorizer = authorizer
    DistFTPMixin.passive_ports = list(range(args.passive_ports[0],
                                            args.passive_ports[1] + 1))
    DistFTPMixin.cut_after = args.cut_after
    DistFTPMixin.fail_stor_552 = args.fail_stor_552
    DistFTPMixin.refuse_rename_over = args.refuse_rename_over
    DistFTPMixin.store_short = args.store_short
    DistFTPMixin.store_none = args.store_none
    DistFTPMixin.fault_stor = args.fault_stor
    DistFTPMixin.refuse_rnto = args.refuse_rnto
    DistFTPMixin.stall_on = args.stall_on
    DistFTPMixin.no_size = args.no_size
    DistFTPMixin.no_rest = args.no_rest
    DistFTPMixin.race_after = args.race_after
    DistFTPMixin.race_writes = tuple(args.race_write)
    DistFTPMixin.upload_dir = os.path.join(home, b"public_html", b"download", UPDATE_DIR)
    if args.command_log:
        DistFTPMixin.command_log = os.path.abspath(
            os.fsencode(args.command_log))
        DistHTTPHandler.command_log = DistFTPMixin.command_log

    handler = DistFTPHandler
    ready_extra = ""
    if args.upload_rate is not None:
        if args.tls is not None or args.upload_rate <= 0:
            sys.exit("dist_server: --upload-rate needs a positive rate and no --tls")
        DistThrottledDTPHandler.read_limit = args.upload_rate
        DistFTPHandler.dtp_handler = DistThrottledDTPHandler
    if args.tls is not None:
        certificates = TestCertificates(args.tls)
        handler = tls_handler_class()
        handler.certfile, handler.keyfile = certificates.server_files(args.tls_cert)
        handler.tls_control_required = args.tls_required
        handler.tls_data_required = args.tls_required
        # Made now, so a bad certificate ends the start, not a connection.
        handler.get_ssl_context()
        ready_extra = " ca=" + certificates.ca_file

    ftpd = FTPServer(("127.0.0.1", args.ftp_port), handler)
    DistHTTPHandler.webroot = os.path.join(home, b"public_html")
    if args.web_root is not None:
        DistHTTPHandler.webroot = os.path.join(home, os.fsencode(args.web_root))
        os.makedirs(os.path.join(DistHTTPHandler.webroot, b"download", UPDATE_DIR),
                    exist_ok=True)
    elif args.web_stale:
        DistHTTPHandler.stale_from = DistHTTPHandler.webroot
        DistHTTPHandler.webroot = os.path.join(home, b"stale_html")
    DistHTTPHandler.head_405 = args.head_405
    DistHTTPHandler.http_status = args.http_status
    DistHTTPHandler.ignore_range = args.web_ignore_range
    DistHTTPHandler.lastver_fault = args.lastver_fault
    DistHTTPHandler.lastver_fault_on = args.lastver_fault_on
    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", args.http_port),
                                            DistHTTPHandler)
    httpd.daemon_threads = True

    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    if args.exit_on_stdin_eof:
        stop_when_stdin_closes(stop)

    http_thread = threading.Thread(target=httpd.serve_forever,
                                   kwargs={"poll_interval": 0.2}, daemon=True)
    http_thread.start()

    # Both sockets are listening since their constructors ran.
    log.info("FTP on 127.0.0.1:%d, HTTP on 127.0.0.1:%d",
             ftpd.address[1], httpd.server_address[1])
    print("READY ftp=%d http=%d%s" % (ftpd.address[1], httpd.server_address[1],
                                       ready_extra),
          flush=True)

    try:
        while not stop.is_set():
            # Short polls so a signal or stdin EOF is noticed promptly.
            ftpd.ioloop.loop(timeout=0.2, blocking=False)
    finally:
        ftpd.close_all()
        # Lets stalled HTTP requests end with the server.
        DistHTTPHandler.stopping.set()
        httpd.shutdown()
        httpd.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
