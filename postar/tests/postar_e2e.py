#!/usr/bin/python3
"""End-to-end tests of postar against real servers on loopback ports.

    /usr/bin/python3 postar_e2e.py [path/to/postar]

The program path comes from the argument, else from $NT_TEST_BIN (the
directory of the built programs). Every run gets NT_PORT_MAP=25:<port> so
that postar's connect to port 25 reaches the test's server.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from smtp_server import CapturingServer, free_port  # noqa: E402

POSTAR = None


def find_postar():
    if len(sys.argv) > 1 and not sys.argv[1].startswith("-"):
        return os.path.abspath(sys.argv.pop(1))
    bin_dir = os.environ.get("NT_TEST_BIN")
    if bin_dir:
        path = os.path.join(bin_dir, "postar") if os.path.isdir(bin_dir) else bin_dir
        return os.path.abspath(path)
    sys.exit("postar_e2e.py: give the postar program as argument or set NT_TEST_BIN")


def base_environment():
    env = {k: v for k, v in os.environ.items()
           if k not in ("COMPUTERNAME", "USERNAME", "USERDOMAIN", "SYSTEMROOT", "NT_PORT_MAP")}
    env.update({"COMPUTERNAME": "mailhost", "USERNAME": "tester", "TZ": "UTC", "LANG": "C",
                "LC_ALL": "C"})
    env.setdefault("ASAN_OPTIONS", "detect_leaks=1")
    return env


def write_ini(directory, connection, commands, name="SMTP.INI"):
    """Writes an INI file: `connection` lines, then `commands` lines."""
    lines = ["; test dialogue", "[Connection]"] + connection + ["", "[Commands]"] + commands
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))
    return path


class Run:
    def __init__(self, proc, out, err, ended):
        self.code = proc.returncode
        self.out = out.decode("latin-1")
        self.err = err.decode("latin-1")
        self.ended = ended


def run_postar(args, port=None, cwd=None, extra_env=None, timeout=40):
    env = base_environment()
    if port is not None:
        env["NT_PORT_MAP"] = "25:%d" % port
    if extra_env:
        env.update(extra_env)
    proc = subprocess.Popen([POSTAR] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            cwd=cwd, env=env)
    out, err = proc.communicate(timeout=timeout)
    return Run(proc, out, err, time.monotonic())


class RecordingPeer:
    """A plain TCP server: accepts one connection, never answers, records
    what arrives and when."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.data = b""
        self.arrivals = []  # (time, bytes)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        self.listener.settimeout(60)
        try:
            conn, _ = self.listener.accept()
        except OSError:
            return
        with conn:
            while True:
                try:
                    chunk = conn.recv(65536)
                except OSError:
                    break
                if not chunk:
                    break
                self.arrivals.append((time.monotonic(), chunk))
                self.data += chunk

    def close(self):
        self.thread.join(timeout=60)
        self.listener.close()


class PostarTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="postar_e2e_")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class StartTest(PostarTest):
    def test_help_version_and_parameter_errors(self):
        r = run_postar(["/?"])
        self.assertEqual(r.code, 255)
        lines = r.out.split("\n")
        self.assertTrue(lines[0].startswith("postar V1.0.0023  "), lines[0])
        self.assertEqual(lines[1], "usage: POSTAR [/h<targethost>] [/i<inifile>] [arguments...]")
        self.assertIn("\t/h<targethost>\toptional hostname or address (default:SMTP_SERVER)\n",
                      r.out)
        self.assertIn("\t\t\t(default:<exedir>\\SMTP.INI)\n", r.out)
        self.assertIn("\t/v\t\tverbose (stdout) communication data)\n", r.out)
        self.assertTrue(r.out.endswith("See SMTP.INI for more information on this file.\n"))

        r = run_postar(["ver"])
        self.assertEqual(r.code, 255)
        self.assertEqual(r.out.count("\n"), 1)
        self.assertTrue(r.out.startswith("postar V1.0.0023  "))

        # Only the first argument is a command word.
        r = run_postar(["x", "ver", "/i" + os.path.join(self.dir, "none.ini")])
        self.assertEqual(r.code, 1)

        r = run_postar(["/q"])
        self.assertEqual(r.code, 87)
        self.assertIn("PARAM-ERROR, invalid option '/q'\n", r.err)
        self.assertIn("postar-ERROR, error in argument number 1\n", r.err)

        r = run_postar(["/v1"])
        self.assertEqual(r.code, 87)
        self.assertIn("no value allowed for option '/v'", r.err)

        r = run_postar(["0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"])
        self.assertEqual(r.code, 87)
        self.assertIn("PARAM-ERROR, invalid parameter 11\n", r.err)
        self.assertIn("postar-ERROR, error in argument number 11\n", r.err)

    def test_ini_file_problems(self):
        missing = os.path.join(self.dir, "missing.ini")
        r = run_postar(["/i" + missing])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.err, "POSTAR-ERROR, cannot open INI-File '%s', error=2\n" % missing)

        ini = write_ini(self.dir, ["Answer=220"], [], name="empty.ini")
        r = run_postar(["/i" + ini])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.err,
                         "POSTAR-ERROR, No commands found in section [Commands] of %s\n" % ini)

        # A bare name is taken from the current directory.
        write_ini(self.dir, [], [], name="bare.ini")
        r = run_postar(["/ibare.ini"], cwd=self.dir)
        self.assertEqual(r.code, 1)
        self.assertIn("No commands found in section [Commands] of", r.err)

    def test_command_list_limit(self):
        refused = free_port()

        def keys(total):
            # Names with their terminators fill `total` bytes.
            names = ["k%03d" % i + "x" * 95 for i in range(25)]  # 25 * 100 bytes
            last = total - 2500 - 1
            names.append("z" * last)
            self.assertEqual(sum(len(n) + 1 for n in names), total)
            return names

        ok = write_ini(self.dir, [], keys(2557), name="fits.ini")
        r = run_postar(["/h127.0.0.1", "/i" + ok], port=refused)
        self.assertEqual(r.code, 0, r.err)
        self.assertEqual(r.err, "POSTAR-ERROR, [entry] ioctl error, error=10057\n")

        for total in (2558, 2559, 4000):
            long = write_ini(self.dir, [], keys(total), name="long%d.ini" % total)
            r = run_postar(["/h127.0.0.1", "/i" + long], port=refused)
            self.assertEqual(r.code, 1)
            self.assertEqual(r.err, "POSTAR-ERROR, Command list too long, maximum 2557 bytes\n")

    def test_unknown_host_and_refused_port(self):
        ini = write_ini(self.dir, ["Answer=220"], [r"QUIT\r\n=221"])
        r = run_postar(["/hno-such-host.invalid", "/i" + ini])
        self.assertEqual(r.code, 1)
        self.assertEqual(r.err, "POSTAR-ERROR, gethostbyname() failed, unknown host "
                                "'no-such-host.invalid'\nPOSTAR-ERROR, cannot setup socket\n")

        # /h wins over -h; -h alone names the host.
        r = run_postar(["-hother.invalid", "/hno-such-host.invalid", "/i" + ini])
        self.assertIn("unknown host 'no-such-host.invalid'", r.err)
        r = run_postar(["-hother.invalid", "/i" + ini])
        self.assertIn("unknown host 'other.invalid'", r.err)
        r = run_postar(["/i" + ini])
        self.assertIn("unknown host 'SMTP_SERVER'", r.err)

        refused = free_port()
        r = run_postar(["/h127.0.0.1", "/i" + ini], port=refused)
        self.assertEqual(r.code, 0)
        self.assertEqual(r.out, "")
        self.assertEqual(r.err, "POSTAR-ERROR, [entry] ioctl error, error=10057\n")


