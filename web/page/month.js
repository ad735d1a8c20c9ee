// The month: Monday first, ISO weeks, today framed, the selected day marked, each day's flags
// in their colours and its appointments as far as they fit, "+N more" opening the day.
import { api, cal } from './api.js';
import { h, clear, dayText, parseDay, monthNames, isoWeek } from './dom.js';

const weekdays = ['Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat', 'Sun'];

export class MonthView {
  constructor(app) {
    this.app = app;
    this.element = h('section', { class: 'month', 'aria-label': 'Month' });
  }

  // How many appointments a day shows before "+N more": fewer on a phone.
  fitting() {
    return window.matchMedia('(max-width: 600px)').matches ? 1 : 3;
  }

  async load() {
    const selected = parseDay(this.app.selected);
    const month = `${selected.getFullYear()}-${String(selected.getMonth() + 1).padStart(2, '0')}`;
    const [data, flags] = await Promise.all([api('GET', cal(`/month/${month}`)), this.app.flags()]);
    this.draw(selected, data, flags);
  }

  step(months, years = 0) {
    const day = parseDay(this.app.selected);
    const target = new Date(day.getFullYear() + years, day.getMonth() + months, 1);
    const last = new Date(target.getFullYear(), target.getMonth() + 1, 0).getDate();
    target.setDate(Math.min(day.getDate(), last));
    this.app.select(dayText(target));
  }

  draw(selected, data, flags) {
    const today = dayText(new Date());
    const byDay = new Map();
    for (const appointment of data.appointments) {
      if (!byDay.has(appointment.date)) byDay.set(appointment.date, []);
      byDay.get(appointment.date).push(appointment);
    }
    const picker = h('input', {
      type: 'date', value: this.app.selected, 'aria-label': 'Go to date', id: 'go-to',
      onchange: (event) => { if (event.target.value) this.app.select(event.target.value); },
    });
    const bar = h('div', { class: 'month-bar' },
      h('button', { type: 'button', title: 'Previous year', id: 'prev-year', onclick: () => this.step(0, -1) }, '«'),
      h('button', { type: 'button', title: 'Previous month', id: 'prev-month', onclick: () => this.step(-1) }, '‹'),
      h('h2', { id: 'month-title' }, `${monthNames[selected.getMonth()]} ${selected.getFullYear()}`),
      h('button', { type: 'button', title: 'Next month', id: 'next-month', onclick: () => this.step(1) }, '›'),
      h('button', { type: 'button', title: 'Next year', id: 'next-year', onclick: () => this.step(0, 1) }, '»'),
      h('button', { type: 'button', id: 'today', onclick: () => this.app.select(today) }, 'Today'),
      picker);
    const grid = h('div', { class: 'grid', role: 'grid', tabIndex: 0, id: 'month-grid',
      onkeydown: (event) => this.key(event) });
    grid.append(h('div', { class: 'head week' }, 'Wk'));
    for (const name of weekdays) grid.append(h('div', { class: 'head' }, name));
    const first = new Date(selected.getFullYear(), selected.getMonth(), 1);
    const lead = (first.getDay() + 6) % 7;
    const daysInMonth = new Date(selected.getFullYear(), selected.getMonth() + 1, 0).getDate();
    const flagsOfDay = new Map(data.days.map((day) => [day.date, day.flags]));
    const fitting = this.fitting();
    for (let cell = 0; cell < Math.ceil((lead + daysInMonth) / 7) * 7; cell++) {
      const date = new Date(selected.getFullYear(), selected.getMonth(), cell - lead + 1);
      if (cell % 7 === 0) grid.append(h('div', { class: 'week' }, String(isoWeek(date))));
      if (date.getMonth() !== selected.getMonth()) {
        grid.append(h('div', { class: 'day other', 'aria-hidden': 'true' }));
        continue;
      }
      const text = dayText(date);
      const appointments = byDay.get(text) || [];
      const stripes = h('div', { class: 'flags' });
      for (const id of flagsOfDay.get(text) || []) {
        const flag = flags.byId.get(id);
        if (!flag) continue;
        stripes.append(h('span', { class: 'flag', title: flag.caption, dataset: { flag: String(id) },
          style: { backgroundColor: flag.rgb } }, flag.caption));
      }
      const list = h('ul', { class: 'items' });
      for (const appointment of appointments.slice(0, fitting)) {
        list.append(h('li', { class: appointment.done ? 'done' : '' },
          h('span', { class: 'time' }, appointment.time.slice(0, 5)), ' ', appointment.description));
      }
      const more = appointments.length - fitting;
      const classes = ['day'];
      if (text === today) classes.push('today');
      if (text === this.app.selected) classes.push('selected');
      grid.append(h('div', {
        class: classes.join(' '), role: 'gridcell', dataset: { date: text },
        'aria-selected': String(text === this.app.selected),
        onclick: () => this.app.select(text, true),
      },
      h('span', { class: 'number' }, String(date.getDate())), stripes, list,
      more > 0 ? h('button', { type: 'button', class: 'more', onclick: (event) => {
        event.stopPropagation();
        this.app.select(text, true);
      } }, `+${more} more`) : null));
    }
    clear(this.element).append(bar, grid);
    if (this.focusGrid) grid.focus();
    this.focusGrid = false;
  }

  key(event) {
    const moves = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -7, ArrowDown: 7 };
    if (event.key in moves) {
      event.preventDefault();
      const day = parseDay(this.app.selected);
      day.setDate(day.getDate() + moves[event.key]);
      this.focusGrid = true;
      this.app.select(dayText(day));
    } else if (event.key === 'Enter') {
      event.preventDefault();
      this.app.select(this.app.selected, true);
    } else if (event.key === 'PageUp' || event.key === 'PageDown') {
      event.preventDefault();
      this.focusGrid = true;
      this.step(event.key === 'PageUp' ? -1 : 1);
    }
  }
}
