// The page: the tool's core (WebAssembly) on the transceivers WebHID gives, its state shown,
// its backups and service record kept in the browser. Every text about the unit, every
// setting's name and value, what Apply would change and how a run ended come from the core.
import SonavellePage from './sonavelle-page.js';
import {Keep} from './keep.js';
import {Link} from './link.js';

const $ = (id) => document.getElementById(id);

const ui = {
    log : [],
    rows : new Map(), // setting name -> its row's parts
    rowsKey : '',
    unitKey : '',
    drawn : false,
};
let Module, page, link, keep;

function say(text, kind = 'alert') {
    const box = $('message');
    box.hidden = !text;
    box.textContent = text || '';
    box.className = kind;
}

function download(name, text, type = 'application/json') {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(new Blob([ text ], {type}));
    a.download = name;
    return a;
}

function saveFile(name, text, type) {
    const a = download(name, text, type);
    document.body.append(a);
    a.click();
    a.remove();
}

// ---- the core's hooks ------------------------------------------------------------------------
const hooks = {
    output : (id, bytes) => link.output(id, bytes),
    log(line) {
        ui.log.push(line);
        if ($('log-box').open) $('log').textContent += line + '\n';
    },
    message : (text) => say(text),
    changed : () => schedule(),
    record(entry) {
        keep.addRecord(entry).then(drawRecord, (error) => {
            say(`The service record line of this run could not be kept (${error.message}): ` +
                'the run is not recorded. Save the log, and export the record before closing the page.');
            document.body.dataset.recordLost = '1';
        });
    },
};

// ---- drawing ---------------------------------------------------------------------------------
let drawPending = false;
function schedule() {
    if (drawPending) return;
    drawPending = true;
    queueMicrotask(() => {
        drawPending = false;
        draw();
    });
}

function draw() {
    const s = page.state();
    for (const dd of document.querySelectorAll('#identity dd')) {
        dd.textContent =
            s.connected || s.identity.firmware ? s.identity[dd.dataset.field] || '–' : '–';
    }
    $('notice').hidden = !s.notice;
    $('notice').textContent = s.notice || '';
    drawSettings(s);
    const changes = $('changes');
    changes.replaceChildren(...s.changes.map(
        (line) => Object.assign(document.createElement('li'), {textContent : line})));
    $('preview').hidden = s.changes.length === 0;
    $('apply').disabled = !s.adjustable;
    $('default').disabled = !s.adjustable;
    $('restore-file').disabled = !s.adjustable;
    $('progress').value = s.running ? s.progress : s.result ? 100 : 0;
  // The unit asked for has come back: the request to plug it in again is done.
  if (ui.waitingReplug && !s.waitingReplug && s.connected) say('');
  ui.waitingReplug = s.waitingReplug;
    const result = $('result');
    result.textContent = s.result ? s.result.text : '';
    result.className = s.result ? (s.result.ok ? 'ok' : 'fail') : '';
    result.dataset.count = s.result ? s.result.count : 0;
    let status;
    if (s.running)
        status = `Writing to the unit… ${s.progress} %`;
    else if (s.waitingReplug)
        status = 'Unplug the unit and plug it in again.';
    else if (s.ready)
        status = `Unit ${s.identity.serial} ready.`;
    else if (s.connected)
        status = 'Reading the unit…';
    else
        status = 'No unit connected. Plug a unit in, or press Connect.';
    $('status').textContent = status;
    document.body.dataset.step = s.step;
    document.body.dataset.ready = s.ready ? '1' : '';
    const unit = s.ready ? s.identity.serial : '';
    if (unit !== ui.unitKey) {
        ui.unitKey = unit;
        drawBackups();
    }
}

function drawSettings(s) {
    const key = JSON.stringify(s.settings.map((x) => [x.name, x.values]));
    const body = document.querySelector('#settings tbody');
    if (key !== ui.rowsKey) {
        ui.rowsKey = key;
        ui.rows.clear();
        body.replaceChildren();
        for (const setting of s.settings) {
            const tr = document.createElement('tr');
            const th = Object.assign(document.createElement('th'),
                                     {scope : 'row', textContent : setting.name});
            th.id = `name-${setting.name}`;
            const held = document.createElement('td');
            held.id = `held-${setting.name}`;
            const td = document.createElement('td');
            const select = document.createElement('select');
            select.id = `choose-${setting.name}`;
            select.setAttribute('aria-labelledby', `name-${setting.name}`);
            select.setAttribute('aria-describedby', `held-${setting.name}`);
            for (const value of setting.values)
                select.append(new Option(value, value));
            select.addEventListener('change', () => {
                const why = page.choose(setting.name, select.value);
                if (why) say(why);
            });
            td.append(select);
            tr.append(th, held, td);
            body.append(tr);
            ui.rows.set(setting.name, {tr, held, select});
        }
    }
    for (const setting of s.settings) {
        const row = ui.rows.get(setting.name);
        row.held.textContent = setting.current ?? `(${setting.shown || '?'})`;
        if (setting.choice !== null && document.activeElement !== row.select)
            row.select.value = setting.choice;
        if (setting.choice === null) row.select.selectedIndex = -1;
        row.select.disabled = !s.adjustable || !setting.adjustable;
        row.tr.className =
            setting.choice !== null && setting.choice !== setting.current ? 'changed' : '';
    }
}

