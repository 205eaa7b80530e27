// A Node.js host that uses bindings/brenquisat.js as a host developer would, or,
// given "package", the npm package brenquisat installed beside it.
//   node node_host.js wine [package]      beside the shipped DLL, on Wine's DirectSound
//   node node_host.js refusing [package]  beside refusing_dll: MuteDS and UnmuteDS refuse
//                                         with the result register's upper bytes set
//   node node_host.js foreign-arch package       a Windows process told it is a mips one
//   node node_host.js foreign-platform package   run by Node.js elsewhere than on Windows
// Prints one line a check and ends with status 1 if any failed.
'use strict';

const fs = require('fs');
const path = require('path');

const [mode, from] = process.argv.slice(2);
const fromPackage = from === 'package';
if (mode === 'foreign-arch')
    Object.defineProperty(process, 'arch', { value: 'mips' });
const brenquisat = require(fromPackage ? 'brenquisat' : './brenquisat');

const DSERR_INVALIDPARAM = 0x80070057;
const DSERR_CONTROLUNAVAIL = 0x8878001E;
let failures = 0;

function check(call, ok) {
    console.log(`${ok ? 'ok  ' : 'FAIL'}  ${call}`);
    if (!ok) failures++;
}

// A refusal and the code it left, read before anything else runs.
function checkRefused(call, refused, expected) {
    const code = brenquisat.lastError();
    check(`${call} refused with 0x${expected.toString(16)} (got 0x${code.toString(16)})`,
        refused && code === expected);
}

// The Brenquisat.dll the process loaded is the package's of its architecture.
function checkLoadedDll() {
    const expected = path.join(path.dirname(require.resolve('brenquisat')), process.arch, 'Brenquisat.dll');
    const loaded = process.report.getReport().sharedObjects.filter(p => /\\brenquisat\.dll$/i.test(p));
    const image = fs.readFileSync(expected);
    const machine = image.readUInt16LE(image.readUInt32LE(0x3c) + 4);
    const machines = { ia32: 0x14c, x64: 0x8664, arm64: 0xaa64 };
    check(`the process loaded ${expected}, of machine 0x${machines[process.arch].toString(16)} ` +
        `(loaded ${loaded.join(', ') || 'none'}, of machine 0x${machine.toString(16)})`,
        loaded.length === 1 && loaded[0].toLowerCase() === expected.toLowerCase() &&
        machine === machines[process.arch]);
}

function finish() {
    console.log(`${failures} failed`);
    process.exitCode = failures ? 1 : 0;
}

if (mode === 'foreign-arch' || mode === 'foreign-platform') {
    let message = 'nothing thrown';
    try {
        brenquisat.load();
    } catch (error) {
        message = error.message;
    }
    check(`load() on ${process.platform} ${process.arch} throws, naming them and what the package holds ` +
        `(${message})`, message.includes(`${process.platform} ${process.arch}:`) &&
        message.includes('win32 ia32, x64, arm64'));
    finish();
} else if (mode === 'refusing') {
    const bq = brenquisat.load();
    checkRefused('!MuteDS()', !bq.MuteDS(), DSERR_CONTROLUNAVAIL);
    checkRefused('!UnmuteDS()', !bq.UnmuteDS(), DSERR_CONTROLUNAVAIL);
    finish();
} else {
    const bq = fromPackage ? brenquisat.load() : brenquisat.load(__dirname);
    check('InitDS() === 1', bq.InitDS() === 1);
    check('SetDSVolume(-600) === 1', bq.SetDSVolume(-600) === 1);
    const level = [1];
    check('GetDSVolume() === 1, level -600', bq.GetDSVolume(level) === 1 && level[0] === -600);
    check('MuteDS() === true', bq.MuteDS() === true);
    check('GetDSVolume() === 1, level -10000', bq.GetDSVolume(level) === 1 && level[0] === -10000);
    check('UnmuteDS() === true', bq.UnmuteDS() === true);
    check('GetDSVolume() === 1, level 0', bq.GetDSVolume(level) === 1 && level[0] === 0);
    checkRefused('SetDSVolume(1) === 0', bq.SetDSVolume(1) === 0, DSERR_INVALIDPARAM);
    bq.ReleaseDS();
    if (!fromPackage) {
        finish();
    } else {
        checkLoadedDll();
        // The last level set holds while the process lives: the library stays
        // loaded through garbage collection (an unload would set full level back).
        check('SetDSVolume(-900) === 1, the last call', bq.SetDSVolume(-900) === 1);
        global.gc();
        setTimeout(() => {
            check('GetDSVolume() === 1, level -900, after a garbage collection and 300 ms',
                bq.GetDSVolume(level) === 1 && level[0] === -900);
            bq.ReleaseDS();
            finish();
        }, 300);
    }
}
