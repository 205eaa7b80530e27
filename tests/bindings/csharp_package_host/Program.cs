// A C# host of the Brenquisat NuGet package, with the Pascal and Node.js hosts' checks:
//   CSharpPackageHost wine      the package's DLL, on Wine's DirectSound
//   CSharpPackageHost refusing  the test's refusing DLL in its place: MuteDS and
//                               UnmuteDS refuse with the result register's upper bytes set
//   CSharpPackageHost stdcall   (x86) SetDSVolume declared without Cdecl, called in a
//                               loop: what the process sees of the unbalanced stack
// Prints one line a check, then "N failed"; status 1 if any failed.
using System;
using System.IO;
using System.Runtime.InteropServices;

static class CSharpPackageHost
{
    const uint DSERR_INVALIDPARAM = 0x80070057;
    const uint DSERR_CONTROLUNAVAIL = 0x8878001E;
    static int failures;

    static void Check(string call, bool ok)
    {
        Console.WriteLine("{0}  {1}", ok ? "ok  " : "FAIL", call);
        if (!ok) failures++;
    }

    // A refusal and the code it left, read before anything else runs.
    static void CheckRefused(string call, bool refused, uint expected)
    {
        uint code = Brenquisat.LastError;
        Check(string.Format("{0} refused with 0x{1:x8} (got 0x{2:x8})", call, expected, code),
              refused && code == expected);
    }

    // The Brenquisat.dll beside the program is of the process's architecture.
    static void CheckArchitecture()
    {
        string dll = Path.Combine(AppDomain.CurrentDomain.BaseDirectory, "Brenquisat.dll");
        byte[] image = File.ReadAllBytes(dll);
        int header = BitConverter.ToInt32(image, 0x3c);
        ushort machine = BitConverter.ToUInt16(image, header + 4);
        ushort expected = RuntimeInformation.ProcessArchitecture == Architecture.X86 ? (ushort)0x14c
            : RuntimeInformation.ProcessArchitecture == Architecture.X64 ? (ushort)0x8664 : (ushort)0xaa64;
        Check(string.Format("a {0} process has the DLL of machine 0x{1:x} beside it (got 0x{2:x})",
                            RuntimeInformation.ProcessArchitecture, expected, machine), machine == expected);
    }

    // DllImport's default convention: stdcall on x86, where the exports are cdecl.
    [DllImport("Brenquisat.dll", EntryPoint = "SetDSVolume")]
    static extern int SetDSVolumeWithoutCdecl(int volume);

    static int Main(string[] args)
    {
        string against = args.Length > 0 ? args[0] : "wine";
        if (against == "stdcall")
        {
            // Refused at once, without the 1 ms pause: each call leaves its 4-byte
            // argument on the stack if nothing restores it, 1.2 MB in all.
            int refused = 0;
            for (int i = 0; i < 300000; i++)
                refused += SetDSVolumeWithoutCdecl(1) == 0 ? 1 : 0;
            Brenquisat.ReleaseDS();
            Console.WriteLine("SetDSVolume(1) declared without Cdecl: {0} of 300000 calls returned 0, and the process went on", refused);
            return 0;
        }
        CheckArchitecture();
        if (against == "refusing")
        {
            CheckRefused("!MuteDS()", !Brenquisat.MuteDS(), DSERR_CONTROLUNAVAIL);
            CheckRefused("!UnmuteDS()", !Brenquisat.UnmuteDS(), DSERR_CONTROLUNAVAIL);
        }
        else
        {
            int level;
            Check("InitDS() == 1", Brenquisat.InitDS() == 1);
            Check("SetDSVolume(-600) == 1", Brenquisat.SetDSVolume(-600) == 1);
            Check("GetDSVolume() == 1, level -600", Brenquisat.GetDSVolume(out level) == 1 && level == -600);
            Check("MuteDS() == true", Brenquisat.MuteDS());
            Check("GetDSVolume() == 1, level -10000", Brenquisat.GetDSVolume(out level) == 1 && level == -10000);
            Check("UnmuteDS() == true", Brenquisat.UnmuteDS());
            Check("GetDSVolume() == 1, level 0", Brenquisat.GetDSVolume(out level) == 1 && level == 0);
            CheckRefused("SetDSVolume(1) == 0", Brenquisat.SetDSVolume(1) == 0, DSERR_INVALIDPARAM);
            Brenquisat.ReleaseDS();
        }
        Console.WriteLine("{0} failed", failures);
        return failures == 0 ? 0 : 1;
    }
}
