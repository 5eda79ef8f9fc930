# Sourced by the end-to-end scripts: the texts and addresses come from the build
# (print_built_texts), never typed again here.
#   load_built_texts FILE                   sources FILE, print_built_texts' output (CR LF accepted)
#   expected_page TEMPLATE OUT        the expected page (kept with the default service
#                                     addresses) with the build's addresses, into OUT

load_built_texts() {
  # shellcheck disable=SC1090
  source <(tr -d '\r' <"$1")
}

expected_page() {
  local template=$1 out=$2 from to
  cp "$template" "$out"
  # shellcheck disable=SC2086,SC2154
  set -- $address_swaps
  while [ $# -ge 2 ]; do
    from=$1 to=$2
    shift 2
    # The page quotes each address and follows it with its path.
    FROM="'$from/" TO="'$to/" perl -pi -e 's/\Q$ENV{FROM}\E/$ENV{TO}/g' "$out"
  done
}

# What a store and drive must hold after an install, for the stand-alone program's
# harnesses: the build's texts from PRINT_BUILT_TEXTS, the expected page in WORK, HKCU's
# root number and the default value's bytes (the URL and its terminating zero) in hex.
#   load_expectations PRINT_BUILT_TEXTS PAGE_TEMPLATE WORK
load_expectations() {
  "$1" >"$3/built_texts.sh" || { echo "$1 failed" >&2; return 1; }
  load_built_texts "$3/built_texts.sh"
  expected_page "$2" "$3/expected-ruvo.htm"
  expected_page="$3/expected-ruvo.htm"
  hkcu=2147483649  # 0x80000001
  default_value_hex=$(printf '%s\0' "$page_url" | od -An -v -tx1 | tr -d ' \n' | tr a-f A-F)
}
