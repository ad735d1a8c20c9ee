"""mondrel-web's API over real HTTP: every operation once, and each refusal."""
import json
import os
import sqlite3
import stat
import subprocess
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from webserver import WebServer


class WebApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.web = WebServer(["--database", "/nonexistent/Other.sdb"])
        assert cls.web.sign_in().status == 200

    @classmethod
    def tearDownClass(cls):
        cls.web.close()

    def call(self, method, path, body=None, status=200, **options):
        answer = self.web.request(method, "/api/calendars/0" + path, body, **options)
        self.assertEqual(answer.status, status, answer.body)
        return answer.json()

    def listing(self):
        return self.web.tool("list", self.web.database, "--json")

    def test_every_operation(self):
        web = self.web
        calendars = web.request("GET", "/api/calendars").json()["calendars"]
        self.assertEqual(calendars[0]["ok"], True)
        added = self.call("POST", "/appointments",
                          {"date": "2031-03-10", "time": "07:00", "description": "Bins out",
                           "value": "grey", "script": "missing.sh"})
        self.assertIn("not in the scripts folder", added["warnings"][0])
        month = self.call("GET", "/month/2031-03")
        [row] = month["appointments"]
        # The month's rows are list --json's, each with its tag.
        listed = json.loads(self.listing())["appointments"]
        self.assertEqual([{k: v for k, v in r.items() if k != "tag"} for r in month["appointments"]],
                         listed)
        self.assertEqual((row["description"], row["time"]), ("Bins out", "07:00:00"))
        self.assertEqual(len(month["days"]), 31)
        day = self.call("GET", "/days/2031-03-10")
        self.assertEqual(day["appointments"][0]["origin"], {"kind": "own"})
        self.assertEqual(day["upcoming"]["days"][0]["appointments"][0]["fires"], "at its time")
        self.assertEqual(day["runs"], {"available": False})
        self.call("PATCH", "/appointments/%d" % row["id"],
                  {"tag": row["tag"], "time": "08:15", "script": "bins.sh", "done": True})
        edited = json.loads(self.listing())["appointments"][0]
        self.assertEqual((edited["time"], edited["script"], edited["done"]),
                         ("08:15:00", "bins.sh", True))
        tag = self.call("GET", "/days/2031-03-10")["appointments"][0]["tag"]
        self.call("DELETE", "/appointments/%d?tag=%s" % (row["id"], tag))
        self.assertEqual(json.loads(self.listing())["appointments"], [])

        self.call("POST", "/flags", {"caption": "Vacation", "variable": "Holiday",
                                     "color": "#00AA00"})
        flags = self.call("GET", "/flags")
        vacation = [f for f in flags["flags"] if f["caption"] == "Vacation"][0]
        self.assertEqual(flags["rgb"][str(vacation["id"])], "#00AA00")
        self.assertTrue(flags["colors"])
        self.call("PATCH", "/flags/%d" % vacation["id"], {"color": "#0000FF"})
        self.call("PUT", "/days/2031-03-02/flags/%d?to=2031-03-04" % vacation["id"])
        self.call("DELETE", "/days/2031-03-03/flags/%d" % vacation["id"])
        days = self.call("GET", "/month/2031-03")["days"]
        self.assertEqual([d["date"] for d in days if vacation["id"] in d["flags"]],
                         ["2031-03-02", "2031-03-04"])
        self.call("DELETE", "/flags/%d" % vacation["id"])
        self.assertNotIn("Vacation", web.tool("flags", web.database))

        # A standing rule, then the whole series changed at once and one row by itself.
        today = time.strftime("%Y-%m-%d")
        self.call("POST", "/appointments",
                  {"date": today, "time": "23:59", "description": "Plants",
                   "repeat": "FREQ=DAILY"})
        upcoming = self.call("GET", "/upcoming?days=3")["days"]
        first = upcoming[1]["appointments"][0]
        self.assertEqual(first["description"], "Plants")
        self.call("PATCH", "/appointments/%d" % first["id"],
                  {"series": True, "description": "Water the plants"})
        upcoming = self.call("GET", "/upcoming?days=3")["days"]
        self.assertEqual([d["appointments"][0]["description"] for d in upcoming[1:]],
                         ["Water the plants"] * 2)
        [source] = self.call("GET", "/sources")
        self.assertEqual(source["Kind"], "repeat")
        self.assertIsInstance(self.call("GET", "/check")["findings"], list)
        self.call("POST", "/sources/%s/refresh" % source["Name"])
        self.call("POST", "/sources/refresh")
        self.call("DELETE", "/sources/%s" % source["Name"])
        self.assertEqual(self.call("GET", "/sources"), [])

        soon = time.strftime("%Y%m%d", time.localtime(time.time() + 30 * 86400))
        calendar = ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VEVENT\r\n"
                    "UID:a@t\r\nDTSTAMP:20300101T000000Z\r\nDTSTART:" + soon + "T090000\r\n"
                    "SUMMARY:Dentist\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        self.call("POST", "/sources", {"content": calendar, "source": "dentist",
                                       "script": "bins.sh"})
        day = self.call("GET", "/days/%s-%s-%s" % (soon[:4], soon[4:6], soon[6:]))
        day = day["appointments"][0]
        self.assertEqual((day["description"], day["origin"]["source"]), ("Dentist", "dentist"))
        self.assertEqual(web.request("GET", "/api/scripts").json(), {"scripts": ["bins.sh"]})
        self.assertEqual(web.request("GET", "/api/runs").json(), {"available": False})

    def test_sign_in_is_required_and_guarded(self):
        web = self.web
        mode = stat.S_IMODE(os.stat(web.password_file).st_mode)
        self.assertEqual(mode, 0o600)
        with open(web.password_file) as hashed:
            self.assertNotIn(web.password, hashed.read())
        for method, path in [("GET", "/api/calendars"), ("GET", "/api/calendars/0/month/2031-01"),
                             ("POST", "/api/calendars/0/appointments")]:
            self.assertEqual(web.request(method, path, {}, cookie=False).status, 401)
        other = WebServer()
        try:
            self.assertNotIn(other.password, other.output)
            self.assertEqual(stat.S_IMODE(os.stat(other.first_password_file).st_mode), 0o600)
            self.assertEqual(other.sign_in("wrong").status, 401)
            self.assertTrue(os.path.exists(other.first_password_file))
            # The address now waits before it may try again, the right password included.
            answer = other.sign_in()
            self.assertEqual(answer.status, 429, answer.body)
            self.assertIn("wait", answer.json()["error"])
            time.sleep(1.1)
            self.assertEqual(other.sign_in().status, 200)
            self.assertFalse(os.path.exists(other.first_password_file))
        finally:
            other.close()
        cookie = web.sign_in().headers["Set-Cookie"]
        for part in ["HttpOnly", "SameSite=Strict", "Max-Age="]:
            self.assertIn(part, cookie)

    def test_tls_cookie_is_secure(self):
        with tempfile.TemporaryDirectory() as folder:
            cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                            "1", "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)
            web = WebServer(["--tls-cert", cert, "--tls-key", key])
            try:
                self.assertTrue(web.origin.startswith("https://"))
                answer = web.sign_in()
                self.assertEqual(answer.status, 200, answer.body)
                self.assertIn("; Secure", answer.headers["Set-Cookie"])
                self.assertEqual(web.request("GET", "/api/calendars").status, 200)
            finally:
                web.close()

    def test_changes_need_same_origin_and_csrf_token(self):
        before = self.listing()
        body = {"date": "2031-04-01", "time": "07:00", "description": "x"}
        answer = self.web.request("POST", "/api/calendars/0/appointments", body,
                                  origin="http://evil.example")
        self.assertEqual(answer.status, 403)
        answer = self.web.request("POST", "/api/calendars/0/appointments", body, csrf=False)
        self.assertEqual(answer.status, 403)
        self.assertEqual(self.listing(), before)

    def test_stale_edit_is_refused(self):
        self.call("POST", "/appointments",
                  {"date": "2031-06-01", "time": "07:00", "description": "Shown"})
        shown = self.call("GET", "/days/2031-06-01")["appointments"][0]
        self.web.tool("edit", self.web.database, str(shown["id"]), "--description", "Elsewhere")
        answer = self.call("PATCH", "/appointments/%d" % shown["id"],
                           {"tag": shown["tag"], "description": "Mine"}, status=409)
        self.assertIn("changed by someone else", answer["error"])
        self.call("DELETE", "/appointments/%d?tag=%s" % (shown["id"], shown["tag"]), status=409)
        self.assertIn("Elsewhere", self.listing())
        self.web.tool("remove", self.web.database, str(shown["id"]))
        answer = self.call("PATCH", "/appointments/%d" % shown["id"],
                           {"tag": shown["tag"], "description": "Mine"}, status=409)

    def test_locked_file_answers_busy(self):
        before = self.listing()
        lock = sqlite3.connect(self.web.database, isolation_level=None)
        try:
            lock.execute("BEGIN EXCLUSIVE")
            answer = self.call("POST", "/appointments",
                               {"date": "2031-07-01", "time": "07:00", "description": "x"},
                               status=503)
            self.assertIn("busy, try again", answer["error"])
        finally:
            lock.execute("ROLLBACK")
            lock.close()
        self.assertEqual(self.listing(), before)

    def test_a_slow_feed_holds_up_no_other_request(self):
        asked, release, answered = threading.Event(), threading.Event(), threading.Event()

        class SlowFeed(BaseHTTPRequestHandler):
            def do_GET(self):
                asked.set()
                release.wait(20)
                answered.set()
                self.send_response(200)
                self.send_header("Content-Type", "text/calendar")
                self.end_headers()
                self.wfile.write(b"BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n"
                                 b"END:VCALENDAR\r\n")

            def log_message(self, *args):
                pass

        feed = ThreadingHTTPServer(("127.0.0.1", 0), SlowFeed)
        threading.Thread(target=feed.serve_forever, daemon=True).start()
        imported = []
        importing = threading.Thread(target=lambda: imported.append(self.web.request(
            "POST", "/api/calendars/0/sources",
            {"url": "http://127.0.0.1:%d/slow.ics" % feed.server_port, "source": "slow"})))
        importing.start()
        try:
            self.assertTrue(asked.wait(20))
            self.call("GET", "/month/2031-08")
            self.call("POST", "/appointments",
                      {"date": "2031-08-01", "time": "07:00", "description": "meanwhile"})
            self.assertFalse(answered.is_set(), "a request waited for the feed")
        finally:
            release.set()
            importing.join()
            feed.shutdown()
            feed.server_close()
            with sqlite3.connect(self.web.database) as database:
                database.execute("DELETE FROM Dates WHERE Discription = 'meanwhile'")
        self.assertEqual(imported[0].status, 200, imported[0].body)
        self.call("DELETE", "/sources/slow")

    def test_body_too_large(self):
        answer = self.web.request("POST", "/api/calendars/0/appointments",
                                  raw=b'{"description": "' + b"x" * (1024 * 1024 + 10) + b'"}')
        self.assertEqual(answer.status, 413)
        self.assertEqual(answer.json(), {"error": "the request is larger than 1 MB"})

    def test_bad_input_writes_nothing(self):
        before = self.listing()
        flags_before = self.web.tool("flags", self.web.database)
        cases = [
            ("POST", "/appointments", {"date": "2031-13-01", "time": "07:00",
                                       "description": "x"}, "--date"),
            ("POST", "/appointments", {"date": "2031-01-01", "description": "x"}, "--time"),
            ("POST", "/appointments", {"date": 5, "time": "07:00", "description": "x"},
             "\"date\""),
            ("PUT", "/days/2031-01-01/flags/999", None, "no flag with ID 999"),
            ("PUT", "/days/2031-02-30/flags/1", None, "--date"),
            ("GET", "/month/2031-1", None, "--month"),
            ("POST", "/flags", {"caption": "Weekend", "variable": "X"}, "exists already"),
            ("POST", "/sources", {"url": "/etc/passwd"}, "http://"),
        ]
        for method, path, body, named in cases:
            with self.subTest(path=path, body=body):
                answer = self.call(method, path, body, status=400)
                self.assertIn(named, answer["error"])
                self.assertNotIn("\n", answer["error"])
        answer = self.web.request("POST", "/api/calendars/0/appointments", raw=b"{not json")
        self.assertEqual(answer.status, 400)
        self.assertEqual(self.listing(), before)
        self.assertEqual(self.web.tool("flags", self.web.database), flags_before)

    def test_what_ran_and_a_calendar_that_cannot_be_opened(self):
        other = self.web.request("GET", "/api/calendars").json()["calendars"][1]
        self.assertEqual((other["name"], other["ok"]), ("Other", False))
        self.assertIn("/nonexistent/Other.sdb", other["error"])
        # Two appointments alike but for the description; runs with the module's parameters
        # (the date in two locales' forms, one asked at the next day's first tick), one from
        # another sender and one of another description.
        for description in ("Bins out", "Bins in"):
            self.call("POST", "/appointments", {"date": "2031-08-01", "time": "07:00",
                                                "description": description, "value": "grey",
                                                "script": "bins.sh"})
        def params(description, date):
            return json.dumps({"Mondrel_Discription": description, "Mondrel_Value": "grey",
                               "Mondrel_Date": date, "Mondrel_Time": "07:00:00"})
        history = sqlite3.connect(self.web.history)
        history.executescript("""
            CREATE TABLE ScriptRuns (ID INTEGER PRIMARY KEY, Asked TEXT NOT NULL, Started TEXT,
              Finished TEXT, Sender TEXT NOT NULL, Script TEXT NOT NULL, Parameters TEXT NOT NULL,
              State TEXT NOT NULL, ExitStatus INTEGER, Signal INTEGER, Reason TEXT,
              DurationMs INTEGER, OutputTail TEXT, Note TEXT);""")
        rows = [("2031-08-01T07:00:05+02:00", "Mondrel", params("Bins out", "1 Aug 2031"),
                 "failed", 3),
                ("2031-08-02T00:00:40+02:00", "Mondrel", params("Bins out", "01.08.31"), "ok", 0),
                ("2031-08-01T07:00:06+02:00", "MQTT", params("Bins out", "1 Aug 2031"), "ok", 0),
                ("2031-08-01T07:00:07+02:00", "Mondrel", params("Bins in", "8/1/31"), "ok", 0),
                ("2031-08-01T09:00:05+02:00", "Mondrel", "{}", "ok", 0)]
        for asked, sender, parameters, state, status in rows:
            history.execute("INSERT INTO ScriptRuns (Asked, Sender, Script, Parameters, State, "
                            "ExitStatus) VALUES (?, ?, 'bins.sh', ?, ?, ?)",
                            (asked, sender, parameters, state, status))
        history.commit()
        history.close()
        try:
            day = self.call("GET", "/days/2031-08-01")
            self.assertEqual([run["state"] for run in day["runs"]["runs"]],
                             ["failed", "ok", "ok", "ok"])
            fired = {a["description"]: [run["id"] for run in a["runs"]]
                     for a in day["appointments"]}
            self.assertEqual(fired, {"Bins out": [1, 2], "Bins in": [4]})
            failed = self.web.request("GET", "/api/runs").json()["runs"]
            self.assertEqual([(run["id"], run["exit_status"]) for run in failed], [(1, 3)])
        finally:
            os.remove(self.web.history)
            for appointment in self.call("GET", "/days/2031-08-01")["appointments"]:
                self.call("DELETE", "/appointments/%d" % appointment["id"])

    def test_page_is_served_with_a_strict_policy(self):
        # Uncompressed, whatever the browser offers (compressing anew costs more than sending).
        answer = self.web.request("GET", "/", cookie=False,
                                  headers={"Accept-Encoding": "gzip, deflate, br"})
        self.assertEqual(answer.status, 200)
        self.assertNotIn("Content-Encoding", answer.headers)
        self.assertIn("default-src 'self'", answer.headers["Content-Security-Policy"])
        self.assertNotIn("<script>", answer.body)


if __name__ == "__main__":
    unittest.main()
