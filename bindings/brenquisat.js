// Brenquisat for Node.js, through koffi (npm install koffi): the six exports of
// Brenquisat.dll.  CommonJS.
//
//   const brenquisat = require('./brenquisat');
//   const bq = brenquisat.load();  // Brenquisat.dll beside this file, or load(folder)
//   if (!bq.SetDSVolume(-600)) console.log(brenquisat.lastError().toString(16));
//   const level = [0];
//   if (bq.GetDSVolume(level)) console.log(level[0]);
//   bq.ReleaseDS();                // before the program ends
//
// The process's width decides which Brenquisat.dll it loads: 64-bit Node.js the
// win64 package's, 32-bit Node.js the win32 package's.
'use strict';

const koffi = require('koffi');
const path = require('path');

// Held here for the process's life: koffi unloads a library once nothing refers
// to it, and unloading Brenquisat with the device open sets full level back.
let exportsOfDll = null;
let kernel32GetLastError = null;

// Loads Brenquisat.dll from `folder` (by default this file's) on the first call,
// and returns the same six functions on every call.
function load(folder = __dirname) {
    if (exportsOfDll) return exportsOfDll;
    const lib = koffi.load(path.resolve(folder, 'Brenquisat.dll'));
    // koffi calls with cdecl unless told otherwise.  Its bool is one byte: an int
    // would read MuteDS's and UnmuteDS's three undefined upper bytes too.
    exportsOfDll = Object.freeze({
        InitDS: lib.func('int InitDS()'),
        ReleaseDS: lib.func('void ReleaseDS()'),
        SetDSVolume: lib.func('int SetDSVolume(int volume)'),
        MuteDS: lib.func('bool MuteDS()'),
        UnmuteDS: lib.func('bool UnmuteDS()'),
        GetDSVolume: lib.func('int GetDSVolume(_Out_ int *volume)'),
        lib,
    });
    return exportsOfDll;
}

// After a 0 or false: the DirectSound HRESULT that decided it, as an unsigned
// number.  Koffi keeps the thread's last-error value of its calls apart from
// Node.js's own (koffi 2.6.10 and later), so it holds until the next koffi call.
function lastError() {
    if (!kernel32GetLastError)
        kernel32GetLastError = koffi.load('kernel32.dll').func('uint32_t __stdcall GetLastError()');
    return kernel32GetLastError();
}

module.exports = { load, lastError };
