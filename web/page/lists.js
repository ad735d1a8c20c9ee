// The lists: what fires in the next days as `upcoming` says it, the sources as `sources` shows
// them with refresh, import and forget, and the script runs that failed.
import { api, cal } from './api.js';
import { h, clear, longDay } from './dom.js';

export class UpcomingView {
  constructor(app) {
    this.app = app;
    this.days = 7;
    this.element = h('section', { class: 'upcoming', 'aria-label': 'Upcoming' });
  }

  async load() {
    const data = await api('GET', cal(`/upcoming?days=${this.days}`));
    const choice = h('select', { 'aria-label': 'Days', onchange: (event) => {
      this.days = Number(event.target.value);
      this.load().catch((error) => this.app.report(error));
    } }, [7, 14, 30].map((n) => h('option', { value: String(n), selected: n === this.days }, `next ${n} days`)));
    const list = h('ol', { class: 'days' });
    for (const day of data.days) {
      if (!day.flags.length && !day.appointments.length) continue;
      list.append(h('li', {},
        h('h3', {}, longDay(day.date), day.flags.length ? ` · ${day.flags.map((f) => f.caption).join(', ')}` : ''),
        h('ul', {}, day.appointments.map((a) => h('li', {},
          h('span', { class: 'time' }, a.time.slice(0, 5)), ' ', a.description,
          h('span', { class: 'details' },
            a.blank_script ? ' · no script: sets only Mondrel_TriggerValue' : ` · ${a.script}`,
            a.value !== '' ? ` · value "${a.value}"` : '',
            a.fires !== 'at its time' ? ` · fires ${a.fires}` : ''))))));
    }
    clear(this.element).append(h('h2', {}, 'Upcoming'), choice,
      list.childElementCount ? list : h('p', { class: 'empty' }, 'Nothing fires in these days.'));
  }
}

export class SourcesView {
  constructor(app) {
    this.app = app;
    this.element = h('section', { class: 'sources', 'aria-label': 'Sources' });
  }

  async load() {
    const sources = await api('GET', cal('/sources'));
    const message = h('p', { class: 'error', role: 'alert' });
    const run = async (method, path, body) => {
      message.textContent = '';
      try {
        const answer = await api(method, cal(path), body);
        await this.load();
        this.app.say([...answer.done, ...answer.warnings].join(' · '));
      } catch (error) {
        message.textContent = error.message;
      }
    };
    const rows = sources.map((source) => h('tr', {},
      h('td', {}, source.Name), h('td', {}, source.Kind),
      h('td', {}, source.Options.join(' ')),
      h('td', {}, source.Kind === 'weekends' || source.Kind === 'holidays'
        ? `${source.FlaggedDaysAhead} days` : `${source.OpenRowsAhead} rows`),
      h('td', {}, source.Through || '-'), h('td', {}, source.LastRun || '-'),
      h('td', {}, source.LastResult || '-'),
      h('td', { class: 'actions' },
        h('button', { type: 'button', onclick: () => run('POST', `/sources/${encodeURIComponent(source.Name)}/refresh`) }, 'Refresh now'),
        h('button', { type: 'button', onclick: () => {
          if (window.confirm(`Forget the source "${source.Name}" and its open rows nobody edited?`)) {
            run('DELETE', `/sources/${encodeURIComponent(source.Name)}`);
          }
        } }, 'Forget'))));
    const field = (label, name, type = 'text') => h('label', {}, h('span', {}, label), h('input', { type, name }));
    const file = h('input', { type: 'file', name: 'file', accept: '.ics,text/calendar' });
    const form = h('form', { class: 'import', onsubmit: async (event) => {
      event.preventDefault();
      const data = new FormData(form);
      const body = {};
      for (const key of ['source', 'script', 'value', 'at', 'offset', 'from', 'until', 'as_flag']) {
        if (data.get(key)) body[key] = data.get(key);
      }
      if (file.files.length) body.content = await file.files[0].text();
      else body.url = data.get('url');
      run('POST', '/sources', body);
    } },
    h('h3', {}, 'Import a calendar'),
    field('URL', 'url', 'url'), h('label', {}, h('span', {}, 'or a file'), file),
    field('Name', 'source'), field('Script', 'script'), field('Value', 'value'),
    field('At (HH:MM)', 'at'), field('Offset', 'offset'), field('From', 'from', 'date'),
    field('Until', 'until', 'date'), field('As flag', 'as_flag'),
    h('button', { type: 'submit', class: 'primary' }, 'Import'));
    clear(this.element).append(h('h2', {}, 'Sources'),
      h('button', { type: 'button', onclick: () => run('POST', '/sources/refresh') }, 'Refresh all'),
      sources.length ? h('div', { class: 'scroll' }, h('table', {},
        h('thead', {}, h('tr', {}, ['Name', 'Kind', 'Options', 'Ahead', 'Through', 'Last run', 'Result', '']
          .map((t) => h('th', {}, t)))), h('tbody', {}, rows))) : h('p', { class: 'empty' }, 'No sources.'),
      message, form);
  }
}

export class RunsView {
  constructor(app) {
    this.app = app;
    this.element = h('section', { class: 'runs', 'aria-label': 'What ran' });
  }

  async load() {
    const data = await api('GET', '/api/runs');
    const runs = data.available ? data.runs : [];
    clear(this.element).append(h('h2', {}, 'Script runs that failed'),
      runs.length ? h('div', { class: 'scroll' }, h('table', {},
        h('thead', {}, h('tr', {}, ['Asked', 'Script', 'By', 'State', 'Exit', 'Reason', 'Output']
          .map((t) => h('th', {}, t)))),
        h('tbody', {}, runs.map((run) => h('tr', {},
          h('td', {}, run.asked), h('td', {}, run.script), h('td', {}, run.sender),
          h('td', {}, run.state), h('td', {}, run.exit_status ?? (run.signal ? `signal ${run.signal}` : '')),
          h('td', {}, run.reason ?? ''), h('td', { class: 'output' }, run.output_tail ?? ''))))))
        : h('p', { class: 'empty' }, 'No failed runs.'));
  }
}
