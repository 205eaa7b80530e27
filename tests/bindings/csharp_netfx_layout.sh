#!/bin/sh
# The C# host built for .NET Framework 4.8 on the NuGet package, as an SDK-style
# project does, for each platform target: the Brenquisat.dll beside the program
# must be of the architecture the program runs as.  Compiled and laid out only: no
# .NET Framework runs under Wine here.
#   csharp_netfx_layout.sh SOURCE_DIR ARCHIVES CHECK_PE WORK
set -u
source=$1 archives=$2 check_pe=$3 work=$4
command -v dotnet >/dev/null || { echo "csharp_netfx_layout: skipped: the .NET SDK (dotnet) is not installed"; exit 77; }
package=$(ls "$archives"/Brenquisat.*.nupkg 2>/dev/null | head -n 1)
[ -n "$package" ] || { echo "csharp_netfx_layout: no NuGet package in $archives: scripts/archives makes it"; exit 1; }
version=${package##*/Brenquisat.} version=${version%.nupkg}
export NUGET_PACKAGES="$work/packages"
rm -rf "$work" && mkdir -p "$work/project" && cp "$source/tests/bindings/csharp_package_host/"* "$work/project/" || exit 1

# Restored once: without a runtime identifier, what .NET Framework restores is
# the same for every platform target.
dotnet restore "$work/project" -p:BrenquisatVersion="$version" -p:RestoreAdditionalProjectSources="$archives" \
    >"$work/restore.log" 2>&1 || { cat "$work/restore.log"; echo "csharp_netfx_layout: the restore failed"; exit 1; }
failures=0
# The project's properties, and the architecture whose DLL the program must find.
for build in "PlatformTarget=x86 win32" "PlatformTarget=x64 win64" "Prefer32Bit=true win32" \
             "PlatformTarget=AnyCPU win64" "PlatformTarget=ARM64 arm64"; do
    properties=${build% *} arch=${build#* }
    out=$work/$(echo "$properties" | tr = -)
    if ! dotnet build "$work/project" -c Release -f net48 --no-restore --nologo -p:"$properties" \
            -p:BrenquisatVersion="$version" -o "$out" >"$out.log" 2>&1; then
        cat "$out.log"
        echo "csharp_netfx_layout: $properties does not build"
        failures=$((failures + 1))
    elif ! "$check_pe" width "$arch" "$out/Brenquisat.dll"; then
        echo "csharp_netfx_layout: $properties: the DLL beside CSharpPackageHost.exe is not $arch's"
        failures=$((failures + 1))
    else
        echo "csharp_netfx_layout: $properties: $arch's DLL beside the program"
    fi
done
[ "$failures" -eq 0 ]
