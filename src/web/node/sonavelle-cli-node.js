#!/usr/bin/env node
// Runs the web build's sonavelle-cli (sonavelle-cli.js and .wasm beside this file) with the
// arguments given, and exits with its exit code.
'use strict';
const fs = require('fs');
const path = require('path');

const factory = require(path.join(__dirname, 'sonavelle-cli.js'));
factory({
    arguments : process.argv.slice(2),
    // node has fetch(), so the loader would try to fetch the .wasm path: hand it the bytes.
    wasmBinary : fs.readFileSync(path.join(__dirname, 'sonavelle-cli.wasm')),
    quit : (status) => process.exit(status),
}).catch((error) => {
    process.stderr.write(`sonavelle-cli: ${error}\n`);
    process.exit(1);
});
