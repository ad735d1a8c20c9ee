"""A small CalDAV server of the tests' own, for what real servers will not do on request: Digest
sign-in, sync answers cut short (507), no sync support, ETags that change on every read, web
pages, redirects to another host.

  dav_fake.py FOLDER    prints the port it listens on, then serves until it is terminated

The calendar is /cal/; its events are the files FOLDER/events/NAME.ics (/cal/NAME.ics), read at
every request, so a test changes the calendar by changing the files. FOLDER/config.json, also
read at every request, says how the server behaves (every key may be left out):
  "auth": "basic" | "digest"   sign-in as "user" / "password" (default: none)
  "sync": false                no sync-collection and no sync-token (default: true)
  "ctag": false                no getctag either (default: true)
  "truncate": N                a sync answer holds at most N changes, then 507 (default: all)
  "volatile": true             every answer that names an ETag gives a new one
  "answer": "html" | "redirect"  every request answers a web page, or a redirect to another host
Every request is logged to FOLDER/requests.log as "METHOD PATH STATUS HOST REPORT-KIND".
"""
import hashlib
import http.server
import json
import os
import re
import sys
import threading
from xml.sax.saxutils import escape

LOCK = threading.Lock()
SNAPSHOTS = {}  # sync token -> {href: content hash}
VOLATILE = {}   # href -> how many ETags it has given
NONCE = hashlib.md5(os.urandom(16)).hexdigest()
REALM = "fake"


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.folder = self.server.folder

    def config(self):
        try:
            with open(os.path.join(self.folder, "config.json")) as f:
                return json.load(f)
        except FileNotFoundError:
            return {}

    def events(self):
        found = {}
        folder = os.path.join(self.folder, "events")
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as f:
                found["/cal/" + name] = f.read().decode()
        return found

    def etag(self, href, data, config):
        tag = md5(data)[:16]
        if config.get("volatile"):
            VOLATILE[href] = VOLATILE.get(href, 0) + 1
            tag += "-" + str(VOLATILE[href])
        return '"' + tag + '"'

    def current_etag(self, href, data, config):
        tag = '"' + md5(data)[:16]
        if config.get("volatile"):
            tag += "-" + str(VOLATILE.get(href, 0))
        return tag + '"'

    def answer(self, status, body=b"", headers=()):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        with open(os.path.join(self.folder, "requests.log"), "a") as log:
            log.write(f"{self.command} {self.path} {status} {self.headers.get('Host', '')} "
                      f"{getattr(self, 'kind', '')}\n")

    def signed_in(self, config):
        kind = config.get("auth")
        header = self.headers.get("Authorization", "")
        if kind == "basic":
            import base64
            wanted = base64.b64encode(f"{config['user']}:{config['password']}".encode()).decode()
            if header == "Basic " + wanted:
                return True
            challenge = f'Basic realm="{REALM}"'
        elif kind == "digest":
            fields = dict(re.findall(r'(\w+)="?([^",]*)"?', header[7:])) \
                if header.startswith("Digest ") else {}
            if fields.get("username") == config["user"] and fields.get("nonce") == NONCE:
                ha1 = md5(f"{config['user']}:{REALM}:{config['password']}")
                ha2 = md5(f"{self.command}:{fields.get('uri', '')}")
                wanted = md5(f"{ha1}:{NONCE}:{fields.get('nc', '')}:{fields.get('cnonce', '')}:"
                             f"{fields.get('qop', '')}:{ha2}")
                if fields.get("response") == wanted:
                    return True
            challenge = f'Digest realm="{REALM}", nonce="{NONCE}", qop="auth", algorithm=MD5'
        else:
            return True
        self.answer(401, "sign in", [("WWW-Authenticate", challenge)])
        return False

    def handle_any(self):
        length = int(self.headers.get("Content-Length", 0) or 0)
        body = self.rfile.read(length).decode() if length else ""
        self.kind = next((k for k in ("sync-collection", "calendar-multiget", "calendar-query")
                          if k in body), "")
        config = self.config()
        if config.get("answer") == "html":
            return self.answer(200, "<html><body>Welcome</body></html>",
                               [("Content-Type", "text/html")])
        if config.get("answer") == "redirect":
            port = self.server.server_address[1]
            return self.answer(301, "", [("Location", f"http://localhost:{port}{self.path}")])
        if not self.signed_in(config):
            return
        with LOCK:
            getattr(self, "dav_" + self.command)(body, config)

    do_PROPFIND = do_REPORT = do_PUT = do_DELETE = do_GET = handle_any

    def multistatus(self, responses, token=None):
        text = '<?xml version="1.0"?><D:multistatus xmlns:D="DAV:" ' \
               'xmlns:C="urn:ietf:params:xml:ns:caldav" xmlns:CS="http://calendarserver.org/ns/">'
        text += "".join(responses)
        if token is not None:
            text += f"<D:sync-token>{token}</D:sync-token>"
        self.answer(207, text + "</D:multistatus>", [("Content-Type", "application/xml")])

    def event_response(self, href, data, config, with_data):
        prop = f"<D:getetag>{self.etag(href, data, config)}</D:getetag>"
        if with_data:
            prop += f"<C:calendar-data>{escape(data)}</C:calendar-data>"
        return f"<D:response><D:href>{href}</D:href><D:propstat><D:prop>{prop}</D:prop>" \
               "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"

    def token(self, events):
        snapshot = {href: md5(data) for href, data in events.items()}
        token = "http://fake/sync/" + str(len(SNAPSHOTS) + 1)
        SNAPSHOTS[token] = snapshot
        return token

    def dav_PROPFIND(self, body, config):
        events = self.events()
        ctag = md5("".join(md5(d) for d in events.values()))
        props = "<D:resourcetype><D:collection/><C:calendar/></D:resourcetype>" \
                "<D:displayname>Fake</D:displayname><C:supported-calendar-component-set>" \
                '<C:comp name="VEVENT"/></C:supported-calendar-component-set>'
        if config.get("ctag", True):
            props += f"<CS:getctag>{ctag}</CS:getctag>"
        if config.get("sync", True):
            props += f"<D:sync-token>{self.token(events)}</D:sync-token>"
        responses = [f"<D:response><D:href>/cal/</D:href><D:propstat><D:prop>{props}</D:prop>"
                     "<D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>"]
        if self.headers.get("Depth") == "1":
            responses += [self.event_response(h, d, config, False) for h, d in events.items()]
        self.multistatus(responses)

    def dav_REPORT(self, body, config):
        events = self.events()
        if "calendar-multiget" in body:
            responses = []
            for href in re.findall(r"<D:href>([^<]*)</D:href>", body):
                if href in events:
                    responses.append(self.event_response(href, events[href], config, True))
                else:
                    responses.append(f"<D:response><D:href>{href}</D:href>"
                                     "<D:status>HTTP/1.1 404 Not Found</D:status></D:response>")
            return self.multistatus(responses)
        if "sync-collection" in body:
            token = re.search(r"<D:sync-token>([^<]*)</D:sync-token>", body).group(1)
            if not config.get("sync", True) or token not in SNAPSHOTS:
                return self.answer(403, '<?xml version="1.0"?><D:error xmlns:D="DAV:">'
                                        "<D:valid-sync-token/></D:error>",
                                   [("Content-Type", "application/xml")])
            before = SNAPSHOTS[token]
            now = {href: md5(data) for href, data in events.items()}
            changed = [h for h in sorted(now) if before.get(h) != now[h]]
            removed = [h for h in sorted(before) if h not in now]
            limit = config.get("truncate", len(changed) + len(removed))
            reported = (changed + removed)[:limit]
            snapshot = dict(before)
            responses = []
            for href in reported:
                if href in now:
                    snapshot[href] = now[href]
                    responses.append(self.event_response(href, events[href], config, False))
                else:
                    snapshot.pop(href)
                    responses.append(f"<D:response><D:href>{href}</D:href>"
                                     "<D:status>HTTP/1.1 404 Not Found</D:status></D:response>")
            if len(reported) < len(changed) + len(removed):
                responses.append("<D:response><D:href>/cal/</D:href>"
                                 "<D:status>HTTP/1.1 507 Insufficient Storage</D:status>"
                                 "</D:response>")
            next_token = "http://fake/sync/" + str(len(SNAPSHOTS) + 1)
            SNAPSHOTS[next_token] = snapshot
            return self.multistatus(responses, next_token)
        # calendar-query: every event; the client picks the window's occurrences.
        self.multistatus([self.event_response(h, d, config, True) for h, d in events.items()])

    def dav_PUT(self, body, config):
        events = self.events()
        href = self.path
        if self.headers.get("If-None-Match") == "*" and href in events:
            return self.answer(412, "exists")
        match = self.headers.get("If-Match")
        if match and (href not in events or match not in ("*", self.current_etag(
                href, events[href], config))):
            return self.answer(412, "changed")
        with open(os.path.join(self.folder, "events", href[len("/cal/"):]), "w") as f:
            f.write(body)
        self.answer(201 if href not in events else 204, "",
                    [("ETag", self.etag(href, body, config))])

    def dav_DELETE(self, body, config):
        events = self.events()
        href = self.path
        match = self.headers.get("If-Match")
        if href not in events or (match and match not in ("*", self.current_etag(
                href, events[href], config))):
            return self.answer(412 if href in events else 404, "")
        os.remove(os.path.join(self.folder, "events", href[len("/cal/"):]))
        self.answer(204)

    def dav_GET(self, body, config):
        self.answer(404, "")

    def log_message(self, format, *args):
        pass


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.folder = sys.argv[1]
    os.makedirs(os.path.join(server.folder, "events"), exist_ok=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
