#!/usr/bin/env bash
# Seeds one corpus folder per fuzz target from the recorded WHOIS answers,
# each seed laid out the way its target splits its input:
#   seed_corpora.sh SAMPLES-DIR CORPUS-DIR
# Seeds are named seed-*; what the fuzzer adds to the folders is kept.
set -euo pipefail
samples=$1 corpus=$2
[ -d "$samples" ] || { echo "seed_corpora.sh: no samples in $samples" >&2; exit 1; }
for t in filter extract_field collect_parenthesised org_merge server_table window_pos decode_string; do
  mkdir -p "$corpus/$t"
  rm -f "$corpus/$t"/seed-*
done

n=0
for file in "$samples"/*/*.txt; do
  n=$((n + 1))
  host=$(basename "$(dirname "$file")")
  # The answer under the server that gave it, and under no server.
  { printf '%s\n' "$host"; cat "$file"; } > "$corpus/filter/seed-$n"
  { printf '\n'; cat "$file"; } > "$corpus/filter/seed-$n-none"
  # The two fields the lookup reads to a line's end.
  { printf 'NetName:    \0\n\0'; cat "$file"; } > "$corpus/extract_field/seed-$n-netname"
  { printf 'Whois Server:\0\n\0'; cat "$file"; } > "$corpus/extract_field/seed-$n-referral"
  cp "$file" "$corpus/collect_parenthesised/seed-$n"
  # An answer used as a server list (its "Key: value" lines look like records).
  { printf 'example.%s\n' "${host##*.}"; cat "$file"; } > "$corpus/server_table/seed-$n"
  head -c 64 "$file" > "$corpus/decode_string/seed-$n"
done

# ARIN answers with the "OrgID:" spelling the follow-up looks for, and the
# organisation's own block standing in for the organisation answer.
for file in "$samples"/whois.arin.net/*.txt; do
  name=$(basename "$file" .txt)
  { sed 's/^OrgId:/OrgID:/' "$file"; printf '\0'; sed -n '/^OrgName:/,$p' "$file"; } \
    > "$corpus/org_merge/seed-$name"
done
printf 'OrgID: X\nOrgID: Y\n\0Address: 1 Main St\nCity: Town\n# ARIN Whois database, last\n' \
  > "$corpus/org_merge/seed-two"

crlf_list='com:  whois.verisign-grs.com\r\nnet:  whois.verisign-grs.com\r\norg:  whois.verisign-grs.com\r\ninfo: whois.nic.info\r\nuk:   whois.nic.uk\r\n'
for domain in example.com EXAMPLE.NET a.org b.info c.co.uk x.om y.fo trailing. 'z.uk ' nodot; do
  printf "%s\n$crlf_list" "$domain" > "$corpus/server_table/seed-list-$domain"
  printf "%s\n${crlf_list//\\r/}" "$domain" > "$corpus/server_table/seed-lf-$domain"
done
printf 'example.com\n' > "$corpus/server_table/seed-empty-file"
printf 'example.com\n\0com:  x\r\n' > "$corpus/server_table/seed-nul-first"

i=0
for pos in '0,1,10,20,-1,-1,100,100,500,400' '2,3,-32000,-32000,-1,-1,0,0,1024,768' \
  '0,1,1,2,3,4,5,6,7,8,9' '0,1,1,2,3,4,5,6,7' ' 0, 1, -4,+5,6,7,8,9,10,11' \
  '4294967295,4294967296,2147483647,-2147483648,99999999999,0,0,0,0,0' '0,1,1,2,x,4,5,6,7,8'; do
  i=$((i + 1))
  printf '%s' "$pos" > "$corpus/window_pos/seed-$i"
done
printf 'Ostrabel~~~~~~~~' > "$corpus/decode_string/seed-text"
head -c 1100 "$samples/whois.arin.net/arin-net-170.0.0.0-lacnic-erx.txt" > "$corpus/decode_string/seed-long"
# RDAP: the test answers (first byte '0': status 200; '7': 404) and IANA's
# bootstrap files (first byte '0'..'3': dns, ipv4, ipv6, asn).
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$corpus/rdap_text" "$corpus/rdap_bootstrap"
rm -f "$corpus/rdap_text"/seed-* "$corpus/rdap_bootstrap"/seed-*
for file in "$src"/tests/rdap/fixtures/*.json; do
  name=$(basename "$file" .json)
  { printf '0'; cat "$file"; } > "$corpus/rdap_text/seed-$name"
done
printf '7{"errorCode":404}' > "$corpus/rdap_text/seed-404"
i=0
for name in dns ipv4 ipv6 asn; do
  { printf '%d' $i; cat "$src/engine/rdap/data/$name.json"; } > "$corpus/rdap_bootstrap/seed-$name"
  i=$((i + 1))
done
echo "seeded $n answers into $corpus"
