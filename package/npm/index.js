// Brenquisat for Node.js: the Brenquisat.dll of the process's architecture, with
// the declarations of brenquisat.js beside this file (the sources'
// bindings/brenquisat.js, as it is).
//
//   const brenquisat = require('brenquisat');
//   const bq = brenquisat.load();
//   if (!bq.SetDSVolume(-600)) console.log(brenquisat.lastError().toString(16));
//   bq.ReleaseDS();                // before the program ends
'use strict';

const path = require('path');

// The folders of this package, named as Node.js names architectures.
const ARCHITECTURES = ['ia32', 'x64', 'arm64'];

// The binding, required on first use: it requires koffi, which has no build for
// some architectures and would throw its own error first.
let binding = null;
function theBinding() {
    if (!binding) binding = require('./brenquisat');
    return binding;
}

// Loads the DLL of the process's architecture (or the one in `folder`) on the
// first call, and returns the same six functions on every call.  Elsewhere than
// on Windows, or in a process of another architecture, throws: never another
// architecture's DLL.
function load(folder) {
    if (folder === undefined) {
        if (process.platform !== 'win32' || !ARCHITECTURES.includes(process.arch))
            throw new Error(`brenquisat: no Brenquisat.dll for ${process.platform} ${process.arch}: ` +
                `this package holds one for win32 ${ARCHITECTURES.join(', ')}`);
        folder = path.join(__dirname, process.arch);
    }
    return theBinding().load(folder);
}

// After a 0 or false: the DirectSound HRESULT that decided it, unsigned.
function lastError() {
    return theBinding().lastError();
}

module.exports = { load, lastError };
