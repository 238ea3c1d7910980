#!/usr/bin/python3
"""A capturing SMTP server for the mail sender's tests and demonstrations.

Run on its own it prints every command it receives and every message body:

    /usr/bin/python3 smtp_server.py [--host 127.0.0.1] [--port 2525]

then point postar at it with NT_PORT_MAP=25:2525 and /h127.0.0.1. Stop it
with Ctrl-C. Tests import CapturingServer and read what it recorded.
"""

import argparse
import socket
import sys
import threading
import time

from aiosmtpd.controller import Controller


def free_port(host="127.0.0.1"):
    """A TCP port on `host` that nothing listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class CapturingHandler:
    """Records the dialogue (one text per command) and the message bodies."""

    def __init__(self, echo=False):
        self.echo = echo
        self.lock = threading.Lock()
        self.events = []      # "HELO name", "MAIL addr", "RCPT addr", "DATA", "QUIT"
        self.messages = []    # (mail_from, [rcpt...], content bytes)
        self.done = threading.Event()

    def _log(self, text):
        with self.lock:
            self.events.append(text)
        if self.echo:
            print(text, flush=True)

    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        self._log("HELO " + hostname)
        return "250 " + server.hostname

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        self._log("EHLO " + hostname)
        return responses

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        self._log("MAIL " + address)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        self._log("RCPT " + address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content
        with self.lock:
            self.messages.append((envelope.mail_from, list(envelope.rcpt_tos), content))
        self._log("DATA %d bytes" % len(content))
        if self.echo:
            sys.stdout.write(content.decode("utf-8", errors="replace"))
            sys.stdout.write("\n.\n")
            sys.stdout.flush()
        return "250 Message accepted for delivery"

    async def handle_QUIT(self, server, session, envelope):
        self._log("QUIT")
        self.done.set()
        return "221 Bye"


class CapturingServer:
    """An SMTP server on a loopback port, for the length of a `with` block."""

    def __init__(self, host="127.0.0.1", port=None, echo=False):
        self.host = host
        self.port = port or free_port(host)
        self.handler = CapturingHandler(echo)
        self.controller = Controller(self.handler, hostname=host, port=self.port,
                                     server_hostname="mail.test")

    def __enter__(self):
        self.controller.start()
        return self

    def __exit__(self, *exc):
        self.controller.stop()
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=2525)
    args = parser.parse_args()
    with CapturingServer(args.host, args.port, echo=True) as server:
        print("SMTP server listening on %s:%d (Ctrl-C ends it)" % (server.host, server.port),
              flush=True)
        try:
            while True:
                time.sleep(1)
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
