// Adding and editing an appointment. What the command line refuses is refused here with the
// same message, and the form keeps what was typed: after a stale edit, a busy file or a
// mistake alike.
import { api, cal } from './api.js';
import { h } from './dom.js';

export class Editor {
  constructor(app) {
    this.app = app;
    const field = (label, input) => h('label', {}, h('span', {}, label), input);
    this.date = h('input', { type: 'date', name: 'date', required: true });
    this.time = h('input', { type: 'time', name: 'time', required: true });
    this.description = h('input', { type: 'text', name: 'description', required: true });
    this.value = h('input', { type: 'text', name: 'value' });
    this.scripts = h('datalist', { id: 'script-names' });
    this.script = h('input', { type: 'text', name: 'script', oninput: () => this.checkScript() });
    this.script.setAttribute('list', 'script-names');
    this.scriptWarning = h('p', { class: 'warning', id: 'script-warning' });
    this.repeat = h('input', { type: 'text', name: 'repeat', placeholder: 'FREQ=WEEKLY;BYDAY=MO' });
    this.until = h('input', { type: 'date', name: 'until' });
    this.repeatFields = h('div', { class: 'repeat' },
      field('Repeat rule', this.repeat), field('Until', this.until));
    this.one = h('input', { type: 'radio', name: 'scope', value: 'one', checked: true });
    this.series = h('input', { type: 'radio', name: 'scope', value: 'series' });
    this.scope = h('fieldset', { class: 'scope' }, h('legend', {}, 'Change'),
      h('label', {}, this.one, ' this one'), h('label', {}, this.series, ' the whole series'));
    this.error = h('p', { class: 'error', id: 'editor-error', role: 'alert' });
    this.title = h('h3', {});
    this.form = h('form', { id: 'editor', onsubmit: (event) => { event.preventDefault(); this.save(); } },
      this.title,
      field('Date', this.date), field('Time', this.time), field('Description', this.description),
      field('Value', this.value), field('Script', this.script), this.scripts, this.scriptWarning,
      this.repeatFields, this.scope, this.error,
      h('div', { class: 'actions' },
        h('button', { type: 'submit', class: 'primary', id: 'save' }, 'Save'),
        h('button', { type: 'button', id: 'cancel', onclick: () => this.close() }, 'Cancel')));
    this.element = h('dialog', { class: 'editor' }, this.form);
  }

  async open(appointment, day) {
    this.appointment = appointment;
    this.title.textContent = appointment ? 'Edit the appointment' : 'New appointment';
    this.date.value = appointment ? appointment.date : day;
    this.time.value = appointment ? appointment.time : '';
    this.description.value = appointment ? appointment.description : '';
    this.value.value = appointment ? appointment.value : '';
    this.script.value = appointment ? appointment.script : '';
    this.repeat.value = '';
    this.until.value = '';
    this.repeatFields.hidden = !!appointment;
    this.scope.hidden = !(appointment && appointment.origin.kind === 'repeat');
    this.one.checked = true;
    this.error.textContent = '';
    try {
      const names = (await api('GET', '/api/scripts')).scripts;
      this.known = new Set(names);
      this.scripts.replaceChildren(...names.map((name) => h('option', { value: name })));
    } catch (error) {
      this.known = null;
    }
    this.checkScript();
    if (!this.element.open) this.element.showModal();
  }

  get isOpen() { return this.element.open; }

  close() {
    this.element.close();
  }

  checkScript() {
    const name = this.script.value;
    this.scriptWarning.textContent = this.known && name.trim() !== '' && !this.known.has(name)
      ? `"${name}" is not in the scripts folder; it is kept, but the host will not find it.` : '';
  }

  async save() {
    const body = {
      date: this.date.value, time: this.time.value, description: this.description.value,
      value: this.value.value, script: this.script.value,
    };
    try {
      let answer;
      if (!this.appointment) {
        if (this.repeat.value !== '') body.repeat = this.repeat.value;
        if (this.until.value !== '') body.until = this.until.value;
        answer = await api('POST', cal('/appointments'), body);
      } else {
        body.tag = this.appointment.tag;
        if (!this.scope.hidden && this.series.checked) {
          body.series = true;
          delete body.date;
        }
        answer = await api('PATCH', cal(`/appointments/${this.appointment.id}`), body);
      }
      this.close();
      this.app.say([...answer.done, ...answer.warnings].join(' · '));
      this.app.refresh();
    } catch (error) {
      this.error.textContent = error.status === 409
        ? `${error.message}. What you typed is still here: reload the day, then save again.`
        : error.message;
    }
  }
}
