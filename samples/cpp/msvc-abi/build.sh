#!/bin/sh
# Builds the C++ sample host in Microsoft's C++ ABI without Microsoft's
# compiler or SDK: clang compiles for the *-pc-windows-msvc target, lld-link
# links, and llvm-dlltool makes the import libraries of msvcrt.dll and
# kernel32.dll from the .def files beside this script.
#
#   build.sh i686|x86_64 OUT_DIR
#
# gives OUT_DIR/darvik_sample_host-ARCH.exe (PE32 i386 or PE32+ x86-64), which
# needs DarvikIPCapture.dll of the same architecture and nothing but
# Windows' own DLLs. Debian packages: clang-14 lld-14 llvm-14 libc++-14-dev
# mingw-w64-common. Other places: CLANG, LLD_LINK, DLLTOOL, LIBCXX_INCLUDE,
# MINGW_INCLUDE, DARVIK_INCLUDE.
#
# What stands in for Microsoft's libraries:
#   - C++ headers: LLVM's libc++, of which the sample uses header-only parts;
#   - C headers: mingw-w64's, except <stdio.h> and <stdlib.h>, which do not
#     parse in Microsoft's mode; include/ here declares the few msvcrt.dll
#     functions the sample needs;
#   - <windows.h>: ModuleLoader.h declares its four kernel32 functions
#     itself (DARVIK_SAMPLE_NO_WINDOWS_H);
#   - the C runtime's start-up and new/delete: startup.cpp, over msvcrt.dll.
# Built without exceptions and RTTI, which need Microsoft's C++ runtime; that
# changes nothing in the interfaces' tables.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 2 ]; then
  echo "usage: $0 i686|x86_64 OUT_DIR" >&2
  exit 2
fi
arch=$1
out=$2
case $arch in
  i686) dlltool_machine=i386 link_machine=x86 ;;
  x86_64) dlltool_machine=i386:x86-64 link_machine=x64 ;;
  *) echo "$0: architecture must be i686 or x86_64, not '$arch'" >&2; exit 2 ;;
esac
CLANG=${CLANG:-clang-14}
LLD_LINK=${LLD_LINK:-lld-link-14}
DLLTOOL=${DLLTOOL:-llvm-dlltool-14}
LIBCXX_INCLUDE=${LIBCXX_INCLUDE:-/usr/lib/llvm-14/include/c++/v1}
MINGW_INCLUDE=${MINGW_INCLUDE:-/usr/share/mingw-w64/include}
DARVIK_INCLUDE=${DARVIK_INCLUDE:-$here/../../../include}

mkdir -p "$out"
work=$out/msvc-abi-$arch
mkdir -p "$work"

compile() {
  "$CLANG" --target="$arch-pc-windows-msvc" -fms-compatibility -fms-extensions -std=c++17 \
    -nostdinc++ -isystem "$LIBCXX_INCLUDE" -isystem "$here/include" -isystem "$MINGW_INCLUDE" \
    -I"$DARVIK_INCLUDE" -DDARVIK_SAMPLE_NO_WINDOWS_H -fno-exceptions -fno-rtti -O2 \
    -Wall -Wextra -Werror -c "$1" -o "$2"
}
compile "$here/../sample_host.cpp" "$work/sample_host.obj"
compile "$here/startup.cpp" "$work/startup.obj"

"$DLLTOOL" -m "$dlltool_machine" -d "$here/msvcrt.def" -l "$work/msvcrt.lib"
if [ "$arch" = i686 ]; then
  # Imported by their plain names, called by their decorated ones.
  "$DLLTOOL" -m "$dlltool_machine" -k -d "$here/kernel32.def" -l "$work/kernel32.lib"
else
  sed 's/@[0-9]*$//' "$here/kernel32.def" >"$work/kernel32.def"
  "$DLLTOOL" -m "$dlltool_machine" -d "$work/kernel32.def" -l "$work/kernel32.lib"
fi

# /debug:symtab keeps the symbol table in the program, so its MSVC-mangled
# names can be checked (llvm-nm).
"$LLD_LINK" /nologo /machine:"$link_machine" /subsystem:console /entry:mainCRTStartup /nodefaultlib \
  /debug:symtab /out:"$out/darvik_sample_host-$arch.exe" \
  "$work/sample_host.obj" "$work/startup.obj" "$work/msvcrt.lib" "$work/kernel32.lib"
echo "$out/darvik_sample_host-$arch.exe"
