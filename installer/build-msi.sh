#!/usr/bin/env bash
# Builds the MSI from its WiX source with wixl, then adds what wixl cannot
# write: the SelfReg table naming orbenix.dll, and the two standard actions
# that use it (SelfUnregModules before the files go, SelfRegModules after
# they are in place, at their standard places in the sequence).
# usage: build-msi.sh WXS MSI
set -euo pipefail
wxs=${1:?usage: build-msi.sh WXS MSI}
msi=${2:?usage: build-msi.sh WXS MSI}

rm -f "$msi"
wixl --arch x86 -o "$msi" "$wxs"
msibuild "$msi" \
  -q 'CREATE TABLE `SelfReg` (`File_` CHAR(72) NOT NULL, `Cost` INT PRIMARY KEY `File_`)' \
  -q "INSERT INTO \`SelfReg\` (\`File_\`, \`Cost\`) VALUES ('orbenix.dll', 0)" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfUnregModules', 2200)" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfRegModules', 5600)"
msiinfo export "$msi" SelfReg | grep -q '^orbenix.dll' || { echo "no SelfReg row in $msi"; exit 1; }
