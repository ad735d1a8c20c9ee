// The day: its flags with check boxes (each change saved by itself), a flag over a range, and
// its appointments in the order the module fires them with what happens, where each comes
// from and, where the host keeps a history, how its script ran.
import { api, cal } from './api.js';
import { h, clear, longDay } from './dom.js';
import { Editor } from './editor.js';

function scriptText(appointment) {
  return appointment.script.trim() === '' ? 'no script: sets only Mondrel_TriggerValue'
    : `script ${appointment.script}`;
}

function originText(origin) {
  if (origin.kind === 'own') return 'own';
  const what = origin.kind === 'repeat' ? `repeat rule "${origin.source}"` : `source "${origin.source}"`;
  return origin.edited ? `${what}, edited here` : what;
}

function runText(run, day) {
  const stamp = run.started || run.asked || '';
  // A late appointment fires at the next day's first tick: then the date is said too.
  const when = stamp.slice(0, 10) === day ? stamp.slice(11, 19)
    : `${stamp.slice(0, 10)} ${stamp.slice(11, 19)}`;
  const how = run.state === 'failed' && run.exit_status !== null ? `failed (exit ${run.exit_status})`
    : run.state;
  return `${run.script} ran ${when}: ${how}${run.reason ? ` (${run.reason})` : ''}`;
}

export class DayView {
  constructor(app) {
    this.app = app;
    this.element = h('section', { class: 'day-panel', id: 'day', 'aria-label': 'Day' });
    this.editor = new Editor(app);
  }

  async load() {
    const [data, flags] = await Promise.all([
      api('GET', cal(`/days/${this.app.selected}`)), this.app.flags()]);
    this.draw(data, flags);
  }

  draw(data, flags) {
    const day = data.date;
    const open = (data.upcoming.days[0] || { appointments: [] }).appointments;
    const firing = new Map(open.map((appointment, index) => [appointment.id, { ...appointment, index }]));
    const appointments = [...data.appointments].sort((a, b) => {
      const fa = firing.get(a.id), fb = firing.get(b.id);
      if (fa && fb) return fa.index - fb.index;
      if (fa || fb) return fa ? -1 : 1;
      return a.time.localeCompare(b.time);
    });

    const boxes = h('fieldset', { class: 'day-flags' }, h('legend', {}, 'Flags of the day'));
    for (const flag of flags.list) {
      const box = h('input', { type: 'checkbox', checked: data.flags.includes(flag.id),
        dataset: { flag: String(flag.id) },
        onchange: async () => {
          try {
            await api(box.checked ? 'PUT' : 'DELETE', cal(`/days/${day}/flags/${flag.id}`));
            this.app.refresh();
          } catch (error) {
            box.checked = !box.checked;
            this.app.report(error);
          }
        } });
      boxes.append(h('label', { class: 'check' }, box,
        h('span', { class: 'swatch', style: { backgroundColor: flag.rgb } }), flag.caption));
    }
    const rangeFlag = h('select', { id: 'range-flag', 'aria-label': 'Flag' },
      flags.list.map((flag) => h('option', { value: String(flag.id) }, flag.caption)));
    const rangeTo = h('input', { type: 'date', id: 'range-to', value: day, min: day, 'aria-label': 'Last day' });
    const range = async (method) => {
      try {
        await api(method, cal(`/days/${day}/flags/${rangeFlag.value}?to=${rangeTo.value}`));
        this.app.refresh();
      } catch (error) {
        this.app.report(error);
      }
    };
    const rangeForm = h('div', { class: 'range' },
      h('span', {}, 'From this day to '), rangeTo, ' ', rangeFlag,
      h('button', { type: 'button', id: 'range-set', onclick: () => range('PUT') }, 'Set'),
      h('button', { type: 'button', id: 'range-clear', onclick: () => range('DELETE') }, 'Clear'));

    const list = h('ol', { class: 'appointments' });
    for (const appointment of appointments) {
      const fires = firing.get(appointment.id);
      const runs = appointment.runs || [];
      list.append(h('li', { class: appointment.done ? 'appointment done' : 'appointment',
        dataset: { id: String(appointment.id) } },
      h('div', { class: 'line' },
        h('span', { class: 'time' }, appointment.time.slice(0, 5)), ' ',
        h('span', { class: 'description' }, appointment.description)),
      h('div', { class: 'details' },
        appointment.value !== '' ? `value "${appointment.value}" · ` : '',
        scriptText(appointment), ' · ', appointment.done ? 'done' : 'open', ' · ',
        originText(appointment.origin)),
      h('div', { class: 'fires' }, appointment.done ? 'done: it does not fire'
        : `fires ${fires ? fires.fires : 'at its time'}`),
      runs.map((run) => h('div', { class: `run ${run.state.replace(' ', '-')}` }, runText(run, day))),
      h('div', { class: 'actions' },
        h('button', { type: 'button', class: 'edit', onclick: () => this.editor.open(appointment) }, 'Edit'),
        h('button', { type: 'button', class: 'toggle', onclick: () => this.toggle(appointment) },
          appointment.done ? 'Open again' : 'Mark done'),
        h('button', { type: 'button', class: 'delete', onclick: () => this.remove(appointment) }, 'Delete'))));
    }
    clear(this.element).append(
      h('h2', { id: 'day-title' }, longDay(day)),
      h('button', { type: 'button', id: 'add', class: 'primary',
        onclick: () => this.editor.open(null, day) }, 'Add appointment'),
      appointments.length ? list : h('p', { class: 'empty' }, 'No appointments on this day.'),
      boxes, rangeForm, this.editor.element);
  }

  async toggle(appointment) {
    try {
      await api('PATCH', cal(`/appointments/${appointment.id}`), { tag: appointment.tag, done: !appointment.done });
      this.app.refresh();
    } catch (error) {
      this.app.report(error);
    }
  }

  async remove(appointment) {
    const name = `${appointment.time.slice(0, 5)} ${appointment.description}`;
    if (!window.confirm(`Delete the appointment "${name}" of ${longDay(appointment.date)}?`)) return;
    try {
      await api('DELETE', cal(`/appointments/${appointment.id}?tag=${appointment.tag}`));
      this.app.refresh();
    } catch (error) {
      this.app.report(error);
    }
  }
}
