#!/usr/bin/python3
"""End to end: the Windows command line itself, under wine, against the
local distribution server on the Linux side.

    windows_cli_test.py EXE SAMPLE     (WINEPREFIX etc. in the environment)

Everything is checked from the Linux side: the exit status, the messages
(stderr is a pipe here, so they arrive as UTF-8 bytes), the bytes on disk
under the code page 949 folder name, and the registry through wine's reg.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE64 = os.environ.get("PARONE_WINE64", "/usr/lib/wine/wine64")
# The local server's account password; the program has none built in.
DEMO_PASSWORD = "Demo#Only-Server1"
OBJDUMP = "x86_64-w64-mingw32-objdump"
EXE = SAMPLE = None
UPLOAD_DIR = "자동업데이트_v1".encode("cp949")
RECENT_KEY = "HKCU\\Software\\VB and VBA Program Settings\\파로네_배포\\RecentFiles"

# What a program may import and still run on a bare Windows.
SYSTEM_DLLS = {
    "advapi32.dll", "bcrypt.dll", "crypt32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
    "secur32.dll", "shell32.dll", "user32.dll", "winmm.dll", "ws2_32.dll",
}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wine(*args, env=None, input=None):
    """Runs a Windows program; its standard input is `input`, else nothing
    (no terminal to ask at)."""
    return subprocess.run([WINE64] + list(args), capture_output=True, timeout=120, input=input,
                          stdin=subprocess.DEVNULL if input is None else None,
                          env=dict(os.environ, **(env or {})))


class DistServer:
    """tools/dist_server.py in a fresh home, stopped on close."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="parone_e2e_")
        self.home = os.path.join(self.root, "home")
        self.process = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(ROOT, "tools", "dist_server.py"),
             "--home", self.home, "--exit-on-stdin-eof",
             "--command-log", os.path.join(self.root, "commands.log")],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        words = dict(w.split("=") for w in self.process.stdout.readline().decode().split()[1:])
        self.ftp, self.http = int(words["ftp"]), int(words["http"])

    def commands(self):
        """The FTP commands the server saw (PASS masked), in order."""
        try:
            with open(os.path.join(self.root, "commands.log"), "rb") as f:
                lines = f.read().decode("utf-8", "replace").splitlines()
        except FileNotFoundError:
            return []
        return [line for line in lines if not line.startswith("HTTP ")]

    def upload_dir(self):
        return os.path.join(self.home.encode(), b"public_html", b"download", UPLOAD_DIR)

    def close(self):
        self.process.stdin.close()
        self.process.terminate()
        self.process.wait()
        shutil.rmtree(self.root, ignore_errors=True)


