// A Node.js host that uses bindings/brenquisat.js as a host developer would.
//   node node_host.js wine      beside the shipped DLL, on Wine's DirectSound
//   node node_host.js refusing  beside refusing_dll: MuteDS and UnmuteDS refuse with
//                               the result register's upper bytes set
// Prints one line a check and ends with status 1 if any failed.
'use strict';

const brenquisat = require('./brenquisat');

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

if (process.argv[2] === 'refusing') {
    const bq = brenquisat.load();
    checkRefused('!MuteDS()', !bq.MuteDS(), DSERR_CONTROLUNAVAIL);
    checkRefused('!UnmuteDS()', !bq.UnmuteDS(), DSERR_CONTROLUNAVAIL);
} else {
    const bq = brenquisat.load(__dirname);
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
}
console.log(`${failures} failed`);
process.exitCode = failures ? 1 : 0;
