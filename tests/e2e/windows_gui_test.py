#!/usr/bin/python3
"""End to end: the Windows window program itself, under wine on a display
(run inside tools/wine_gui_session.sh), against the local distribution
server and the reference signing service on the Linux side.

    windows_gui_test.py EXE PROBE SAMPLE

PROBE is tests/support/windows/window_probe.cpp, built for Windows: it
finds the window and prints its title. Everything else is checked from the
Linux side: the exit status, the bytes on the server under the code page
949 folder name, the signature, and the registry through wine's reg.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE64 = os.environ.get("PARONE_WINE64", "/usr/lib/wine/wine64")
# The local server's account password; the program has none built in.
DEMO_PASSWORD = "Demo#Only-Server1"
EXE = PROBE = SAMPLE = None
UPLOAD_DIR = "자동업데이트_v1".encode("cp949")
RECENT_KEY = "HKCU\\Software\\VB and VBA Program Settings\\파로네_배포\\RecentFiles"
CAPTION = "파로네 자동배포2(ftp) Ver.1.1.33"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wine(*args, timeout=120):
    """Runs a Windows program to its end. Its output goes through files, not
    pipes: a wine service it happens to start inherits them and would keep a
    pipe open until the whole session ends."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        run = subprocess.run([WINE64] + list(args), stdin=subprocess.DEVNULL, stdout=out,
                             stderr=err, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(run.args, run.returncode, out.read(), err.read())


class Service:
    """A Linux-side service started with a pipe on its stdin (it ends with
    the pipe), and the words of its first line."""

    def __init__(self, args):
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.line = self.process.stdout.readline().decode()

    def close(self):
        self.process.stdin.close()
        self.process.terminate()
        self.process.wait()


class WindowsWindowProgram(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="parone_gui_e2e_")
        # The program in a folder of its own, beside the temp folder its
        # lastver files go to.
        self.tool = os.path.join(self.work, "tool")
        os.makedirs(os.path.join(self.tool, "temp"))
        self.exe = os.path.join(self.tool, "parone-deploy.exe")
        shutil.copyfile(EXE, self.exe)
        # A path with a blank and Korean letters, as Explorer passes it.
        folder = os.path.join(self.work, "빌드 출력")
        os.makedirs(folder)
        self.sample = os.path.join(folder, "Tool Setup.exe")
        shutil.copyfile(SAMPLE, self.sample)
        self.signing = os.path.join(self.work, "signing")
        for d in ("unsigned", "signed", "state"):
            os.makedirs(os.path.join(self.signing, d))
        self.services = []
        wine("reg", "delete", RECENT_KEY, "/f")

    def tearDown(self):
        for service in self.services:
            service.close()
        wine("reg", "delete", RECENT_KEY, "/f")
        shutil.rmtree(self.work, ignore_errors=True)

    def start(self, args):
        service = Service(args)
        self.services.append(service)
        return service

    def recent_entry(self):
        exported = os.path.join(self.work, "recent.reg")
        run = wine("reg", "export", RECENT_KEY, windows_path(exported), "/y")
        self.assertEqual(run.returncode, 0, run.stderr)
        with open(exported, "rb") as f:
            text = f.read().decode("utf-16")
        for line in text.splitlines():
            if line.startswith('"1"='):
                return line[len('"1"='):].strip('"').replace("\\\\", "\\")
        return None

    def test_a_command_line_start_shows_the_titled_window_signs_publishes_and_closes(self):
        server = self.start(["/usr/bin/python3", os.path.join(ROOT, "tools", "dist_server.py"),
                             "--home", os.path.join(self.work, "home"), "--exit-on-stdin-eof"])
        ports = dict(w.split("=") for w in server.line.split()[1:])
        signing = self.start(["/usr/bin/python3", os.path.join(ROOT, "tools", "signing_service.py"),
                              "--unsigned", os.path.join(self.signing, "unsigned"),
                              "--signed", os.path.join(self.signing, "signed"),
                              "--state", os.path.join(self.signing, "state"),
                              "--poll", "0.1", "--exit-on-stdin-eof"])
        self.assertTrue(signing.line.startswith("READY cert="), signing.line)
        certificate = signing.line.strip()[len("READY cert="):]

        env = dict(os.environ,
                   PARONE_DEPLOY_SERVER="127.0.0.1:%s:%s" % (ports["ftp"], ports["http"]),
                   PARONE_DEPLOY_FTP_PASSWORD=DEMO_PASSWORD,
                   PARONE_DEPLOY_SIGNING_DIR=windows_path(self.signing))
        app = subprocess.Popen([WINE64, self.exe, windows_path(self.sample)], env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            # While the signing service works, the window is up with the
            # version from the program's own version resource.
            probe = wine(PROBE, "ParoneDeployForm1", "20000")
            self.assertEqual(probe.returncode, 0, "no window came up")
            self.assertEqual(probe.stdout.decode("utf-8").strip(), CAPTION)
            # Closed after sending: the program ends by itself.
            self.assertEqual(app.wait(timeout=120), 0)
        finally:
            if app.poll() is None:
                app.kill()
                app.wait()

        with open(self.sample, "rb") as f:
            local = f.read()
        upload = os.path.join(self.work.encode(), b"home", b"public_html", b"download", UPLOAD_DIR)
        with open(os.path.join(upload, b"Tool Setup.exe"), "rb") as f:
            self.assertEqual(f.read(), local)
        with open(os.path.join(upload, b"Tool Setup_lastver.txt"), "rb") as f:
            self.assertEqual(f.read(), b"33\r\n")
        with open(os.path.join(self.tool, "temp", "Tool Setup_lastver.txt"), "rb") as f:
            self.assertEqual(f.read(), b"33\r\n")
        verify = subprocess.run(["/usr/bin/osslsigncode", "verify", "-CAfile", certificate,
                                 "-in", self.sample], capture_output=True)
        self.assertEqual(verify.returncode, 0, "the published file is not the signed one")
        # The quoted path with its blank and Korean letters arrived whole.
        self.assertEqual(self.recent_entry(), windows_path(self.sample))


if __name__ == "__main__":
    EXE, PROBE, SAMPLE = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1], verbosity=2)
