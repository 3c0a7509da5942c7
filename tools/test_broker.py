#!/usr/bin/python3
"""Runs a Windows test under wine and starts the local servers it asks for.

    test_broker.py -- COMMAND...

A Windows program under wine cannot start a Linux program and wait for it,
so the test asks this broker instead.  The broker listens on a free port of
127.0.0.1, hands the port to COMMAND in PARONE_TEST_BROKER and serves one
request per connection, a line of tab-separated fields:

    dist_server SWITCH...        -> READY FTP-PORT HTTP-PORT ROOT [CA]
                                    (CA: with --tls DIR, the test CA's
                                    certificate; paths among the switches
                                    are Windows paths too)
    signing_service DIR OPTION...  -> READY CERTIFICATE  (paths among the
                                    options are Windows paths too)
    verify_signature FILE CERT   -> DONE EXIT-STATUS   (osslsigncode verify)

or FAILED and the reason.  A server lives until its connection closes; the
broker then stops it, removes its folder and closes its side.  While it
lives, the test reads and writes its upload folder through the same
connection, names as hexadecimal bytes (code page 949 names stay exact):

    list                 -> HEX-NAME...
    read HEX-NAME        -> SIZE, then SIZE bytes (SIZE -1: no such file)
    write HEX-NAME SIZE, then SIZE bytes -> ok  Paths travel
as Windows paths: drive Z: is "/", other drives are found through the wine
prefix's dosdevices.  The distribution server's home is ROOT\\home, and
ROOT\\upload is a link to its upload folder, whose code page 949 name wine
cannot show as text.  Exits with COMMAND's status.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3"
UPLOAD_DIR = "자동업데이트_v1".encode("cp949")


def to_linux(path):
    path = path.replace("\\", "/")
    if len(path) >= 2 and path[1] == ":":
        drive, rest = path[0].lower(), path[2:]
        if drive == "z":
            return rest
        prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
        return os.path.join(prefix, "dosdevices", drive + ":") + rest
    return path


def linux_if_path(option):
    """An option's value that is a Windows path (--substitute FILE) as the
    Linux side names it; any other word as it is."""
    if len(option) >= 3 and option[0].isalpha() and option[1] == ":" and option[2] in "\\/":
        return to_linux(option)
    return option


def to_windows(path):
    """A Linux path as a Windows program names it: back through the drive
    to_linux took it through, else through drive Z:.  A colon left inside
    a path (dosdevices/c:) would not open on the Windows side."""
    devices = os.path.join(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")),
                           "dosdevices") + "/"
    rest = path[len(devices):]
    if path.startswith(devices) and len(rest) >= 2 and rest[1] == ":" and rest[0] != "z":
        return rest[0].upper() + ":" + (rest[2:] or "/").replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def start(args):
    """Starts a service with a pipe on its stdin and returns it with the
    first line it prints."""
    process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    line = process.stdout.readline().decode("utf-8", "replace").strip()
    return process, line


def stop(process):
    try:
        process.stdin.close()
    except OSError:
        pass
    process.terminate()
    process.wait()


def serve(connection):
    process = None
    root = None
    try:
        reader = connection.makefile("rb")
        fields = reader.readline().decode("utf-8").rstrip("\n").split("\t")
        kind, rest = fields[0], fields[1:]
        if kind == "dist_server":
            root = tempfile.mkdtemp(prefix="parone_server_")
            home = os.path.join(root, "home")
            process, line = start([PYTHON, os.path.join(ROOT, "tools", "dist_server.py"),
                                   "--home", home, "--exit-on-stdin-eof",
                                   "--command-log", os.path.join(root, "commands.log")]
                                  + [linux_if_path(o) for o in rest])
            # The CA's path comes last and may hold blanks.
            ports, _, ca = line.partition(" ca=")
            words = dict(w.split("=", 1) for w in ports.split()[1:] if "=" in w)
            if not line.startswith("READY") or "ftp" not in words:
                answer = ["FAILED", line]
            else:
                os.symlink(os.path.join(home.encode(), b"public_html", b"download", UPLOAD_DIR),
                           os.path.join(root, "upload").encode())
                answer = ["READY", words["ftp"], words["http"], to_windows(root)]
                if ca:
                    answer.append(to_windows(ca))
        elif kind == "signing_service":
            folder = to_linux(rest[0])
            process, line = start([PYTHON, os.path.join(ROOT, "tools", "signing_service.py"),
                                   "--unsigned", folder + "/unsigned", "--signed", folder + "/signed",
                                   "--state", folder + "/state", "--poll", "0.1",
                                   "--exit-on-stdin-eof"] + [linux_if_path(o) for o in rest[1:]])
            if line.startswith("READY cert="):
                answer = ["READY", to_windows(line[len("READY cert="):])]
            else:
                answer = ["FAILED", line]
        elif kind == "verify_signature":
            status = subprocess.call(["/usr/bin/osslsigncode", "verify", "-CAfile",
                                      to_linux(rest[1]), "-in", to_linux(rest[0])],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            answer = ["DONE", str(status)]
        else:
            answer = ["FAILED", "unknown request " + kind]
        connection.sendall(("\t".join(answer) + "\n").encode("utf-8"))
        # The server lives as long as the test keeps the connection.
        upload = os.path.join(root.encode(), b"upload") if root else None
        for line in reader:
            words = line.decode("ascii").rstrip("\n").split("\t")
            if words[0] == "list":
                names = sorted(os.listdir(upload))
                connection.sendall(("\t".join(n.hex() for n in names) + "\n").encode())
            elif words[0] == "read":
                try:
                    with open(os.path.join(upload, bytes.fromhex(words[1])), "rb") as f:
                        data = f.read()
                    connection.sendall(b"%d\n" % len(data) + data)
                except OSError:
                    connection.sendall(b"-1\n")
            elif words[0] == "write":
                data = reader.read(int(words[2]))
                with open(os.path.join(upload, bytes.fromhex(words[1])), "wb") as f:
                    f.write(data)
                connection.sendall(b"ok\n")
    except OSError:
        pass
    finally:
        if process is not None:
            stop(process)
        if root is not None:
            shutil.rmtree(root, ignore_errors=True)
        connection.close()


def main():
    if len(sys.argv) < 3 or sys.argv[1] != "--":
        sys.exit("usage: test_broker.py -- COMMAND...")
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    workers = []

    def accept():
        while True:
            try:
                connection, _ = listener.accept()
            except OSError:
                return
            worker = threading.Thread(target=serve, args=(connection,), daemon=True)
            worker.start()
            workers.append(worker)

    threading.Thread(target=accept, daemon=True).start()
    env = dict(os.environ, PARONE_TEST_BROKER=str(listener.getsockname()[1]))
    status = subprocess.call(sys.argv[2:], env=env)
    listener.close()
    # The test has ended, and with it every connection: let the servers stop.
    for worker in workers:
        worker.join(timeout=30)
    sys.exit(status)


if __name__ == "__main__":
    main()
