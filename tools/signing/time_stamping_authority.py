#!/usr/bin/env python3
"""An RFC 3161 time-stamping authority on the loopback, for as long as one command runs.

The throwaway chain of a test build has a time-stamping certificate of its own; this answers the time-stamp
requests of one signing with it, through `openssl ts -reply`, so that signing needs no network and works with
every osslsigncode that time-stamps by URL (`-ts`), Debian 12's own included.

usage: time_stamping_authority.py <certificate> <key> -- <command> [<argument> ...]
Every "{url}" in the command's arguments becomes the authority's address. Exits with the command's code.
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading

# The policy the authority says it stamps under: a private arc, which nothing checks.
POLICY = "1.3.6.1.4.1.55555.1.1"
CONFIGURATION = """[tsa]
default_tsa = authority
[authority]
serial = {serial}
crypto_device = builtin
signer_digest = sha256
default_policy = {policy}
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""
LARGEST_REQUEST = 64 * 1024


def answerer(certificate, key, folder, lock):
    configuration = os.path.join(folder, "authority.cnf")
    with open(os.path.join(folder, "serial"), "w") as serial:
        serial.write("01\n")
    with open(configuration, "w") as text:
        text.write(CONFIGURATION.format(serial=os.path.join(folder, "serial"), policy=POLICY))

    class Answer(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            length = int(self.headers.get("Content-Length") or 0)
            if length <= 0 or length > LARGEST_REQUEST:
                self.send_error(400)
                return
            query = self.rfile.read(length)
            # One request at a time: they share the serial file.
            with lock:
                asked = os.path.join(folder, "request.tsq")
                with open(asked, "wb") as request:
                    request.write(query)
                reply = subprocess.run(["openssl", "ts", "-reply", "-config", configuration, "-queryfile", asked,
                                        "-signer", certificate, "-inkey", key],
                                       capture_output=True)
            if reply.returncode != 0 or not reply.stdout:
                sys.stderr.write(reply.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply.stdout)))
            self.end_headers()
            self.wfile.write(reply.stdout)

        def log_message(self, *arguments):
            pass

    return Answer


def main(arguments):
    if len(arguments) < 4 or arguments[2] != "--":
        sys.stderr.write(__doc__)
        return 2
    certificate, key, command = arguments[0], arguments[1], arguments[3:]
    with tempfile.TemporaryDirectory(prefix="time-stamping-") as folder:
        server = http.server.HTTPServer(("127.0.0.1", 0), answerer(certificate, key, folder, threading.Lock()))
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        url = f"http://127.0.0.1:{server.server_address[1]}/"
        try:
            return subprocess.run([part.replace("{url}", url) for part in command]).returncode
        finally:
            server.shutdown()
            server.server_close()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
