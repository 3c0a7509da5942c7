#!/usr/bin/python3
"""How long the window takes to publish a file, against the command line
publishing a file of the same size to the same server.

Starts the local distribution server, then in several rounds drives the
window by keyboard as a user would (types the path into the selection,
unticks 전자서명 추가, presses Enter; 전송후 닫기 stays ticked, so the window
closes once the file is published and confirmed) and publishes a copy of the
same size with `parone-deploy-cli publish`, alternating, and prints each
one's median and the ratio of the medians. The window is timed from the
Enter to the end of its process, the command line from its start to its
end. Before every publish the server's lastver file of that copy is
removed, so that each one is a new build to the server and nothing is asked.

    /usr/bin/python3 bench/window_publish_bench.py [linux|windows] [ROUNDS] [MIB]

linux (default): the Qt window of build/ on an Xvfb display of its own;
windows: the Win32 window of build-windows/ under wine, on a display and
wine prefix of its own (tools/wine_gui_session.sh), against the Windows
command line under the same wine. Needs xdotool (scripts/install-deps.sh).
The files are the sample program grown to MIB (default 64) MiB.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from publish_bench import DEMO_PASSWORD, MIB, make_program, start_server

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE64 = "/usr/lib/wine/wine64"
UPDATE_DIR = "자동업데이트_v1".encode("cp949")
# The window's caption begins with this; xdotool finds the window by it (a
# regular expression: the caption's parentheses would be a group).
CAPTION = "^파로네 자동배포2"


class Platform:
    def __init__(self, kind, work):
        self.kind = kind
        self.work = work
        if kind == "linux":
            self.build = os.path.join(ROOT, "build")
            self.window = [os.path.join(self.build, "bin", "parone-deploy")]
            self.cli = [os.path.join(self.build, "bin", "parone-deploy-cli")]
            self.env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
                            QT_QPA_PLATFORM="xcb")
        else:
            self.build = os.path.join(ROOT, "build-windows")
            self.window = [WINE64, os.path.join(self.build, "bin", "parone-deploy.exe")]
            self.cli = [WINE64, os.path.join(self.build, "bin", "parone-deploy-cli.exe")]
            self.env = dict(os.environ)

    def path(self, local):
        """The file's path as the program sees it."""
        return local if self.kind == "linux" else "Z:" + local.replace("/", "\\")


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout


def publish_by_window(platform, env, program):
    """Starts the window, types the path, unticks signing, presses Enter and
    returns the seconds from the Enter until the window's process ended."""
    proc = subprocess.Popen(platform.window, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        window = xdotool("search", "--sync", "--onlyvisible", "--name", CAPTION).split()[0]
        if platform.kind == "linux":
            # No window manager hands out the focus on this display.
            xdotool("windowfocus", "--sync", window)
        time.sleep(0.5)  # until the load has put the focus on the selection
        xdotool("type", "--delay", "5", platform.path(program))
        # The selection is first in the focus order, 전자서명 추가 last.
        xdotool("key", "--delay", "50", "shift+Tab", "space")
        time.sleep(0.2)
        start = time.perf_counter()
        xdotool("key", "Return")
        proc.wait(timeout=600)
        return time.perf_counter() - start
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


def timed_run(command, env):
    start = time.perf_counter()
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def publish_by_cli(platform, env, program):
    return timed_run(platform.cli + ["publish", platform.path(program)], env)


def measure(kind, rounds, size):
    work = tempfile.mkdtemp(prefix="parone_window_bench_")
    platform = Platform(kind, work)
    home = os.path.join(work, "home")
    server, ftp, http = start_server(home)
    # The demo account's password as a company sets it for a build machine;
    # without it the window would stop at its password dialog.
    env = dict(platform.env, PARONE_DEPLOY_SERVER=f"127.0.0.1:{ftp}:{http}",
               PARONE_DEPLOY_FTP_PASSWORD=DEMO_PASSWORD)
    upload_dir = os.path.join(os.fsencode(home), b"public_html", b"download", UPDATE_DIR)
    try:
        sample = os.path.join(platform.build, "fixtures", "sample64.exe")
        files = {"window": os.path.join(work, "window.exe"), "cli": os.path.join(work, "cli.exe")}
        for path in files.values():
            make_program(sample, path, size)
        times = {"window": [], "cli": []}
        for _ in range(rounds):
            for name, run in (("window", publish_by_window), ("cli", publish_by_cli)):
                lastver = os.path.join(upload_dir, name.encode() + b"_lastver.txt")
                if os.path.exists(lastver):
                    os.remove(lastver)
                times[name].append(run(platform, env, files[name]))
                published = os.path.join(upload_dir, name.encode() + b".exe")
                if (not os.path.exists(lastver) or open(lastver, "rb").read() != b"33\r\n"
                        or os.path.getsize(published) != size):
                    sys.exit(f"the {name} did not publish {files[name]}")
        label = "Qt window (Linux)" if kind == "linux" else "Win32 window (wine)"
        cli = "parone-deploy-cli" if kind == "linux" else "parone-deploy-cli.exe (wine)"
        print(f"{label} against {cli}, {size // MIB} MiB, {rounds} rounds:")
        for name, shown in (("window", label), ("cli", cli)):
            print(f"  {shown:30s} median {statistics.median(times[name]):6.2f} s  (runs: "
                  + ", ".join(f"{t:.2f}s" for t in times[name]) + ")")
        ratio = statistics.median(times["window"]) / statistics.median(times["cli"])
        print(f"  window / command line: {ratio:.2f} (medians)")
        # The command line's time includes its own start, the window's does
        # not (it is timed from the Enter): what that start costs alone.
        start = [timed_run(platform.cli + ["--help"], env) for _ in range(5)]
        print(f"  starting the command line alone (--help): median {statistics.median(start):.2f} s")
    finally:
        server.stdin.close()
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)


def main():
    args = sys.argv[1:]
    inside = args and args[0] == "--inside"
    if inside:
        args = args[1:]
    kind = args[0] if args else "linux"
    rounds = int(args[1]) if len(args) > 1 else 5
    size = (int(args[2]) if len(args) > 2 else 64) * MIB
    if kind not in ("linux", "windows"):
        sys.exit(__doc__)
    if shutil.which("xdotool") is None:
        sys.exit("xdotool is missing: bash scripts/install-deps.sh")
    if inside:
        measure(kind, rounds, size)
        return
    me = [sys.executable, os.path.abspath(__file__), "--inside", kind, str(rounds), str(size // MIB)]
    if kind == "linux":
        # A display of its own.
        subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24 -dpi 96 -nolisten tcp", *me],
                       check=True)
    else:
        # A display, a wineserver and a wine prefix of its own, as the
        # window's tests have.
        subprocess.run(["sh", os.path.join(ROOT, "tools", "wine_gui_session.sh"),
                        os.path.join(ROOT, "build-windows", "wine-bench"), "--", *me], check=True)


if __name__ == "__main__":
    main()
