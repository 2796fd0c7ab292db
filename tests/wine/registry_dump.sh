# Sourced by the Wine tests that read our registration back. The caller
# defines wine() (its launcher, with a timeout).
#   our_registry [32|64]  every value under our four keys in that view (the
#                         caller's own without one), one "key | name | type |
#                         data" line each, sorted
#   rows_expected ARGS    what registration.rows says those lines are:
#                         registration_rows.py expect --view V --dll64 P --dll32 P
registry_dump_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
our_keys=('HKCR\orbenix.vexarel' 'HKCR\CLSID\{5CB5B383-5FBA-43D6-911F-8587FEEC2588}'
          'HKCR\TypeLib\{F91BD057-E460-4BC2-BF06-BB10583EAEDC}' 'HKCR\Interface\{3EF4EF83-8DE8-4E2C-B1F3-425223A639BA}')

our_registry() {
  local key view=()
  [ -n "${1:-}" ] && view=("/reg:$1")
  for key in "${our_keys[@]}"; do
    wine reg query "$key" /s "${view[@]}" 2>/dev/null | tr -d '\r' | awk '
      /^HKEY_/ { key = $0; next }
      /^    / { sub(/^    /, ""); n = split($0, f, "    "); data = (n >= 3) ? f[3] : "";
               print key " | " f[1] " | " f[2] " | " data }'
  done | LC_ALL=C sort
}

rows_expected() {
  python3 "$registry_dump_root/component/com/registration_rows.py" expect \
    "$registry_dump_root/component/com/registration.rows" "$registry_dump_root/component/com/orbenix.idl" "$@"
}
