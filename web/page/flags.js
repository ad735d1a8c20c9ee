// The flags: list, add, edit, remove (fixed ones stay), each colour from the file's named
// colours or any #RRGGBB, with a warning for colours that hardly stand out from a day.
import { api, cal } from './api.js';
import { h, clear } from './dom.js';

// The days' light background, against which a flag's colour should reach 3:1.
const dayBackground = '#FFF8E7';

function luminance(rgb) {
  const channel = (i) => {
    const c = parseInt(rgb.slice(i, i + 2), 16) / 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  };
  return 0.2126 * channel(1) + 0.7152 * channel(3) + 0.0722 * channel(5);
}

export function contrast(a, b) {
  const [x, y] = [luminance(a), luminance(b)].sort((p, q) => q - p);
  return (x + 0.05) / (y + 0.05);
}

export class FlagsView {
  constructor(app) {
    this.app = app;
    this.element = h('section', { class: 'flags-view', 'aria-label': 'Flags' });
  }

  async load() {
    this.draw(await this.app.flags());
  }

  colorField(flags, current) {
    const select = h('select', { 'aria-label': 'Colour' },
      flags.colors.map((color) => h('option', { value: color.name }, color.name)),
      h('option', { value: 'custom' }, 'Other colour…'));
    const picker = h('input', { type: 'color', 'aria-label': 'Other colour' });
    const warning = h('span', { class: 'warning' });
    const rgbOf = () => (select.value === 'custom' ? picker.value.toUpperCase()
      : flags.colors.find((color) => color.name === select.value).rgb);
    const update = () => {
      picker.hidden = select.value !== 'custom';
      const ratio = contrast(rgbOf(), dayBackground);
      warning.textContent = ratio < 3
        ? `contrast ${ratio.toFixed(1)}:1 against a day: the day's number may be hard to read` : '';
    };
    const named = flags.colors.find((color) => color.name === current || color.rgb === current);
    select.value = named ? named.name : 'custom';
    picker.value = current && current.startsWith('#') ? current : '#C00000';
    select.addEventListener('change', update);
    picker.addEventListener('input', update);
    update();
    return { element: h('span', { class: 'color-field' }, select, picker, warning),
      value: () => (select.value === 'custom' ? picker.value.toUpperCase() : select.value) };
  }

  draw(flags) {
    const error = h('p', { class: 'error', role: 'alert' });
    const run = async (method, path, body) => {
      try {
        error.textContent = '';
        await api(method, cal(path), body);
        await this.app.refresh();
      } catch (failure) {
        error.textContent = failure.message;
      }
    };
    const rows = flags.list.map((flag) => {
      const caption = h('input', { type: 'text', value: flag.caption, 'aria-label': 'Caption' });
      const variable = h('input', { type: 'text', value: flag.variable, 'aria-label': 'Variable' });
      const color = this.colorField(flags, flag.color);
      return h('tr', { dataset: { flag: String(flag.id) } },
        h('td', {}, h('span', { class: 'swatch', style: { backgroundColor: flag.rgb } })),
        h('td', {}, caption), h('td', {}, variable), h('td', {}, color.element),
        h('td', {}, flag.fixed ? 'fixed' : ''),
        h('td', { class: 'actions' },
          h('button', { type: 'button', onclick: () => {
            const body = { color: color.value() };
            if (caption.value !== flag.caption) body.caption = caption.value;
            if (variable.value !== flag.variable) body.variable = variable.value;
            run('PATCH', `/flags/${flag.id}`, body);
          } }, 'Save'),
          flag.fixed ? null : h('button', { type: 'button', onclick: () => {
            if (window.confirm(`Remove the flag "${flag.caption}" and its days?`)) run('DELETE', `/flags/${flag.id}`);
          } }, 'Remove')));
    });
    const caption = h('input', { type: 'text', id: 'new-flag-caption', 'aria-label': 'Caption', placeholder: 'Caption' });
    const variable = h('input', { type: 'text', id: 'new-flag-variable', 'aria-label': 'Variable', placeholder: 'Variable' });
    const color = this.colorField(flags, flags.colors.length ? flags.colors[0].name : '#C00000');
    clear(this.element).append(
      h('h2', {}, 'Flags'),
      h('div', { class: 'scroll' }, h('table', {},
        h('thead', {}, h('tr', {}, ['', 'Caption', 'Variable', 'Colour', '', ''].map((t) => h('th', {}, t)))),
        h('tbody', {}, rows))),
      h('h3', {}, 'Add a flag'),
      h('form', { class: 'add-flag', onsubmit: (event) => {
        event.preventDefault();
        run('POST', '/flags', { caption: caption.value, variable: variable.value, color: color.value() });
      } }, caption, variable, color.element, h('button', { type: 'submit', class: 'primary' }, 'Add')),
      error);
  }
}
