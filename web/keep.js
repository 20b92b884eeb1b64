// What the page keeps in the browser (IndexedDB): the backups made before each write and the
// service record, one entry per run, with the fields of the command line's record.
const kName = 'sonavelle-customize';

function request(r) {
    return new Promise((resolve, reject) => {
        r.onsuccess = () => resolve(r.result);
        r.onerror = () => reject(r.error);
    });
}

function done(tx) {
    return new Promise((resolve, reject) => {
        tx.oncomplete = () => resolve();
        tx.onerror = tx.onabort = () =>
            reject(tx.error || new Error('the transaction was aborted'));
    });
}

export class Keep {
    static async open() {
        const r = indexedDB.open(kName, 1);
        r.onupgradeneeded = () => {
            const db = r.result;
            const backups = db.createObjectStore('backups', {keyPath : 'id', autoIncrement : true});
            backups.createIndex('unit', 'unit');
            db.createObjectStore('record', {keyPath : 'id', autoIncrement : true});
        };
        const keep = new Keep();
        keep.db = await request(r);
        return keep;
    }

    // Resolves once the backup is on disk (the transaction committed).
    async putBackup(backup) {
        const tx = this.db.transaction('backups', 'readwrite', {durability : 'strict'});
        const id = request(tx.objectStore('backups').add({...backup, time : Date.now()}));
        await done(tx);
        return id;
    }

    async backupsOf(unit) {
        const tx = this.db.transaction('backups');
        const list = await request(tx.objectStore('backups').index('unit').getAll(unit));
        return list.sort((a, b) => b.id - a.id);
    }

    async backup(id) {
        return request(this.db.transaction('backups').objectStore('backups').get(id));
    }

    async addRecord(entry) {
        const tx = this.db.transaction('record', 'readwrite', {durability : 'strict'});
        tx.objectStore('record').add(entry);
        await done(tx);
    }

    async record() {
        const list = await request(this.db.transaction('record').objectStore('record').getAll());
        return list.map(({id, ...entry}) => entry);
    }
}
