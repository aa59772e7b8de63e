// Exports the session's windows on the session bus for Zentrabo Server, which
// as a Wayland client cannot see other clients' windows: the windows in
// stacking order, the focused one, a few window operations and one signal
// when focus or the list changes. Nothing else (no evaluation of code, no
// files), so any client of the user's session bus may call it, as any X11
// client of an X11 session may act on its windows.
/* exported init */
const { Gio, Meta, Shell } = imports.gi;
const Main = imports.ui.main;

const BUS_NAME = 'org.zentrabo.Shell.Windows';
const OBJECT_PATH = '/org/zentrabo/Shell/Windows';
// Raised when the interface changes incompatibly; the server reads it.
const API_VERSION = 1;

const INTERFACE = `
<node>
  <interface name="org.zentrabo.Shell.Windows">
    <property name="Version" type="u" access="read"/>
    <!-- front to back, override-redirect windows left out: id, pid, desktop file ID ("" when the shell knows
         none), title, frame (x, y, width, height), buffer, minimized,
         monitor index, window type (Meta.WindowType) -->
    <method name="ListWindows">
      <arg type="a(tuss(iiii)(iiii)biu)" direction="out" name="windows"/>
    </method>
    <!-- 0 when no window has the focus -->
    <method name="GetFocusedWindow">
      <arg type="t" direction="out" name="window"/>
    </method>
    <!-- each answers false when no such window exists -->
    <method name="Activate">
      <arg type="t" direction="in" name="window"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Raise">
      <arg type="t" direction="in" name="window"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Minimize">
      <arg type="t" direction="in" name="window"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Unminimize">
      <arg type="t" direction="in" name="window"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="MoveResize">
      <arg type="t" direction="in" name="window"/>
      <arg type="i" direction="in" name="x"/>
      <arg type="i" direction="in" name="y"/>
      <arg type="i" direction="in" name="width"/>
      <arg type="i" direction="in" name="height"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <method name="Close">
      <arg type="t" direction="in" name="window"/>
      <arg type="b" direction="out" name="found"/>
    </method>
    <signal name="Changed"/>
  </interface>
</node>`;

function rectangle(r) {
    return [r.x, r.y, r.width, r.height];
}

class WindowService {
    constructor() {
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._handlers = [];
        this._windowHandlers = new Map();
    }

    get Version() {
        return API_VERSION;
    }

    ListWindows() {
        const tracker = Shell.WindowTracker.get_default();
        // Override-redirect windows (popups, the shell's own) are no
        // application's windows, as a window manager's client list has none.
        const windows = global.display.sort_windows_by_stacking(
            global.get_window_actors().map(actor => actor.meta_window)
                .filter(w => !w.is_override_redirect()));
        return windows.reverse().map(w => {
            const app = tracker.get_window_app(w);
            const desktopId = app && !app.is_window_backed() ? app.get_id() : '';
            return [w.get_id(), w.get_pid() > 0 ? w.get_pid() : 0, desktopId, w.get_title() ?? '',
                rectangle(w.get_frame_rect()), rectangle(w.get_buffer_rect()), w.minimized,
                w.get_monitor(), w.get_window_type()];
        });
    }

    GetFocusedWindow() {
        const focused = global.display.focus_window;
        return focused ? focused.get_id() : 0;
    }

    Activate(id) {
        return this._with(id, w => Main.activateWindow(w, global.get_current_time()));
    }

    Raise(id) {
        return this._with(id, w => w.raise());
    }

    Minimize(id) {
        return this._with(id, w => w.minimize());
    }

    Unminimize(id) {
        return this._with(id, w => w.unminimize());
    }

    MoveResize(id, x, y, width, height) {
        return this._with(id, w => {
            if (w.get_maximized())
                w.unmaximize(Meta.MaximizeFlags.BOTH);
            w.move_resize_frame(true, x, y, width, height);
        });
    }

    Close(id) {
        return this._with(id, w => w.delete(global.get_current_time()));
    }

    _with(id, act) {
        const actor = global.get_window_actors().find(a => a.meta_window.get_id() === id);
        if (!actor)
            return false;
        act(actor.meta_window);
        return true;
    }

    _changed() {
        this._object.emit_signal('Changed', null);
    }

    _watch(window) {
        const ids = [
            window.connect('unmanaged', () => {
                this._unwatch(window);
                this._changed();
            }),
            window.connect('notify::minimized', () => this._changed()),
        ];
        this._windowHandlers.set(window, ids);
    }

    _unwatch(window) {
        for (const id of this._windowHandlers.get(window) ?? [])
            window.disconnect(id);
        this._windowHandlers.delete(window);
    }

    start() {
        for (const actor of global.get_window_actors())
            this._watch(actor.meta_window);
        this._handlers.push(global.display.connect('window-created', (display, window) => {
            this._watch(window);
            this._changed();
        }));
        this._handlers.push(global.display.connect('notify::focus-window', () => this._changed()));
        this._handlers.push(global.display.connect('restacked', () => this._changed()));
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    stop() {
        Gio.bus_unown_name(this._nameId);
        this._object.unexport();
        for (const id of this._handlers)
            global.display.disconnect(id);
        this._handlers = [];
        for (const window of [...this._windowHandlers.keys()])
            this._unwatch(window);
    }
}

class Extension {
    enable() {
        this._service = new WindowService();
        this._service.start();
    }

    disable() {
        this._service.stop();
        this._service = null;
    }
}

function init() {
    return new Extension();
}
