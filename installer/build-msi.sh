#!/usr/bin/env bash
# Builds an MSI from its WiX source with wixl.
#   x86: the package for 32-bit Windows. wixl cannot write the SelfReg
#        table, so it is added afterwards with the two standard actions that
#        use it (SelfUnregModules before the files go, SelfRegModules after
#        they are in place, at their standard places in the sequence).
#   x64: the package for 64-bit Windows; its registration is in its Registry
#        table (the generated .wxi files beside the WXS), no SelfReg.
# usage: build-msi.sh WXS MSI [x86|x64]
set -euo pipefail
wxs=${1:?usage: build-msi.sh WXS MSI [x86|x64]}
msi=${2:?usage: build-msi.sh WXS MSI [x86|x64]}
arch=${3:-x86}

rm -f "$msi"
case $arch in
  x64)
    wixl --arch x64 -I "$(dirname "$wxs")" -o "$msi" "$wxs"
    rows=$(msiinfo export "$msi" Registry)
    grep -q 'InprocServer32' <<<"$rows" || { echo "no Registry rows in $msi"; exit 1; }
    ;;
  x86)
    wixl --arch x86 -o "$msi" "$wxs"
    msibuild "$msi" \
      -q 'CREATE TABLE `SelfReg` (`File_` CHAR(72) NOT NULL, `Cost` INT PRIMARY KEY `File_`)' \
      -q "INSERT INTO \`SelfReg\` (\`File_\`, \`Cost\`) VALUES ('orbenix.dll', 0)" \
      -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfUnregModules', 2200)" \
      -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfRegModules', 5600)"
    msiinfo export "$msi" SelfReg | grep -q '^orbenix.dll' || { echo "no SelfReg row in $msi"; exit 1; }
    ;;
  *) echo "build-msi.sh: arch '$arch' is neither x86 nor x64" >&2; exit 2 ;;
esac
