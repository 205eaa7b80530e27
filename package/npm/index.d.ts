// Brenquisat for Node.js: the six exports of Brenquisat.dll, through koffi.

/** The exports, bound once for the life of the process. */
export interface Brenquisat {
    /** Opens the default playback device: 1, or 0 if opening failed. */
    InitDS(): number;
    /** Closes the device, leaving the level as it is. */
    ReleaseDS(): void;
    /** Sets the master level in hundredths of a decibel (0 full, -10000 silence): 1 if accepted, else 0. */
    SetDSVolume(volume: number): number;
    /** Sets -10000: true if accepted. */
    MuteDS(): boolean;
    /** Sets 0, whatever was set before MuteDS: true if accepted. */
    UnmuteDS(): boolean;
    /** Reads the level into level[0]: 1, or 0 (leaving it as it was) if it could not be read. */
    GetDSVolume(level: number[]): number;
    /** The library as koffi loaded it. */
    readonly lib: unknown;
}

/**
 * Loads the Brenquisat.dll of the process's architecture (ia32, x64 or arm64),
 * or the one in `folder`, on the first call; the same exports on every call.
 * Throws elsewhere than on Windows, or in a process of another architecture.
 */
export function load(folder?: string): Brenquisat;

/** After a 0 or false: the DirectSound HRESULT that decided it, unsigned. */
export function lastError(): number;
