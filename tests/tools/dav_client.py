"""What a CalDAV server holds, read and changed with python3-caldav, a client nobody here wrote.

  dav_client.py CALENDAR USER PASSWORD list                    UID|SUMMARY|DTSTART|VALUE|SCRIPT|EXDATEs
  dav_client.py CALENDAR USER PASSWORD put UID SUMMARY START [RRULE]
  dav_client.py CALENDAR USER PASSWORD delete UID
USER "-" signs in as nobody. START is YYYYMMDDTHHMMSS (floating time).
"""
import sys

import caldav


def main():
    url, user, password, verb = sys.argv[1:5]
    args = sys.argv[5:]
    client = caldav.DAVClient(url, username=None if user == "-" else user,
                              password=None if user == "-" else password)
    calendar = caldav.Calendar(client=client, url=url)
    if verb == "list":
        lines = []
        for event in calendar.events():
            for component in event.icalendar_instance.walk("VEVENT"):
                exdates = []
                for ex in component.get("EXDATE", []) if isinstance(component.get("EXDATE"), list) \
                        else ([component.get("EXDATE")] if component.get("EXDATE") else []):
                    exdates += [d.dt.strftime("%Y%m%dT%H%M%S") for d in ex.dts]
                recurrence = component.get("RECURRENCE-ID")
                lines.append("|".join([
                    str(component.get("UID")), str(component.get("SUMMARY")),
                    component.decoded("DTSTART").strftime("%Y%m%dT%H%M%S"),
                    str(component.get("X-MONDREL-VALUE", "")),
                    str(component.get("X-MONDREL-SCRIPT", "")),
                    recurrence.dt.strftime("%Y%m%dT%H%M%S") if recurrence else "",
                    ",".join(exdates)]))
        print("\n".join(sorted(lines)))
    elif verb == "put":
        uid, summary, start = args[:3]
        rule = f"RRULE:{args[3]}\r\n" if len(args) > 3 else ""
        data = ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//dav_client//EN\r\n"
                f"BEGIN:VEVENT\r\nUID:{uid}\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:{start}\r\n"
                f"{rule}SUMMARY:{summary}\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
        try:
            event = calendar.event_by_uid(uid)
            event.data = data
            event.save()
        except caldav.error.NotFoundError:
            calendar.save_event(data)
    elif verb == "delete":
        calendar.event_by_uid(args[0]).delete()
    else:
        raise SystemExit("unknown verb " + verb)


main()
