// Brenquisat for C#: the six exports of Brenquisat.dll, for .NET Framework 4.x
// and .NET 6 and later.
//
// Add this file to the project and copy Brenquisat.dll to the output folder.
// The process's width decides which DLL it loads: an x86 program (or AnyCPU with
// "Prefer 32-bit", .NET Framework only) needs the win32 package's, an x64 one
// (or AnyCPU on 64-bit Windows) the win64 package's; on .NET 6 and later the
// width comes from PlatformTarget or the runtime identifier.  The runtime keeps
// the DLL loaded until the process ends.  Call ReleaseDS before the program ends.
//
//     if (Brenquisat.SetDSVolume(-600) == 0)
//         Console.WriteLine("SetDSVolume failed: 0x{0:x8}", Brenquisat.LastError);
//     int level;
//     if (Brenquisat.GetDSVolume(out level) != 0) Console.WriteLine(level);
using System.Runtime.InteropServices;

public static class Brenquisat
{
    const string Dll = "Brenquisat.dll";

    // Cdecl: DllImport's default on x86 is stdcall, which would unbalance the stack.
    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    public static extern int InitDS();

    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl)]
    public static extern void ReleaseDS();

    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    public static extern int SetDSVolume(int volume);

    // One byte: the default for a bool result is a four-byte BOOL, and the three
    // upper bytes of these results are undefined.
    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    [return: MarshalAs(UnmanagedType.I1)]
    public static extern bool MuteDS();

    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    [return: MarshalAs(UnmanagedType.I1)]
    public static extern bool UnmuteDS();

    [DllImport(Dll, CallingConvention = CallingConvention.Cdecl, SetLastError = true)]
    public static extern int GetDSVolume(out int volume);

    // After a 0 or false: the DirectSound HRESULT that decided it.  The runtime
    // keeps it for this thread until the next call through a SetLastError import.
    public static uint LastError
    {
        get { return unchecked((uint)Marshal.GetLastWin32Error()); }
    }
}
