// A C# host of bindings/Brenquisat.cs, compiled by make test (no runtime for it
// runs under Wine here): every export, as a host calls it.
using System;

static class CSharpHost
{
    static int Main()
    {
        int ok = Brenquisat.InitDS();
        if (Brenquisat.SetDSVolume(-600) == 0)
            Console.WriteLine("SetDSVolume failed: 0x{0:x8}", Brenquisat.LastError);
        int level;
        if (Brenquisat.GetDSVolume(out level) != 0)
            Console.WriteLine("level {0}", level);
        bool muted = Brenquisat.MuteDS();
        bool unmuted = Brenquisat.UnmuteDS();
        Brenquisat.ReleaseDS();
        return ok == 1 && muted && unmuted ? 0 : 1;
    }
}
