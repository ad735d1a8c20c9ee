// The server's JSON API. Changing requests carry the session's CSRF token; the browser adds
// the Origin header itself.
export class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

const state = { csrf: null, calendar: 0 };

export function setCsrf(token) { state.csrf = token; }
export function setCalendar(id) { state.calendar = id; }
export function calendarId() { return state.calendar; }

export async function api(method, path, body) {
  const headers = {};
  if (method !== 'GET') headers['X-CSRF-Token'] = state.csrf || '';
  if (body !== undefined) headers['Content-Type'] = 'application/json';
  let response;
  try {
    response = await fetch(path, {
      method, headers, credentials: 'same-origin', cache: 'no-store',
      body: body === undefined ? undefined : JSON.stringify(body),
    });
  } catch (error) {
    throw new ApiError(0, 'the server cannot be reached');
  }
  const text = await response.text();
  let data = null;
  try { data = JSON.parse(text); } catch (error) { data = null; }
  if (!response.ok) {
    throw new ApiError(response.status, (data && data.error) || response.statusText);
  }
  return data;
}

// A path under the chosen calendar.
export function cal(path) {
  return `/api/calendars/${state.calendar}${path}`;
}