def dialogue_run(directory):
    """The whole mail dialogue against the capturing SMTP server."""
    body = b"".join(b"Line %04d of the body \xe4\xf6\xfc \xe9 with some padding text.\r\n" % i
                    for i in range(60)) + b"Last line without a line end"
    body_path = os.path.join(directory, "body.txt")
    with open(body_path, "wb") as f:
        f.write(body)
    ini = write_ini(directory, ["Answer=220", "Response Timeout=5", "Service=smtp", "Retries=3"], [
        r"HELO ~h\r\n=250",
        r"MAIL FROM:<~u@%POSTAR_DOMAIN%>\r\n=250",
        r"RCPT TO:<%0>\r\n=250",
        r"DATA\r\n=354",
        r"Subject: %1\r\nX-Args: %2|%3|%4|%5|%6|%7|%8|%9\r\nX-Odd: 100%% \\o/ ~~ \72\r\n\r\n",
        "~F" + body_path,
        r"\r\n.\r\n=250",
        r"QUIT\r\n=221",
    ])
    with CapturingServer() as server:
        args = ["/v", "/h127.0.0.1", "/i" + ini, "rcpt@example.org", "Hello World",
                "a2", "a3", "a4", "a5", "a6", "a7", "a8"]
        r = run_postar(args, port=server.port, extra_env={"postar_domain": "example.net"})
        time.sleep(0.2)
        events = list(server.handler.events)
        messages = list(server.handler.messages)
    return r, events, messages, body, body_path


def silent_run(directory, timeout_line, name):
    """A dialogue whose first line never gets its answer."""
    connection = ["Answer="] + ([timeout_line] if timeout_line else [])
    ini = write_ini(directory, connection, [r"HELO ~h\r\n=250", r"QUIT\r\n=221"], name=name)
    peer = RecordingPeer()
    r = run_postar(["/h127.0.0.1", "/i" + ini], port=peer.port)
    peer.close()
    return r, peer


def template_run(directory):
    """Lines that overflow the work areas, sent without waiting for answers."""
    ini = write_ini(directory, ["Answer="], [
        r"%0%0%0%0%0",
        r"%BIG_VALUE%",
        "y" * 1018 + "~u",
        r"A~qB%POSTAR_UNSET_VARIABLE%C%5\r\n",
        r"\65\066\t~~%%|%9|\\\q%1\r\n~",
        r"~fmissing-body.txt",
        r"%X_Y% 50% ~",
    ])
    peer = RecordingPeer()
    r = run_postar(["/h127.0.0.1", "/i" + ini, "a" * 255, "second"], port=peer.port, cwd=directory,
                   extra_env={"BIG_VALUE": "b" * 2000, "x_y": "AND"})
    peer.close()
    return r, peer


