"""Starts a CalDAV server for the tests on 127.0.0.1 and a free port, prints the port and runs
until it is terminated.

  dav_server.py radicale FOLDER   users alice (password "secret") and family; alice's calendar
                                  /alice/home/ and family's /family/shared/, which alice may
                                  read and write
  dav_server.py xandikos FOLDER   no sign-in; the calendar /user/calendars/calendar/
"""
import os
import signal
import socket
import subprocess
import sys
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


RIGHTS = """
[root]
user: .+
collection:
permissions: R
[principal]
user: .+
collection: {user}
permissions: RW
[calendars]
user: .+
collection: {user}/[^/]+
permissions: rw
[shared-principal]
user: alice
collection: family
permissions: R
[shared]
user: alice
collection: family/[^/]+
permissions: rw
"""


def request(method, url, user=None, password=None, body=None):
    req = urllib.request.Request(url, method=method, data=body)
    if user:
        import base64
        token = base64.b64encode(f"{user}:{password}".encode()).decode()
        req.add_header("Authorization", "Basic " + token)
    try:
        with urllib.request.urlopen(req, timeout=5) as answer:
            return answer.status
    except urllib.error.HTTPError as error:
        return error.code


def wait_until_up(port):
    for _ in range(200):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise SystemExit("server did not start")


def main():
    kind, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    port = free_port()
    if kind == "radicale":
        with open(os.path.join(folder, "users"), "w") as f:
            f.write("alice:secret\nfamily:fam\n")
        with open(os.path.join(folder, "rights"), "w") as f:
            f.write(RIGHTS)
        with open(os.path.join(folder, "config"), "w") as f:
            f.write(f"""[server]
hosts = 127.0.0.1:{port}
[auth]
type = htpasswd
htpasswd_filename = {folder}/users
htpasswd_encryption = plain
delay = 0
[rights]
type = from_file
file = {folder}/rights
[storage]
filesystem_folder = {folder}/store
[logging]
level = warning
""")
        command = [sys.executable, "-m", "radicale", "--config", f"{folder}/config"]
    else:
        command = [sys.executable, "-m", "xandikos", "-d", f"{folder}/store", "-p", str(port),
                   "-l", "127.0.0.1", "--defaults"]
    log = open(os.path.join(folder, "server.log"), "w")
    server = subprocess.Popen(command, stdout=log, stderr=log)
    # The server stops; server.wait() below then returns and so does this script.
    signal.signal(signal.SIGTERM, lambda *_: server.terminate())
    wait_until_up(port)
    base = f"http://127.0.0.1:{port}"
    if kind == "radicale":
        request("MKCALENDAR", base + "/alice/home/", "alice", "secret")
        request("MKCALENDAR", base + "/family/shared/", "family", "fam")
    print(port, flush=True)
    server.wait()


main()
