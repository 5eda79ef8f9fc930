# Sourced by the end-to-end scripts: the texts and addresses come from the build
# (print_facts), never typed again here.
#   load_facts FILE                   sources FILE, print_facts' output (CR LF accepted)
#   expected_page TEMPLATE OUT        the expected page (kept with the default service
#                                     addresses) with the build's addresses, into OUT

load_facts() {
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
