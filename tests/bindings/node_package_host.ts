// A Node.js host in TypeScript on the npm package, type-checked only (tsc
// --noEmit) against its index.d.ts: the calls a host makes type-check, and two
// mistakes do not.
import brenquisat = require('brenquisat');

const bq: brenquisat.Brenquisat = brenquisat.load();
const opened: number = bq.InitDS();
const level: number[] = [0];
if (opened === 1 && bq.GetDSVolume(level) === 1)
    console.log(`level ${level[0]}`);
if (!bq.SetDSVolume(-600))
    console.log(`SetDSVolume failed: 0x${brenquisat.lastError().toString(16)}`);
const muted: boolean = bq.MuteDS() && bq.UnmuteDS();
console.log(muted);
bq.ReleaseDS();

// @ts-expect-error: a volume is a number
bq.SetDSVolume('-600');
// @ts-expect-error: MuteDS's result is a boolean
const wrong: number = bq.MuteDS();
console.log(wrong);
