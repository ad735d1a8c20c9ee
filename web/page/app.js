// The page: signing in, the calendar switcher, the views, and reloading what is shown when the
// window regains focus and once a minute, so other programs' changes appear.
import { api, setCsrf, setCalendar, calendarId } from './api.js';
import { h, clear, dayText } from './dom.js';
import { MonthView } from './month.js';
import { DayView } from './day.js';
import { FlagsView } from './flags.js';
import { UpcomingView, SourcesView, RunsView } from './lists.js';

class App {
  constructor() {
    this.selected = dayText(new Date());
    this.view = 'month';
    this.month = new MonthView(this);
    this.day = new DayView(this);
    this.views = {
      flags: new FlagsView(this), upcoming: new UpcomingView(this),
      sources: new SourcesView(this), runs: new RunsView(this),
    };
    this.main = document.getElementById('main');
    this.status = document.getElementById('status');
  }

  async start() {
    document.getElementById('sign-in').addEventListener('submit', (event) => {
      event.preventDefault();
      this.signIn();
    });
    document.getElementById('sign-out').addEventListener('click', () => this.signOut());
    for (const button of document.querySelectorAll('#views [data-view]')) {
      button.addEventListener('click', () => this.show(button.dataset.view));
    }
    document.getElementById('calendar').addEventListener('change', (event) => {
      setCalendar(Number(event.target.value));
      this.refresh();
    });
    window.addEventListener('focus', () => this.refresh());
    setInterval(() => this.refresh(), 60000);
    try {
      setCsrf((await api('GET', '/api/session')).csrf);
      await this.signedIn();
    } catch (error) {
      this.report(error);
    }
  }

  async signIn() {
    const error = document.getElementById('sign-in-error');
    error.textContent = '';
    try {
      const answer = await api('POST', '/api/session', { password: document.getElementById('password').value });
      setCsrf(answer.csrf);
      document.getElementById('password').value = '';
      await this.signedIn();
    } catch (failure) {
      error.textContent = failure.message;
    }
  }

  async signOut() {
    try { await api('DELETE', '/api/session'); } catch (error) { /* signed out anyway */ }
    this.signedOut();
  }

  signedOut() {
    this.active = false;
    document.getElementById('sign-in').hidden = false;
    document.getElementById('views').hidden = true;
    document.getElementById('calendar').hidden = true;
    clear(this.main);
  }

  async signedIn() {
    this.active = true;
    document.getElementById('sign-in').hidden = true;
    document.getElementById('views').hidden = false;
    const { calendars } = await api('GET', '/api/calendars');
    const select = document.getElementById('calendar');
    select.replaceChildren(...calendars.map((calendar) => h('option', {
      value: String(calendar.id), disabled: !calendar.ok, title: calendar.path,
    }, calendar.ok ? calendar.name : `${calendar.name} (cannot be opened: ${calendar.error})`)));
    const usable = calendars.find((calendar) => calendar.ok);
    if (usable && !calendars[calendarId()]?.ok) setCalendar(usable.id);
    select.value = String(calendarId());
    select.hidden = calendars.length < 2;
    if (!usable) this.say(calendars.map((c) => `${c.name}: ${c.error}`).join(' · '));
    const runs = await api('GET', '/api/runs');
    document.querySelector('#views [data-view="runs"]').hidden = !runs.available;
    await this.show(this.view);
  }

  async show(view) {
    this.view = view;
    for (const button of document.querySelectorAll('#views [data-view]')) {
      button.setAttribute('aria-current', String(button.dataset.view === view));
    }
    if (view === 'month') {
      clear(this.main).append(h('div', { class: 'month-layout' }, this.month.element, this.day.element));
    } else {
      clear(this.main).append(this.views[view].element);
    }
    await this.refresh();
  }

  // The flags of the calendar, read once per refresh.
  flags() {
    if (!this.flagsRead) {
      this.flagsRead = api('GET', `/api/calendars/${calendarId()}/flags`).then((data) => {
        const list = data.flags.map((flag) => ({ ...flag, rgb: data.rgb[String(flag.id)] }));
        return { list, byId: new Map(list.map((flag) => [flag.id, flag])), colors: data.colors };
      });
      this.flagsRead.catch(() => { this.flagsRead = null; });
    }
    return this.flagsRead;
  }

  async refresh() {
    if (!this.active) return;
    this.flagsRead = null;
    try {
      if (this.view === 'month') {
        // An open editor keeps its form: the day is read again once it closes.
        await Promise.all([this.month.load(), this.day.editor.isOpen ? null : this.day.load()]);
      } else {
        await this.views[this.view].load();
      }
      document.body.dataset.loaded = String(Date.now());
    } catch (error) {
      this.report(error);
    }
  }

  select(day, open = false) {
    this.selected = day;
    this.refresh().then(() => {
      if (open) this.day.element.scrollIntoView({ block: 'start' });
    });
  }

  say(text) {
    this.status.textContent = text;
  }

  report(error) {
    if (error.status === 401) {
      this.signedOut();
      return;
    }
    this.say(error.message);
  }
}

new App().start();
