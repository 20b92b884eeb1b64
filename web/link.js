// The transceivers over WebHID, and the beat that drives the tool's conversation.
//
// The tool's core ticks every millisecond while it has work. Browsers hold nested timers to
// 4 ms or more, so the page ticks at once on each input report, then from a MessageChannel
// (tens of microseconds) while the conversation has just sent or received something, and
// falls back to a timer only while it waits for time to pass.

// Lengths of the unit's reports (report-ID byte counted), as the HID descriptor gives them.
function reportLength(reports, fallback) {
    for (const report of reports || []) {
        if (report.reportId !== 0 && reports.length > 1) continue;
        let bits = 0;
        for (const item of report.items || [])
            bits += item.reportSize * item.reportCount;
        if (bits > 0) return 1 + Math.ceil(bits / 8);
    }
    return fallback;
}

export function lengthsOf(device) {
    let input = 0, output = 0;
    for (const c of device.collections || []) {
        input = input || reportLength(c.inputReports, 0);
        output = output || reportLength(c.outputReports, 0);
    }
    return {inputLength : input || 65, outputLength : output || 65};
}

export class Link {
    // page: the module's Page; hooks: {refused(device, error), failed(text)}
    constructor(page, hooks) {
        this.page = page;
        this.hooks = hooks;
        this.ids = new Map(); // HIDDevice -> id in the core
        this.writes = 0;
        this.scheduled = false;
        this.timer = 0;
        this.channel = new MessageChannel();
        this.channel.port1.onmessage = () => this.beat();
        this.onInput = (event) => this.input(event);
    }

    // The device is opened and handed to the core; false when the browser refused to open it.
    async attach(device) {
        if (this.ids.has(device)) return true;
        try {
            if (!device.opened) await device.open();
        } catch (error) {
            this.hooks.refused(device, error);
            return false;
        }
        device.addEventListener('inputreport', this.onInput);
        const id = this.page.arrive({
            vendorId : device.vendorId,
            productId : device.productId,
            product : device.productName || '',
            ...lengthsOf(device),
        });
        this.ids.set(device, id);
        this.kick();
        return true;
    }

    detach(device) {
        const id = this.ids.get(device);
        if (id === undefined) return;
        device.removeEventListener('inputreport', this.onInput);
        this.ids.delete(device);
        this.page.leave(id);
        this.kick();
    }

    // The core's ids are gone (the tool started again): the devices are handed over afresh.
    forgetIds() {
        for (const device of this.ids.keys())
            device.removeEventListener('inputreport', this.onInput);
        const devices = [...this.ids.keys() ];
        this.ids.clear();
        return devices;
    }

    deviceOf(id) {
        for (const [device, known] of this.ids)
            if (known === id) return device;
        return null;
    }

    // The core's output report: byte 0 is the report ID.
    output(id, bytes) {
        const device = this.deviceOf(id);
        if (!device || !device.opened) return false;
        this.writes++;
        device.sendReport(bytes[0], bytes.subarray(1)).catch((error) => {
            this.hooks.failed(`A report could not be sent to the unit (${error.message}).`);
        });
        return true;
    }

    input(event) {
        const id = this.ids.get(event.device);
        if (id === undefined) return;
        const data = event.data;
        this.page.input(id, event.reportId,
                        new Uint8Array(data.buffer, data.byteOffset, data.byteLength));
        // The reply is looked at now; the command after it goes on the next beat.
        if (this.page.needsTicks()) this.page.tick();
        this.kick(true);
    }

    // Ticks while the core needs them: soon after something moved, on a timer while it waits.
    kick(soon = true) {
        if (this.scheduled || !this.page.needsTicks()) return;
        this.scheduled = true;
        if (soon) {
            this.channel.port2.postMessage(0);
        } else {
            this.timer = setTimeout(() => this.beat(), 1);
        }
    }

    beat() {
        this.scheduled = false;
        clearTimeout(this.timer);
        if (!this.page.needsTicks()) return;
        const before = this.writes;
        this.page.tick();
        this.kick(this.writes !== before);
    }
}