async function drawBackups() {
    const list = $('backups');
    if (!ui.unitKey) {
        list.replaceChildren();
        return;
    }
    const unit = page.backup().unit;
    const backups = await keep.backupsOf(unit);
    list.replaceChildren(...backups.map((b) => {
        const li = document.createElement('li');
        const a = download(b.name, b.text);
        a.textContent = b.name;
        a.setAttribute('aria-label', `Download backup ${b.name}`);
        const restore = Object.assign(document.createElement('button'),
                                      {type : 'button', textContent : 'Restore'});
        restore.setAttribute('aria-label', `Restore backup ${b.name}`);
        restore.addEventListener('click', () => restoreText(b.text, b.name));
        li.append(a, ' ', restore);
        return li;
    }));
}

async function drawRecord() {
    const entries = (await keep.record()).reverse();
    const body = document.querySelector('#record tbody');
    body.replaceChildren(...entries.map((e) => {
        const tr = document.createElement('tr');
        const written = Object.entries(e.written || {}).map(([ k, v ]) => `${k}=${v}`).join('; ');
        for (const text of [e.local, e.run, e.serial ?? '', e.model, e.firmware, e.result, written,
                            e.backup ?? '']) {
            tr.append(Object.assign(document.createElement('td'), {textContent : text}));
        }
        return tr;
    }));
}

// ---- actions ---------------------------------------------------------------------------------
// Never a write without a backup: kept in the browser (and offered as a file) before the core
// may write; the core checks that the kept backup is what the unit holds.
async function keepBackup() {
    const b = page.backup();
    if (b.error) throw new Error(b.error);
    await keep.putBackup({unit : b.unit, name : b.name, text : b.text});
    page.backupKept(b.text);
    page.keptAs(b.name);
    const a = download(b.name, b.text);
    a.id = 'backup-download';
    a.textContent = `Download the backup ${b.name}`;
    $('backup-link').replaceChildren(a);
    $('backup-link').hidden = false;
    drawBackups();
}

async function write(run) {
    say('');
    try {
        await keepBackup();
    } catch (error) {
        say(`The backup could not be kept (${error.message}); nothing was written. ` +
            'Free some storage for this site and try again.');
        return;
    }
    run();
    link.kick();
}

async function restoreText(text, name) {
    let parsed = null;
    try {
        parsed = JSON.parse(text);
    } catch {
        parsed = null;
    }
    const r = page.restore(parsed, name);
    if (r.error) {
        say(`${r.error}. Nothing was chosen.`);
        return;
    }
    say(r.skipped.length
            ? `Chosen from ${name}; skipped: ${r.skipped.join('; ')}. Press Apply to write.`
            : `Chosen from ${name}. Press Apply to write.`,
        'ok');
}

async function connect() {
    say('');
    let chosen;
    try {
        chosen = await navigator.hid.requestDevice({filters : Module.transceiverIds()});
    } catch (error) {
        say(`No transceiver was chosen (${error.message}).`);
        return;
    }
    if (!chosen.length) return;
    // The tool starts again with the chosen unit attached: as on the command line, a unit
    // attached before the start is taken once it has been plugged in again.
    const devices = link.forgetIds();
    page.restart();
    for (const device of new Set([...devices, ...chosen ]))
        await link.attach(device);
    page.start();
}

function refused(device, error) {
    const hint = /linux/i.test(navigator.userAgent) ? ` ${Module.udevRuleHint()}` : '';
    say(`The browser could not open the transceiver ${device.productName || ''} (${
        error.message}).${hint}`);
    document.body.dataset.refused = '1';
}

async function main() {
    if (!('hid' in navigator)) {
        $('nohid').hidden = false;
        $('connect').disabled = true;
    }
    Module = await SonavellePage();
    keep = await Keep.open();
    page = new Module.Page(Module.version(), hooks);
    link = new Link(page, {refused, failed : (text) => say(text)});

    $('connect').addEventListener('click', connect);
    $('apply').addEventListener('click', () => write(() => page.apply()));
    $('default').addEventListener('click', () => write(() => page.pressDefault()));
    $('restore-file').addEventListener('change', async (event) => {
        const file = event.target.files[0];
        if (file) await restoreText(await file.text(), file.name);
        event.target.value = '';
    });
    $('csv').addEventListener('click', async () => {
        saveFile('service-record.csv', page.recordCsv(await keep.record()), 'text/csv');
    });
    $('save-log')
        .addEventListener('click',
                          () => saveFile('sonavelle.log', ui.log.join('\n') + '\n', 'text/plain'));
    $('log-box').addEventListener('toggle',
                                  () => { $('log').textContent = ui.log.join('\n') + '\n'; });

    if ('hid' in navigator) {
        navigator.hid.addEventListener('connect', (event) => {
            if (Module.transceiverIds().some((f) => f.vendorId === event.device.vendorId))
                link.attach(event.device);
        });
        navigator.hid.addEventListener('disconnect', (event) => link.detach(event.device));
        // Units this site may use that are attached now: attached before the start.
        for (const device of await navigator.hid.getDevices())
            await link.attach(device);
    }
    page.start();
    drawRecord();
    document.body.dataset.started = '1';
}

main().catch((error) => say(`The page could not start: ${error.message}`));