class RefusingFtpServer:
    """Greets, asks for the password, and refuses every login."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            with connection:
                connection.sendall(b"220 ready\r\n")
                for line in connection.makefile("rb"):
                    verb = line.split(b" ")[0].strip().upper()
                    if verb == b"USER":
                        connection.sendall(b"331 password please\r\n")
                    elif verb == b"QUIT":
                        connection.sendall(b"221 bye\r\n")
                        break
                    else:
                        connection.sendall(b"530 Login incorrect.\r\n")

    def close(self):
        self.listener.close()


class WindowsCommandLine(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="parone_e2e_files_")
        self.sample = os.path.join(self.work, "sample.exe")
        shutil.copyfile(SAMPLE, self.sample)
        wine("reg", "delete", RECENT_KEY, "/f")

    def tearDown(self):
        wine("reg", "delete", RECENT_KEY, "/f")
        shutil.rmtree(self.work, ignore_errors=True)

    def test_publish_puts_the_file_and_its_lastver_under_the_korean_folder_and_remembers_it(self):
        server = DistServer()
        try:
            run = wine(EXE, "publish", "--server", "127.0.0.1:%d:%d" % (server.ftp, server.http),
                       windows_path(self.sample), env={"PARONE_DEPLOY_FTP_PASSWORD": DEMO_PASSWORD})
            err = run.stderr.decode("utf-8")
            self.assertEqual(run.returncode, 0, err)
            self.assertIn("배포완료", err)
            with open(self.sample, "rb") as f:
                sample = f.read()
            with open(os.path.join(server.upload_dir(), b"sample.exe"), "rb") as f:
                self.assertEqual(f.read(), sample)
            with open(os.path.join(server.upload_dir(), b"sample_lastver.txt"), "rb") as f:
                self.assertEqual(f.read(), b"33\r\n")
            # The local lastver file lies in the temp folder beside the program.
            with open(os.path.join(os.path.dirname(EXE), "temp", "sample_lastver.txt"), "rb") as f:
                self.assertEqual(f.read(), b"33\r\n")
            query = wine("reg", "query", RECENT_KEY, "/v", "1")
            self.assertEqual(query.returncode, 0, query.stderr)
            self.assertIn(b"REG_SZ", query.stdout)
            self.assertIn(windows_path(self.sample).encode(), query.stdout)
        finally:
            server.close()

    def test_a_refused_login_says_so_and_fails_without_an_upload_or_a_recent_entry(self):
        refusing = RefusingFtpServer()
        try:
            # No web side answers here: the server's build is unknown, and the
            # run goes on only because the flag says so.
            run = wine(EXE, "publish", "--allow-unknown-server",
                       "--server", "127.0.0.1:%d:%d" % (refusing.port, refusing.port),
                       windows_path(self.sample), env={"PARONE_DEPLOY_FTP_PASSWORD": "refused"})
            err = run.stderr.decode("utf-8")
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("서버 접속 실패!", err)
            self.assertNotIn("배포완료", err)
            self.assertNotEqual(wine("reg", "query", RECENT_KEY, "/v", "1").returncode, 0)
        finally:
            refusing.close()

    def test_login_keeps_the_password_in_the_credential_manager_until_logout(self):
        server = DistServer()
        address = "127.0.0.1:%d:%d" % (server.ftp, server.http)
        try:
            run = wine(EXE, "login", "--password-stdin", "--server", address,
                       input=(DEMO_PASSWORD + "\r\n").encode())
            self.assertEqual(run.returncode, 0, run.stderr.decode("utf-8"))
            run = wine(EXE, "publish", "--server", address, windows_path(self.sample))
            self.assertEqual(run.returncode, 0, run.stderr.decode("utf-8"))
            self.assertEqual(server.commands().count("PASS ****"), 1)

            run = wine(EXE, "logout", "--server", address)
            self.assertEqual(run.returncode, 0, run.stderr.decode("utf-8"))
            # No password anywhere and nobody to ask: nothing is sent.
            run = wine(EXE, "publish", "--yes", "--server", address, windows_path(self.sample))
            self.assertEqual(run.returncode, 2)
            self.assertIn("no FTP password for sdc1@127.0.0.1", run.stderr.decode("utf-8"))
            self.assertEqual(server.commands().count("PASS ****"), 1)
        finally:
            wine(EXE, "logout", "--server", address)
            server.close()

    def test_the_program_carries_its_version_resource(self):
        run = wine(EXE, "version", windows_path(EXE))
        out = run.stdout.decode("utf-8")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("FileVersion: 1.1.33", out)
        self.assertIn("ProductName: 파로네_배포", out)
        self.assertIn("CompanyName: 파로네 주식회사", out)
        self.assertIn("build: 33", out)

    def test_the_program_imports_only_windows_system_dlls_and_has_a_manifest(self):
        dump = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, check=True).stdout.decode()
        self.assertIn("file format pei-x86-64", subprocess.run(
            [OBJDUMP, "-f", EXE], capture_output=True, check=True).stdout.decode())
        imports = {line.split(":", 1)[1].strip().lower()
                   for line in dump.splitlines() if "DLL Name:" in line}
        self.assertTrue(imports)
        self.assertLessEqual(imports, SYSTEM_DLLS)
        with open(EXE, "rb") as f:
            self.assertIn(b'<requestedExecutionLevel level="asInvoker"', f.read())


if __name__ == "__main__":
    EXE, SAMPLE = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
