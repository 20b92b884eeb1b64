// A stand-in for navigator.hid, put in the page before it runs (headless Chromium has WebHID,
// but its device chooser never answers). Behind it: simulated transceivers of the page's own
// module (SimTransceiver), answering on the browser's clock through a MessageChannel. The
// tests drive it through window.__units:
//   plug(profileText, granted) -> the unit plugged in ('connect' fires for one the site may use)
//   unplug(), replug(): the cable; a unit that vanishes is unplugged as a pulled cable
//   choose: the unit the device chooser returns (null: the user cancels)
//   refuseOpen: open() fails as the browser fails it without access to the device node
//   stored(key): what the unit holds for good
// Events are plain Events with device, reportId and data added (HIDInputReportEvent cannot be
// constructed); the page calls no instanceof on them.
(() => {
  const moduleReady = import('/sonavelle-page.js').then((m) => m.default());
  const listeners = { connect: new Set(), disconnect: new Set() };
  const channel = new MessageChannel();
  const due = [];
  channel.port1.onmessage = () => pump();
  const nowUs = () => Math.round(performance.now() * 1000);

  class Device extends EventTarget {
    constructor(unit, info) {
      super();
      this.unit = unit;
      this.vendorId = info.vendorId;
      this.productId = info.productId;
      this.productName = info.productName;
      const items = (length) => [{ reportSize: 8, reportCount: length - 1 }];
      this.collections = [{
        usagePage: 0xff00, usage: 1,
        inputReports: [{ reportId: 0, items: items(info.inputLength) }],
        outputReports: [{ reportId: 0, items: items(info.outputLength) }],
        featureReports: [],
      }];
      this.opened = false;
      this.plugged = true;
      this.oninputreport = null;
    }
    async open() {
      if (units.refuseOpen) throw new DOMException('Failed to open the device.', 'NotAllowedError');
      if (!this.plugged) throw new DOMException('The device was disconnected.', 'NotFoundError');
      this.opened = true;
    }
    async close() { this.opened = false; }
    async forget() { this.opened = false; units.granted.delete(this); }
    async sendReport(reportId, data) {
      if (!this.opened || !this.plugged) throw new DOMException('Failed to write the report.', 'NotAllowedError');
      const bytes = new Uint8Array(1 + data.byteLength);
      bytes[0] = reportId;
      bytes.set(new Uint8Array(data.buffer || data, data.byteOffset || 0, data.byteLength), 1);
      units.sent++;
      if (!this.unit.write(bytes, nowUs())) throw new DOMException('Failed to write the report.', 'NotAllowedError');
      schedule(this);
    }
    deliver(report) {
      const event = new Event('inputreport');
      event.device = this;
      event.reportId = report[0];
      event.data = new DataView(report.buffer, 1);
      if (this.oninputreport) this.oninputreport(event);
      this.dispatchEvent(event);
    }
  }

  function schedule(device) {
    if (!due.includes(device)) due.push(device);
    channel.port2.postMessage(0);
  }

  // Every report that has fallen due goes out; a later one is waited for on a timer.
  function pump() {
    for (const device of due.splice(0)) {
      if (!device.plugged) continue;
      let report;
      while (device.plugged && (report = device.unit.read(nowUs()))) device.deliver(report);
      if (device.unit.vanished()) {
        units.unplug();
        continue;
      }
      const next = device.unit.nextDueUs();
      if (next >= 0) setTimeout(() => schedule(device), Math.max(0, (next - nowUs()) / 1000));
    }
  }

  function fire(type, device) {
    const event = new Event(type);
    event.device = device;
    for (const fn of listeners[type]) fn(event);
  }

  const units = {
    granted: new Set(),
    device: null,
    refuseOpen: false,
    cancelChooser: false,
    sent: 0,
    // granted: the site may use it already (chosen on an earlier visit).
    async plug(profileText, granted = false) {
      const M = await moduleReady;
      const unit = new M.SimTransceiver(profileText);
      if (unit.error()) throw new Error(unit.error());
      units.device = new Device(unit, unit.identity());
      if (granted) units.granted.add(units.device);
      if (units.granted.has(units.device)) fire('connect', units.device);
      return unit.identity();
    },
    // WebHID tells the page only of devices it may use.
    unplug() {
      const d = units.device;
      if (!d || !d.plugged) return;
      d.plugged = false;
      d.opened = false;
      if (units.granted.has(d)) fire('disconnect', d);
    },
    replug() {
      const d = units.device;
      units.unplug();
      d.unit.replug();
      // A new HIDDevice for the same unit, as the browser makes on a plug-in.
      const again = new Device(d.unit, d.unit.identity());
      units.device = again;
      if (units.granted.has(d)) units.granted.add(again);
      if (units.granted.has(again)) fire('connect', again);
    },
    stored: (key) => units.device.unit.stored(key),
  };
  window.__units = units;

  const hid = {
    async requestDevice({ filters }) {
      const d = units.device;
      if (units.cancelChooser || !d || !d.plugged) return [];
      const match = filters.some((f) => f.vendorId === d.vendorId && (f.productId === undefined || f.productId === d.productId));
      if (!match) return [];
      units.granted.add(d);
      return [d];
    },
    async getDevices() {
      return [...units.granted].filter((d) => d.plugged);
    },
    addEventListener(type, fn) { listeners[type]?.add(fn); },
    removeEventListener(type, fn) { listeners[type]?.delete(fn); },
  };
  Object.defineProperty(Navigator.prototype, 'hid', { get: () => hid, configurable: true });
})();
