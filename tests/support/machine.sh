# Sourced by the linking scripts: the tools and names for the machine in $MORVANE_MACHINE,
# x86 (the default: the product) or x64 (the 64-bit test twin), and the one way they compile
# and link Visual-C++-style programs and DLLs.
source "$(dirname "${BASH_SOURCE[0]}")/find_tool.sh"
case ${MORVANE_MACHINE:-x86} in
    x86)
        mingw_cc=i686-w64-mingw32-gcc
        clang_target=i686-pc-windows-msvc
        link_machine=x86
        lib_machine=/MACHINE:IX86
        wine_dlls=(/usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows) ;;
    x64)
        mingw_cc=x86_64-w64-mingw32-gcc
        clang_target=x86_64-pc-windows-msvc
        link_machine=x64
        lib_machine=/MACHINE:X64
        wine_dlls=(/usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows) ;;
    *) echo "MORVANE_MACHINE must be x86 or x64" >&2; exit 2 ;;
esac
# The first of Wine's DLL folders for this machine that exists.
wine_dll_dir=${wine_dlls[0]}
[ -d "$wine_dll_dir" ] || wine_dll_dir=${wine_dlls[1]}

# build_test_dll OUT.dll: the end-to-end test DLL (tests/lib/e2e) for this machine. On x64
# nothing is decorated, so its exports file loses the stdcall and fastcall decorations there.
build_test_dll() {
    local e2e exports
    e2e=$(cd "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e" && pwd)
    exports=$(mktemp --suffix=.def)
    if [ "$link_machine" = x86 ]; then
        cp "$e2e/testdll_exports.def" "$exports"
    else
        sed -e 's/multiply@8/multiply/' -e 's/@fast_sum@12/fast_sum/' \
            "$e2e/testdll_exports.def" >"$exports"
    fi
    "$mingw_cc" -shared -O2 -o "$1" "$e2e/testdll.c" "$exports"
    rm -f "$exports"
}

# msvc_compile SOURCE OBJECT [CLANG OPTION...]: header-free C compiled as Visual C++ does,
# freestanding: it calls into no C runtime, since none is linked.
msvc_compile() { clang --target="$clang_target" -ffreestanding "${@:3}" -c "$1" -o "$2"; }

# msvc_link OUT INPUT...: links with lld-link and no default libraries. OUT.dll is a DLL
# without entry point; anything else a console program entered at `void __cdecl start(void)`.
msvc_link() {
    local kind=(/entry:start /subsystem:console)
    [ "${1##*.}" = dll ] && kind=(/dll /noentry)
    "$(tool lld-link)" /nologo "${kind[@]}" /nodefaultlib /machine:"$link_machine" /out:"$1" \
        "${@:2}"
}