class ServerTest(PostarTest):
    """The runs that take seconds go in parallel; each check is its own test."""

    results = {}

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="postar_e2e_")
        dirs = {}
        for name in ("dialogue", "t2", "t4", "t10", "template"):
            dirs[name] = os.path.join(cls.tmp, name)
            os.mkdir(dirs[name])
        with ThreadPoolExecutor(max_workers=5) as pool:
            futures = {
                "dialogue": pool.submit(dialogue_run, dirs["dialogue"]),
                "t2": pool.submit(silent_run, dirs["t2"], "Response Timeout=2", "t2.ini"),
                "t4": pool.submit(silent_run, dirs["t4"], "Response Timeout=4", "t4.ini"),
                "t10": pool.submit(silent_run, dirs["t10"], None, "t10.ini"),
                "template": pool.submit(template_run, dirs["template"]),
            }
            cls.results = {k: f.result() for k, f in futures.items()}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_whole_dialogue(self):
        r, events, messages, body, body_path = self.results["dialogue"]
        self.assertEqual(r.code, 0, r.err)
        self.assertEqual(r.err, "")
        self.assertEqual(events, ["HELO MAILHOST", "MAIL tester@example.net",
                                  "RCPT rcpt@example.org", "DATA %d bytes" % len(messages[0][2]),
                                  "QUIT"])
        self.assertEqual(len(messages), 1)
        mail_from, rcpts, content = messages[0]
        self.assertEqual(mail_from, "tester@example.net")
        self.assertEqual(rcpts, ["rcpt@example.org"])
        expected = (b"Subject: Hello World\r\nX-Args: a2|a3|a4|a5|a6|a7|a8|\r\n"
                    b"X-Odd: 100% \\o/ ~ H\r\n\r\n" + body + b"\r\n")
        self.assertEqual(content, expected)
        self.assertFalse(os.path.exists(body_path), "the body file was not deleted")

        out = r.out
        self.assertTrue(out.startswith("POSTAR<<<--- 220 mail.test"), out[:200])
        self.assertIn("POSTAR--->>> HELO MAILHOST\r\n\n", out)
        self.assertIn("POSTAR--->>> MAIL FROM:<tester@example.net>\r\n\n", out)
        self.assertIn("POSTAR<<<--- 354", out)
        self.assertIn("POSTAR-INFO, Sending File %s...\nPOSTAR-INFO, ...finished\n"
                      "POSTAR-INFO, deleted file %s\n" % (body_path, body_path), out)
        self.assertIn("POSTAR--->>> QUIT\r\n\nPOSTAR<<<--- 221 Bye", out)
        # The body itself is not echoed as a line sent.
        self.assertNotIn("Line 0001", out)

    def _check_timeout(self, key, timeout):
        r, peer = self.results[key]
        self.assertEqual(r.code, 0)
        self.assertEqual(r.out, "")
        self.assertEqual(r.err, "POSTAR-ERROR, Response timeout waiting for answer '250'\n")
        self.assertEqual(peer.data, b"HELO MAILHOST\r\n")
        # The line goes out at the first poll; the time-out comes with the
        # poll whose counter exceeds the limit, timeout + 1 polls later, one
        # second apart.
        waited = r.ended - peer.arrivals[0][0]
        self.assertGreater(waited, timeout + 0.5, "%s: %.2f s" % (key, waited))
        self.assertLess(waited, timeout + 2.0, "%s: %.2f s" % (key, waited))
        return waited

    def test_silent_peer_times_out_after_the_poll_limit(self):
        two = self._check_timeout("t2", 2)
        four = self._check_timeout("t4", 4)
        self.assertAlmostEqual(four - two, 2.0, delta=0.6)
        # Without a Response Timeout the limit is 10: the 11th poll gives up.
        self._check_timeout("t10", 10)

    def test_template_overflows_and_messages(self):
        r, peer = self.results["template"]
        self.assertEqual(r.code, 0, r.err)
        self.assertEqual(r.err.split("\n"), [
            "POSTAR-ERROR, Buffer size exceeded with parameters substitution, error=122",
            "POSTAR-ERROR, buffer size exceeded substituting environment, error=122",
            "POSTAR-ERROR, Buffer size exceeded with keywords substitution, error=122",
            "POSTAR-ERROR, Environment variable 'POSTAR_UNSET_VARIABLE' not set, error=203",
            "POSTAR-ERROR, Unknown keyword '~q', error=87",
            "POSTAR-ERROR, Cannot open missing-body.txt for reading, error=2",
            "",
        ])
        expected = (b"a" * 1023 + b"b" * 1023 + b"y" * 1018 + b"teste" +
                    b"ABC\r\n" + b"AB\t~%||\\\\qsecond\r\n~" + b"AND 50% ~")
        self.assertEqual(peer.data, expected)


if __name__ == "__main__":
    POSTAR = find_postar()
    if not os.access(POSTAR, os.X_OK):
        sys.exit("postar_e2e.py: no program at %s" % POSTAR)
    unittest.main(verbosity=2)
